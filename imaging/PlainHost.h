#pragma once
// TPlainHost: a host without a screen, for the command-line tool and the
// tests. It owns its layers, keeps a selection and a background colour set
// by the caller, and forwards the three events to optional callbacks while
// counting image changes.
#include "imaging/ProcHost.h"

#include <functional>
#include <memory>
#include <vector>

class TPlainHost : public TProcHost {
public:
    TPlainHost();
    // Starts with `image` as layer 0.
    explicit TPlainHost(std::unique_ptr<TImageBuffer> image);

    TImageBuffer* CurrentImage() override;
    std::unique_ptr<TImageBuffer> ReplaceCurrentImage(std::unique_ptr<TImageBuffer> image) override;

    int LayerCount() const override { return int(layers_.size()); }
    TImageBuffer* Layer(int index) override;
    int AddLayer() override;
    void RemoveLayer(int index) override;
    int CurrentLayer() const override { return current_; }
    void SetCurrentLayer(int index) override;

    TSelection Selection() const override { return selection_; }
    void SetSelection(TSelection selection) { selection_ = std::move(selection); }
    void ClearSelection() { selection_ = TSelection{}; }

    TColor BackgroundColor() const override { return background_; }
    void SetBackgroundColor(TColor colour) { background_ = colour; }

    void ImageChanged() override;
    void Progress(int percent) override;
    void FinishWork() override;

    // Optional listeners.
    std::function<void()> OnImageChange;
    std::function<void(int)> OnProgress;
    std::function<void()> OnFinishWork;

    int ImageChangeCount() const { return imageChanges_; }

private:
    std::vector<std::unique_ptr<TImageBuffer>> layers_;
    int current_ = 0;
    TSelection selection_;
    TColor background_ = 0x808080;
    int imageChanges_ = 0;
};
