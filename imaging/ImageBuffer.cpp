// Storage of TImageBuffer: allocation, the three storage kinds, row access,
// whole-buffer copies and size changes.
#include "imaging/ImageBuffer.h"

#include "imaging/ImagingSettings.h"
#include "imaging/RowFileBuffer.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>

namespace {
constexpr int kBitCount[PixelFormatCount] = {0, 1, 8, 8, 16, 24, 32, 32, 48, 24, 32};
constexpr int kChannelCount[PixelFormatCount] = {0, 1, 1, 1, 1, 3, 1, 4, 3, 3, 4};
constexpr size_t kOriginAlign = 32;

const char* formatName(TPixelFormat format)
{
    static const char* const names[PixelFormatCount] = {"pxNone", "px1g",  "px8p",    "px8g",     "pxGray16", "px24RGB",
                                                        "px32f",  "pxCMYK", "pxRGB48", "pxCIELab", "pxRGB32"};
    return format < PixelFormatCount ? names[format] : "unknown";
}

uint8_t* alignedOrigin(uint8_t* block)
{
    auto address = reinterpret_cast<uintptr_t>(block);
    return block + ((kOriginAlign - address % kOriginAlign) % kOriginAlign);
}
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
    if (width < 0 || bitCount < 0 || bitCount > 64 || rowAlignBits <= 0 || rowAlignBits % 8 != 0 ||
        width > INT32_MAX)
        return -1;
    int64_t len = (width * bitCount + rowAlignBits - 1) / rowAlignBits * (rowAlignBits / 8);
    return len > INT32_MAX ? -1 : len;
}

// The device bitmap holds only the formats a 1-, 8-, 24- or 32-bit DIB can.
void TImageBuffer::checkDeviceBitmapFormat(TPixelFormat format)
{
    if (format == px32f || format == pxCMYK || format == pxRGB48 || format == pxCIELab)
        throw std::runtime_error(std::string(formatName(format)) + " pixel format not allowed when Location=locTBitmap");
}

void TImageBuffer::BlockDeleter::operator()(uint8_t* p) const { std::free(p); }

TImageBuffer::TImageBuffer() : tempFileThreshold_(EffectiveTempFileThreshold()) {}

TImageBuffer::TImageBuffer(int width, int height, TPixelFormat format) : TImageBuffer()
{
    Allocate(width, height, format);
}

TImageBuffer::~TImageBuffer() = default;

TImageBuffer::TImageBuffer(TImageBuffer&& other) noexcept : TImageBuffer() { *this = std::move(other); }

TImageBuffer& TImageBuffer::operator=(TImageBuffer&& other) noexcept
{
    if (this == &other)
        return *this;
    swapStorage(other);
    std::swap(tempFileThreshold_, other.tempFileThreshold_);
    std::swap(blackWhiteMethod_, other.blackWhiteMethod_);
    std::swap(reduceColors_, other.reduceColors_);
    std::swap(isAlpha_, other.isAlpha_);
    std::swap(fullyOpaque_, other.fullyOpaque_);
    std::swap(needsAllocation_, other.needsAllocation_);
    std::swap(alpha_, other.alpha_);
    other.Release();
    return *this;
}

std::unique_ptr<TImageBuffer> TImageBuffer::CreateSized(int width, int height, TPixelFormat format)
{
    return std::make_unique<TImageBuffer>(width, height, format);
}

void TImageBuffer::setGeometry(int width, int height, TPixelFormat format, int rowLen)
{
    width_ = width;
    height_ = height;
    format_ = format;
    bitCount_ = PixelFormatBitCount(format);
    channelCount_ = PixelFormatChannelCount(format);
    rowLen_ = rowLen;
}

void TImageBuffer::releaseStorage()
{
    rowFile_.reset();
    block_.reset();
    origin_ = nullptr;
    rowTable_.clear();
    deviceStride_ = 0;
    palette_.clear();
    paletteCount_ = 0;
    setGeometry(0, 0, pxNone, 0);
}

bool TImageBuffer::allocateStorage(int width, int height, TPixelFormat format, TLocation location, bool forceLocation)
{
    if (width < 1 || height < 1 || format == pxNone || format >= PixelFormatCount)
        return false;
    if (!PictureSizeAllowed(width, height))
        return false;
    if (location == locTBitmap) {
        try {
            checkDeviceBitmapFormat(format);
        } catch (const std::runtime_error&) {
            return false;
        }
        // A device bitmap has no 16-bit gray; it keeps 8-bit gray instead.
        if (format == pxGray16)
            format = px8g;
    }
    int64_t rowLen = CalcRowLen(width, PixelFormatBitCount(format), rowAlignBits_);
    if (rowLen <= 0)
        return false;
    int64_t size = rowLen * height;  // < 2^62: both factors are below 2^31
    if (uint64_t(size) > SIZE_MAX - kOriginAlign)
        return false;

    if (!forceLocation && location != locTBitmap) {
        int64_t threshold = tempFileThreshold_ < 0 ? EffectiveTempFileThreshold() : tempFileThreshold_;
        if (location == locTempFile && size < threshold)
            location = locInMemory;
        else if (location == locInMemory && size > threshold)
            location = locTempFile;
    }

    releaseStorage();
    if (location == locTempFile) {
        try {
            rowFile_ = std::make_unique<TRowFileBuffer>(EffectiveTempFolder(), rowLen, height);
        } catch (const std::exception&) {
            rowFile_.reset();
            location = locInMemory;  // no file to be had: try memory
        }
    }
    if (location != locTempFile) {
        block_.reset(static_cast<uint8_t*>(std::calloc(size_t(size) + kOriginAlign, 1)));
        if (!block_)
            return false;
        origin_ = alignedOrigin(block_.get());
    }
    try {
        if (location == locTBitmap) {
            rowTable_.resize(size_t(height));
            for (int y = 0; y < height; ++y)
                rowTable_[size_t(y)] = origin_ + rowLen * y;
            deviceStride_ = int(rowLen);
        }
        if (format == px8p) {
            palette_.assign(256, TRGB{0, 0, 0});
            paletteCount_ = 256;
        }
    } catch (const std::bad_alloc&) {
        releaseStorage();
        return false;
    }
    location_ = location;
    setGeometry(width, height, format, int(rowLen));
    return true;
}

bool TImageBuffer::Allocate(int width, int height, TPixelFormat format)
{
    if (!needsAllocation_ && !IsEmpty() && width == width_ && height == height_ && format == format_)
        return true;
    bool sameSize = width == width_ && height == height_;
    bool ok = allocateStorage(width, height, format, location_, false);
    fullyOpaque_ = false;
    if (!ok) {
        releaseStorage();
        alpha_.reset();
        return false;
    }
    if (!sameSize)
        alpha_.reset();
    needsAllocation_ = false;
    return true;
}

uint8_t* TImageBuffer::rowAddress(int row) const
{
    if (row < 0 || row >= height_)
        return nullptr;
    switch (location_) {
    case locInMemory:
        return origin_ ? origin_ + int64_t(rowLen_) * (height_ - 1 - row) : nullptr;
    case locTBitmap:
        return rowTable_.empty() ? nullptr : rowTable_[size_t(row)];
    case locTempFile:
        return rowFile_ ? rowFile_->MapRow(row, rowAccess_) : nullptr;
    }
    return nullptr;
}

uint8_t* TImageBuffer::RowPointer(int row) { return rowAddress(row); }

const uint8_t* TImageBuffer::RowPointer(int row) const { return rowAddress(row); }

uint8_t* TImageBuffer::LockRow(int row)
{
    if (location_ == locTempFile && rowFile_)
        return row < 0 || row >= height_ ? nullptr : rowFile_->LockRow(row, rowAccess_);
    return rowAddress(row);
}

void TImageBuffer::UnlockRow(int row)
{
    if (location_ == locTempFile && rowFile_)
        rowFile_->UnlockRow(row, rowAccess_);
}

void TImageBuffer::SetRowAlignBits(int bits)
{
    if (bits <= 0 || bits % 8 != 0 || bits > 1024)
        return;
    if (bits != rowAlignBits_)
        needsAllocation_ = true;
    rowAlignBits_ = bits;
}

void TImageBuffer::SetRowAccess(uint8_t access)
{
    // Rows written under the old access must reach the file first.
    if (rowFile_)
        rowFile_->Flush(rowAccess_);
    rowAccess_ = access & raReadWrite;
}

void TImageBuffer::SetPaletteCount(int count)
{
    if (palette_.empty())
        return;
    paletteCount_ = count < 0 ? 0 : (count > 256 ? 256 : count);
}

void TImageBuffer::SetPalette(const TRGB* entries, int count)
{
    if (palette_.empty() || !entries)
        return;
    count = count < 0 ? 0 : (count > 256 ? 256 : count);
    std::memcpy(palette_.data(), entries, sizeof(TRGB) * size_t(count));
    paletteCount_ = count;
}

void TImageBuffer::swapStorage(TImageBuffer& other)
{
    std::swap(width_, other.width_);
    std::swap(height_, other.height_);
    std::swap(format_, other.format_);
    std::swap(bitCount_, other.bitCount_);
    std::swap(channelCount_, other.channelCount_);
    std::swap(rowAlignBits_, other.rowAlignBits_);
    std::swap(rowLen_, other.rowLen_);
    std::swap(location_, other.location_);
    std::swap(rowAccess_, other.rowAccess_);
    std::swap(palette_, other.palette_);
    std::swap(paletteCount_, other.paletteCount_);
    std::swap(block_, other.block_);
    std::swap(origin_, other.origin_);
    std::swap(rowTable_, other.rowTable_);
    std::swap(deviceStride_, other.deviceStride_);
    std::swap(rowFile_, other.rowFile_);
}

// Copies the rows of an equally sized source, min(row lengths) bytes each;
// two temporary files copy from file to file without going through rows.
void TImageBuffer::copyRowsFrom(const TImageBuffer& source)
{
    int rows = height_ < source.height_ ? height_ : source.height_;
    if (location_ == locTempFile && source.location_ == locTempFile && rowFile_ && source.rowFile_ &&
        rowLen_ == source.rowLen_ && rows == height_) {
        source.rowFile_->Flush(source.rowAccess_);
        source.rowFile_->CopyTo(*rowFile_);
        return;
    }
    size_t bytes = size_t(rowLen_ < source.rowLen_ ? rowLen_ : source.rowLen_);
    uint8_t savedAccess = rowAccess_;
    rowAccess_ = raWrite;
    for (int y = 0; y < rows; ++y)
        std::memcpy(RowPointer(y), source.RowPointer(y), bytes);
    if (rowFile_)
        rowFile_->Flush(rowAccess_);
    rowAccess_ = savedAccess;
}

void TImageBuffer::SetLocation(TLocation location)
{
    if (location > locTBitmap)
        return;
    if (IsEmpty()) {
        location_ = location;
        needsAllocation_ = true;
        return;
    }
    if (location == locTBitmap) {
        checkDeviceBitmapFormat(format_);
        if (format_ == pxGray16 && !ConvertTo(px8g))
            throw std::runtime_error("Not enough memory to move the picture");
    }
    if (location != location_) {
        TImageBuffer moved;
        moved.rowAlignBits_ = rowAlignBits_;
        moved.tempFileThreshold_ = tempFileThreshold_;
        if (!moved.allocateStorage(width_, height_, format_, location, true))
            throw std::runtime_error("Not enough memory to move the picture");
        moved.copyRowsFrom(*this);
        moved.palette_ = palette_;
        moved.paletteCount_ = paletteCount_;
        moved.rowAccess_ = rowAccess_;
        swapStorage(moved);
    }
    if (alpha_)
        alpha_->SetLocation(location == locTBitmap ? locInMemory : location);
    needsAllocation_ = true;
}

bool TImageBuffer::copyPixelsFrom(const TImageBuffer& source)
{
    needsAllocation_ = true;
    TLocation wanted = location_;
    if (wanted == locTBitmap && (source.format_ == px32f || source.format_ == pxCMYK ||
                                 source.format_ == pxRGB48 || source.format_ == pxCIELab || source.format_ == pxGray16))
        wanted = locInMemory;
    TImageBuffer copy;
    copy.rowAlignBits_ = rowAlignBits_;
    copy.tempFileThreshold_ = tempFileThreshold_;
    if (!copy.allocateStorage(source.width_, source.height_, source.format_, wanted, false))
        return false;
    copy.copyRowsFrom(source);
    copy.palette_ = source.palette_;
    copy.paletteCount_ = source.paletteCount_;
    copy.rowAccess_ = rowAccess_;
    bool sameSize = width_ == source.width_ && height_ == source.height_;
    swapStorage(copy);
    if (!sameSize)
        alpha_.reset();
    return true;
}

bool TImageBuffer::Assign(const TImageBuffer& source)
{
    if (&source == this || source.IsEmpty())
        return true;
    int savedAlign = rowAlignBits_;
    rowAlignBits_ = source.rowAlignBits_;
    if (!copyPixelsFrom(source)) {
        rowAlignBits_ = savedAlign;
        return false;
    }
    blackWhiteMethod_ = source.blackWhiteMethod_;
    fullyOpaque_ = source.fullyOpaque_;
    alpha_.reset();
    if (source.alpha_ && !isAlpha_) {
        auto alpha = std::make_unique<TImageBuffer>();
        alpha->isAlpha_ = true;
        alpha->location_ = location_ == locTBitmap ? locInMemory : location_;
        alpha->tempFileThreshold_ = tempFileThreshold_;
        if (!alpha->Assign(*source.alpha_))
            return false;
        alpha_ = std::move(alpha);
    }
    return true;
}

bool TImageBuffer::CopyFrom(const TImageBuffer& source)
{
    if (&source == this || source.IsEmpty())
        return true;
    return copyPixelsFrom(source);
}

bool TImageBuffer::resizeKeeping(int width, int height)
{
    if (IsEmpty())
        return false;
    if (width == width_ && height == height_)
        return true;
    TImageBuffer resized;
    resized.rowAlignBits_ = rowAlignBits_;
    resized.tempFileThreshold_ = tempFileThreshold_;
    if (!resized.allocateStorage(width, height, format_, location_, false))
        return false;
    int rows = height < height_ ? height : height_;
    int keptWidth = width < width_ ? width : width_;
    size_t bytes = size_t((int64_t(keptWidth) * bitCount_ + 7) / 8);
    resized.rowAccess_ = raWrite;
    for (int y = 0; y < rows; ++y)
        std::memcpy(resized.RowPointer(y), RowPointer(y), bytes);
    if (resized.rowFile_)
        resized.rowFile_->Flush(raWrite);
    resized.rowAccess_ = rowAccess_;
    resized.palette_ = palette_;
    resized.paletteCount_ = paletteCount_;
    if (alpha_ && !alpha_->resizeKeeping(width, height))
        return false;
    swapStorage(resized);
    return true;
}

bool TImageBuffer::SetWidth(int width) { return resizeKeeping(width, height_); }

bool TImageBuffer::SetHeight(int height) { return resizeKeeping(width_, height); }

bool TImageBuffer::WrapMemory(void* pixels, int width, int height, TPixelFormat format)
{
    Release();
    int64_t rowLen = CalcRowLen(width, PixelFormatBitCount(format), rowAlignBits_);
    if (!pixels || width < 1 || height < 1 || format == pxNone || format >= PixelFormatCount || rowLen <= 0)
        return false;
    origin_ = static_cast<uint8_t*>(pixels);
    location_ = locInMemory;
    setGeometry(width, height, format, int(rowLen));
    if (format == px8p) {
        palette_.assign(256, TRGB{0, 0, 0});
        paletteCount_ = 256;
    }
    needsAllocation_ = false;
    return true;
}

bool TImageBuffer::WrapDeviceBitmap(uint8_t* topRow, int width, int height, int stride, TPixelFormat format)
{
    Release();
    if (format != px1g && format != px8p && format != px8g && format != px24RGB && format != pxRGB32)
        return false;
    int64_t rowLen = CalcRowLen(width, PixelFormatBitCount(format), 32);
    if (!topRow || width < 1 || height < 1 || rowLen <= 0 || int64_t(stride) < (int64_t(width) * PixelFormatBitCount(format) + 7) / 8)
        return false;
    rowTable_.resize(size_t(height));
    for (int y = 0; y < height; ++y)
        rowTable_[size_t(y)] = topRow + int64_t(stride) * y;
    deviceStride_ = stride;
    location_ = locTBitmap;
    setGeometry(width, height, format, int(rowLen < stride ? rowLen : stride));
    if (format == px8p) {
        palette_.assign(256, TRGB{0, 0, 0});
        paletteCount_ = 256;
    }
    needsAllocation_ = false;
    return true;
}

TDeviceBitmap TImageBuffer::DeviceBitmap()
{
    if (IsEmpty())
        return {};
    if (location_ != locTBitmap) {
        try {
            SetLocation(locTBitmap);
        } catch (const std::runtime_error&) {
            return {};
        }
    }
    return TDeviceBitmap{rowTable_.front(), width_, height_, deviceStride_, format_};
}

void TImageBuffer::Release(bool releaseAlpha)
{
    releaseStorage();
    if (releaseAlpha)
        alpha_.reset();
    fullyOpaque_ = false;
    needsAllocation_ = true;
}
