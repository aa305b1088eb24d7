// TImageBuffer: the alpha channel - a px8g buffer of the same size, 255 = opaque.
#include "imaging/ImageBuffer.h"

bool TImageBuffer::createAlpha()
{
    auto alpha = std::make_unique<TImageBuffer>();
    alpha->isAlpha_ = true;
    alpha->location_ = location_ == locTBitmap ? locInMemory : location_;
    alpha->tempFileThreshold_ = tempFileThreshold_;
    if (!alpha->Allocate(width_, height_, px8g))
        return false;
    alpha->Fill(255);
    alpha_ = std::move(alpha);
    return true;
}

TImageBuffer* TImageBuffer::Alpha()
{
    if (isAlpha_ || IsEmpty())
        return nullptr;
    if (!alpha_ && !createAlpha())
        return nullptr;
    return alpha_.get();
}

uint8_t TImageBuffer::GetAlpha(int x, int y) const
{
    if (!alpha_ || x < 0 || y < 0 || x >= alpha_->width_ || y >= alpha_->height_)
        return 255;
    return alpha_->RowPointer(y)[x];
}

void TImageBuffer::SetAlpha(int x, int y, uint8_t value)
{
    if (x < 0 || y < 0 || x >= width_ || y >= height_)
        return;
    TImageBuffer* alpha = Alpha();
    if (!alpha)
        return;
    alpha->RowPointer(y)[x] = value;
    if (value != 255)
        alpha->fullyOpaque_ = false;
}

bool TImageBuffer::AdoptAlpha(std::unique_ptr<TImageBuffer> channel)
{
    if (!channel || isAlpha_ || channel.get() == this || channel->format_ != px8g || channel->width_ != width_ ||
        channel->height_ != height_)
        return false;
    channel->isAlpha_ = true;
    channel->alpha_.reset();  // an alpha channel has no alpha channel of its own
    alpha_ = std::move(channel);
    return true;
}

std::unique_ptr<TImageBuffer> TImageBuffer::DetachAlpha()
{
    if (alpha_)
        alpha_->isAlpha_ = false;
    return std::move(alpha_);
}

void TImageBuffer::RemoveAlpha(bool merge, TColor background)
{
    if (isAlpha_ || !alpha_)
        return;
    if (merge && format_ == px24RGB) {
        // Not skipped when FullyOpaque: the flag may be stale after writes
        // through RowPointer, and weight 256 leaves opaque pixels as they are.
        const int bg[3] = {int((background >> 16) & 255), int((background >> 8) & 255), int(background & 255)};
        for (int y = 0; y < height_; ++y) {
            const uint8_t* a = alpha_->RowPointer(y);
            uint8_t* p = RowPointer(y);
            for (int x = 0; x < width_; ++x, p += 3) {
                // Weight 0..256 so that alpha 255 keeps the colour exactly;
                // the shift rounds toward minus infinity.
                const int w = a[x] + (a[x] >> 7);
                for (int c = 0; c < 3; ++c)
                    p[c] = uint8_t(bg[c] + (((p[c] - bg[c]) * w) >> 8));
            }
        }
    }
    alpha_.reset();
}
