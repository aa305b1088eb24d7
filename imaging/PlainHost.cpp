#include "imaging/PlainHost.h"

TPlainHost::TPlainHost()
{
    layers_.push_back(nullptr);
}

TPlainHost::TPlainHost(std::unique_ptr<TImageBuffer> image)
{
    layers_.push_back(std::move(image));
}

TImageBuffer* TPlainHost::CurrentImage()
{
    return layers_[size_t(current_)].get();
}

std::unique_ptr<TImageBuffer> TPlainHost::ReplaceCurrentImage(std::unique_ptr<TImageBuffer> image)
{
    std::unique_ptr<TImageBuffer> old = std::move(layers_[size_t(current_)]);
    layers_[size_t(current_)] = std::move(image);
    return old;
}

TImageBuffer* TPlainHost::Layer(int index)
{
    if (index < 0 || index >= LayerCount())
        return nullptr;
    if (!layers_[size_t(index)])
        layers_[size_t(index)] = std::make_unique<TImageBuffer>();
    return layers_[size_t(index)].get();
}

int TPlainHost::AddLayer()
{
    layers_.push_back(std::make_unique<TImageBuffer>());
    return LayerCount() - 1;
}

void TPlainHost::RemoveLayer(int index)
{
    if (index <= 0 || index >= LayerCount())
        return;
    layers_.erase(layers_.begin() + index);
    if (current_ == index)
        current_ = 0;
    else if (current_ > index)
        --current_;
}

void TPlainHost::SetCurrentLayer(int index)
{
    if (index >= 0 && index < LayerCount())
        current_ = index;
}

void TPlainHost::ImageChanged()
{
    ++imageChanges_;
    if (OnImageChange)
        OnImageChange();
}

void TPlainHost::Progress(int percent)
{
    if (OnProgress)
        OnProgress(percent);
}

void TPlainHost::FinishWork()
{
    if (OnFinishWork)
        OnFinishWork();
}
