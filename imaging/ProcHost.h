#pragma once
// TProcHost: what the processing object needs from the thing that shows the
// picture. The Qt image view implements it for the editor; TPlainHost
// (PlainHost.h) implements it for the command-line tool and the tests.
//
// The host owns the pictures (one per layer, all of the same position) and
// knows the selection, the background colour and who listens to progress.
// TImageProc only borrows: it never keeps a picture pointer across calls,
// because undo, crops and turns replace the picture as a whole.
#include "imaging/ImageBuffer.h"

#include <cstdint>
#include <memory>
#include <vector>

// The selection in picture coordinates: its bounding rectangle (inclusive
// corners, so a 1 x 1 selection has Left == Right) and which pixels of that
// rectangle belong to it. The rectangle may reach beyond the picture; users
// clip it.
struct TSelection {
    int Left = 0;
    int Top = 0;
    int Right = -1;
    int Bottom = -1;
    // One byte per pixel of the bounding rectangle, rows top to bottom,
    // non-zero = selected. Empty means the whole rectangle is selected (the
    // view's plain rectangle selection).
    std::vector<uint8_t> Mask;

    bool IsEmpty() const { return Right < Left || Bottom < Top; }
    // 64-bit: a host may hand over corners far outside the picture.
    int64_t Width() const { return IsEmpty() ? 0 : int64_t(Right) - Left + 1; }
    int64_t Height() const { return IsEmpty() ? 0 : int64_t(Bottom) - Top + 1; }
    // Whether the picture point (x, y) is selected.
    bool Covers(int x, int y) const
    {
        if (IsEmpty() || x < Left || x > Right || y < Top || y > Bottom)
            return false;
        if (Mask.empty())
            return true;
        const uint64_t i = uint64_t(int64_t(y) - Top) * uint64_t(Width()) + uint64_t(int64_t(x) - Left);
        return i < Mask.size() && Mask[i] != 0;
    }
    // True when the mask leaves no pixel of the rectangle out.
    bool IsRectangle() const
    {
        if (Mask.empty())
            return true;
        if (uint64_t(Width()) > Mask.size() || uint64_t(Mask.size()) / uint64_t(Width()) < uint64_t(Height()))
            return false;
        for (uint8_t m : Mask)
            if (m == 0)
                return false;
        return true;
    }
};

class TProcHost {
public:
    virtual ~TProcHost() = default;

    // The picture operations work on: the current layer. nullptr when there
    // is no picture at all.
    virtual TImageBuffer* CurrentImage() = 0;
    // Puts `image` in place of the current layer's picture and hands the old
    // one back (nullptr when there was none).
    virtual std::unique_ptr<TImageBuffer> ReplaceCurrentImage(std::unique_ptr<TImageBuffer> image) = 0;

    // Layers: layer 0 is the picture itself; further layers are transient
    // working copies (the sharpening step uses two).
    virtual int LayerCount() const = 0;
    virtual TImageBuffer* Layer(int index) = 0;
    // Adds an empty layer on top and returns its index.
    virtual int AddLayer() = 0;
    // Removes a layer other than 0; the current layer falls back to 0 when
    // it was the removed one.
    virtual void RemoveLayer(int index) = 0;
    virtual int CurrentLayer() const = 0;
    virtual void SetCurrentLayer(int index) = 0;

    // The selection (IsEmpty() when there is none).
    virtual TSelection Selection() const = 0;
    // The view's background colour, used where an operation uncovers pixels.
    virtual TColor BackgroundColor() const = 0;

    // The picture changed: refresh and tell listeners (image-change event).
    virtual void ImageChanged() = 0;
    // Progress of the running operation in whole percent.
    virtual void Progress(int percent) = 0;
    // The running operation finished (finish-work event).
    virtual void FinishWork() = 0;
};
