#include "imaging/ImageBuffer.h"

#include "imaging/ImagingSettings.h"
#include "imaging/RowFileBuffer.h"

#include <cstdlib>

namespace {
constexpr int kBitCount[PixelFormatCount] = {0, 1, 8, 8, 16, 24, 32, 32, 48, 24, 32};
constexpr int kChannelCount[PixelFormatCount] = {0, 1, 1, 1, 1, 3, 1, 4, 3, 3, 4};
}  // namespace

int PixelFormatBitCount(TPixelFormat format)
{
    return format < PixelFormatCount ? kBitCount[format] : 0;
}

int PixelFormatChannelCount(TPixelFormat format)
{
    return format < PixelFormatCount ? kChannelCount[format] : 0;
}

int64_t CalcRowLen(int64_t width, int bitCount, int rowAlignBits)
{
    if (width < 0 || bitCount < 0 || rowAlignBits <= 0 || rowAlignBits % 8 != 0 || width > INT32_MAX)
        return -1;
    int64_t len = (width * bitCount + rowAlignBits - 1) / rowAlignBits * (rowAlignBits / 8);
    return len > INT32_MAX ? -1 : len;
}

void TImageBuffer::BlockDeleter::operator()(uint8_t* p) const { std::free(p); }

TImageBuffer::TImageBuffer() : tempFileThreshold_(EffectiveTempFileThreshold()) {}

TImageBuffer::TImageBuffer(int width, int height, TPixelFormat format) : TImageBuffer()
{
    Allocate(width, height, format);
}

TImageBuffer::~TImageBuffer() = default;

std::unique_ptr<TImageBuffer> TImageBuffer::CreateSized(int width, int height, TPixelFormat format)
{
    return std::make_unique<TImageBuffer>(width, height, format);
}

bool TImageBuffer::Allocate(int, int, TPixelFormat) { return false; }
uint8_t* TImageBuffer::RowPointer(int) { return nullptr; }
const uint8_t* TImageBuffer::RowPointer(int) const { return nullptr; }
uint8_t* TImageBuffer::LockRow(int) { return nullptr; }
void TImageBuffer::UnlockRow(int) {}
void TImageBuffer::SetRowAlignBits(int bits) { rowAlignBits_ = bits; needsAllocation_ = true; }
void TImageBuffer::SetLocation(TLocation) {}
void TImageBuffer::SetRowAccess(uint8_t access) { rowAccess_ = access; }
void TImageBuffer::SetPaletteCount(int count) { paletteCount_ = count; }
void TImageBuffer::SetPalette(const TRGB*, int) {}
bool TImageBuffer::ConvertTo(TPixelFormat) { return false; }
bool TImageBuffer::SetPixelFormat(TPixelFormat format) { return format == format_ || ConvertTo(format); }
bool TImageBuffer::SetWidth(int) { return false; }
bool TImageBuffer::SetHeight(int) { return false; }
bool TImageBuffer::Assign(const TImageBuffer&) { return false; }
bool TImageBuffer::CopyFrom(const TImageBuffer&) { return false; }
void TImageBuffer::CopyRect(TImageBuffer&, int, int, int, int, int, int) const {}
void TImageBuffer::CopyAlphaRect(TImageBuffer&, int, int, int, int, int, int) const {}
void TImageBuffer::Fill(uint32_t) {}
void TImageBuffer::FillRect(int, int, int, int, uint32_t) {}
TRGB TImageBuffer::GetPixelRGB(int, int) const { return TRGB{0, 0, 0}; }
void TImageBuffer::SetPixelRGB(int, int, TRGB) {}
TImageBuffer* TImageBuffer::Alpha() { return nullptr; }
uint8_t TImageBuffer::GetAlpha(int, int) const { return 255; }
void TImageBuffer::SetAlpha(int, int, uint8_t) {}
bool TImageBuffer::AdoptAlpha(std::unique_ptr<TImageBuffer>) { return false; }
std::unique_ptr<TImageBuffer> TImageBuffer::DetachAlpha() { return std::move(alpha_); }
void TImageBuffer::RemoveAlpha(bool, TColor) {}
TDeviceBitmap TImageBuffer::DeviceBitmap() { return {}; }
bool TImageBuffer::WrapDeviceBitmap(uint8_t*, int, int, int, TPixelFormat) { return false; }
bool TImageBuffer::WrapMemory(void*, int, int, TPixelFormat) { return false; }
void TImageBuffer::Release(bool) {}
void TImageBuffer::RenderToTBitmap(TImageBuffer&, int, int, int, int, int, int, int, int, uint8_t, TResampleFilter) const {}
