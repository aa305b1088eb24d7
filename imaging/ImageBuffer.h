#pragma once
// TImageBuffer: one picture - size, pixel format, padded rows, an optional
// palette and an optional 8-bit alpha channel - in one of three storage kinds.
//
// Row 0 is the top row for every caller, whatever the storage:
//
//   locInMemory   one block, 32-byte aligned origin, rows bottom-up
//                 (row y at origin + RowLen * (Height - 1 - y))
//   locTempFile   rows live in a temporary file and are mapped on demand
//   locTBitmap    device-bitmap storage: top-down rows with a row-pointer
//                 table; a GUI layer can wrap the rows of a px24RGB buffer
//                 as a BGR888 image without copying (see DeviceBitmap)
//
// A buffer is used by one thread at a time; even reads of a locTempFile
// buffer change its state (the mapped row).
#include "imaging/ResampleFilter.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

enum TPixelFormat : uint8_t {
    pxNone = 0,
    px1g,      // 1 bit, 1 = white, leftmost pixel in the most significant bit
    px8p,      // palette index
    px8g,      // 8-bit gray
    pxGray16,  // 16-bit gray (native byte order)
    px24RGB,   // blue, green, red
    px32f,     // float gray, 0.0 .. 1.0
    pxCMYK,    // cyan, magenta, yellow, black
    pxRGB48,   // red, green, blue, 16 bits each (native byte order)
    pxCIELab,  // L, a, b (a and b signed)
    pxRGB32,   // blue, green, red, fourth byte
};
constexpr int PixelFormatCount = 11;

enum TLocation : uint8_t { locInMemory = 0, locTempFile = 1, locTBitmap = 2 };

// A palette entry, stored blue, green, red like the pixels.
struct TRGB {
    uint8_t b, g, r;
    friend bool operator==(const TRGB&, const TRGB&) = default;
};

// A Windows-style colour value: red in the low byte, then green, then blue.
using TColor = uint32_t;
inline TColor RGBToColor(uint8_t r, uint8_t g, uint8_t b) { return TColor(r) | (TColor(g) << 8) | (TColor(b) << 16); }
inline TRGB ColorToTRGB(TColor c) { return TRGB{uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c)}; }
inline TColor TRGBToColor(TRGB c) { return RGBToColor(c.r, c.g, c.b); }

// Bits per pixel and channels of a format (0 for pxNone and unknown codes).
int PixelFormatBitCount(TPixelFormat format);
int PixelFormatChannelCount(TPixelFormat format);

// Bytes per row for a width, bits per pixel and row alignment in bits
// (a positive multiple of 8). -1 when the arguments are invalid or the
// result does not fit a signed 32-bit value.
int64_t CalcRowLen(int64_t width, int bitCount, int rowAlignBits = 32);

// What the row accessors of a locTempFile buffer must do (bits of RowAccess).
enum TRowAccess : uint8_t { raRead = 1, raWrite = 2, raReadWrite = 3 };

// How a conversion to px1g decides black and white (BlackWhiteMethod).
enum TBlackWhiteMethod : uint8_t { bwOrderedDither = 0, bwThreshold = 1 };

// The rows of a device-bitmap storage, for a GUI layer to wrap: `bits` is the
// top row, each next row starts `stride` bytes later.
struct TDeviceBitmap {
    uint8_t* bits = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0;
    TPixelFormat format = pxNone;
};

class TRowFileBuffer;

class TImageBuffer {
public:
    TImageBuffer();
    // Create followed by Allocate (check IsEmpty for failure).
    TImageBuffer(int width, int height, TPixelFormat format);
    ~TImageBuffer();
    TImageBuffer(const TImageBuffer&) = delete;
    TImageBuffer& operator=(const TImageBuffer&) = delete;
    // Moving hands over pixels, settings and alpha channel; the source is
    // left empty.
    TImageBuffer(TImageBuffer&& other) noexcept;
    TImageBuffer& operator=(TImageBuffer&& other) noexcept;

    static std::unique_ptr<TImageBuffer> CreateSized(int width, int height, TPixelFormat format);

    // New storage of that size and format. Returns false (buffer left 0 x 0)
    // for an invalid size or format, a picture over MaxPicturePixels, a size
    // whose byte count overflows, or when no memory is available. Allocating
    // the size and format the buffer already has keeps the pixels, except on
    // a fresh buffer and after Assign, CopyFrom, SetLocation or a change of
    // RowAlignBits. Allocating a new size drops the alpha channel.
    bool Allocate(int width, int height, TPixelFormat format);

    // Start of row `row` (0 = top). For locTempFile storage the pointer is
    // valid until the next RowPointer call on this buffer; otherwise until
    // the storage changes. nullptr for a row outside the picture.
    uint8_t* RowPointer(int row);
    const uint8_t* RowPointer(int row) const;
    // Like RowPointer, but several rows of a locTempFile buffer may be locked
    // at once; each stays mapped until unlocked or the storage is released.
    uint8_t* LockRow(int row);
    void UnlockRow(int row);

    int Width() const { return width_; }
    int Height() const { return height_; }
    TPixelFormat PixelFormat() const { return format_; }
    int BitCount() const { return bitCount_; }
    int ChannelCount() const { return channelCount_; }
    int RowLen() const { return rowLen_; }
    bool IsEmpty() const { return width_ == 0 || height_ == 0 || rowLen_ == 0 || bitCount_ == 0; }

    // Rows are padded to a multiple of this many bits (default 32). A change
    // takes effect at the next allocation.
    int RowAlignBits() const { return rowAlignBits_; }
    void SetRowAlignBits(int bits);

    TLocation Location() const { return location_; }
    // Moves pixels, palette and alpha channel into storage of that kind.
    // px32f, pxCMYK, pxRGB48 and pxCIELab cannot live in locTBitmap storage
    // (std::runtime_error with the reason).
    void SetLocation(TLocation location);

    int64_t TempFileThreshold() const { return tempFileThreshold_; }
    void SetTempFileThreshold(int64_t bytes) { tempFileThreshold_ = bytes; }

    uint8_t RowAccess() const { return rowAccess_; }
    void SetRowAccess(uint8_t access);

    uint8_t BlackWhiteMethod() const { return blackWhiteMethod_; }
    void SetBlackWhiteMethod(uint8_t method) { blackWhiteMethod_ = method; }

    int ReduceColors() const { return reduceColors_; }
    void SetReduceColors(int colors) { reduceColors_ = colors; }

    // The palette (256 entries) of a px8p buffer, nullptr for other formats.
    TRGB* Palette() { return palette_.empty() ? nullptr : palette_.data(); }
    const TRGB* Palette() const { return palette_.empty() ? nullptr : palette_.data(); }
    int PaletteCount() const { return paletteCount_; }
    void SetPaletteCount(int count);
    // Copies up to 256 entries into the palette and sets PaletteCount.
    void SetPalette(const TRGB* entries, int count);

    // Converts the pixels to another format (see PixelConversion.cpp for the
    // rules). Returns false when the buffer is empty, the format is invalid
    // or memory is short; the picture is then unchanged. Throws
    // std::runtime_error for a format that locTBitmap storage cannot hold.
    bool ConvertTo(TPixelFormat format);
    // ConvertTo, only when the format differs.
    bool SetPixelFormat(TPixelFormat format);

    // Change one dimension, keeping the pixels that still fit (anchored at
    // the top-left corner); the alpha channel follows.
    bool SetWidth(int width);
    bool SetHeight(int height);

    // Becomes a copy of `source`: size, format, row alignment, pixels,
    // palette, alpha channel (or its absence), BlackWhiteMethod. An empty
    // source leaves this buffer unchanged. Returns false when memory is short.
    bool Assign(const TImageBuffer& source);
    // Copies size, format, pixels and palette but leaves this buffer's alpha
    // channel alone. An empty source leaves this buffer unchanged.
    bool CopyFrom(const TImageBuffer& source);

    // Copies a rectangle into `dest` (same format, or px1g into px24RGB),
    // clipped to both buffers.
    void CopyRect(TImageBuffer& dest, int srcX, int srcY, int width, int height, int destX, int destY) const;
    // The same between two px8g alpha channels, keeping per pixel the larger value.
    void CopyAlphaRect(TImageBuffer& dest, int srcX, int srcY, int width, int height, int destX, int destY) const;

    // Sets every pixel: px1g 0 or 1 (non-zero = 1); px8p/px8g the byte;
    // pxGray16 the 16-bit value; px24RGB a TColor; pxRGB32 a TColor with the
    // fourth byte from bits 24..31; pxRGB48 a TColor with each channel * 257;
    // pxCMYK bytes C, M, Y, K from the low byte up; pxCIELab bytes L, a, b
    // from the low byte up; px32f the low byte as gray / 255.
    void Fill(uint32_t value);
    // The same inside x1..x2, y1..y2 (inclusive corners in any order),
    // clipped to the picture.
    void FillRect(int x1, int y1, int x2, int y2, uint32_t value);

    // One pixel as a colour. Works for every format (converting the one
    // pixel like ConvertTo(px24RGB)); {0,0,0} outside the picture.
    TRGB GetPixelRGB(int x, int y) const;
    // Writes one px24RGB pixel (other formats and outside points: ignored).
    // Writing anything but white clears FullyOpaque.
    void SetPixelRGB(int x, int y, TRGB colour);

    // The alpha channel: px8g, same size, 255 = opaque. Created on first use
    // filled with 255 (locTBitmap storage becomes locInMemory). nullptr when
    // the buffer is empty, is itself an alpha channel, or memory is short.
    TImageBuffer* Alpha();
    // The alpha channel if there is one, without creating it.
    const TImageBuffer* ExistingAlpha() const { return alpha_.get(); }
    bool HasAlpha() const { return alpha_ != nullptr; }
    // 255 when there is no channel or the point is outside.
    uint8_t GetAlpha(int x, int y) const;
    void SetAlpha(int x, int y, uint8_t value);
    // Installs `channel` (px8g, same size) as the alpha channel.
    // Returns false, and leaves things as they were, when it does not fit.
    bool AdoptAlpha(std::unique_ptr<TImageBuffer> channel);
    // Hands the alpha channel to the caller (nullptr when there is none).
    std::unique_ptr<TImageBuffer> DetachAlpha();
    // Drops the alpha channel; with merge on a px24RGB picture first blends
    // each component: bg + (((c - bg) * alpha) >> 8), shifted arithmetically.
    void RemoveAlpha(bool merge = false, TColor background = 0xFFFFFF);
    bool IsAlpha() const { return isAlpha_; }
    // True when the buffer is known to hold only its maximum value (255 in
    // an alpha channel); renderers skip blending with an alpha channel that
    // says so. Fills, SetAlpha and SetPixelRGB keep it up to date; code that
    // writes through RowPointer sets it itself - on the alpha channel.
    bool FullyOpaque() const { return fullyOpaque_; }
    void SetFullyOpaque(bool value) { fullyOpaque_ = value; }

    // Moves the buffer to locTBitmap storage when needed and describes its
    // rows (all-zero when the format cannot live there or the buffer is empty).
    TDeviceBitmap DeviceBitmap();
    // Makes the buffer a view on top-down rows owned by the caller
    // (px1g, px8g, px8p, px24RGB or pxRGB32); Location becomes locTBitmap.
    bool WrapDeviceBitmap(uint8_t* topRow, int width, int height, int stride, TPixelFormat format);
    // Makes the buffer a view on caller-owned memory with bottom-up rows of
    // RowLen bytes (as locInMemory); the buffer never frees it.
    bool WrapMemory(void* pixels, int width, int height, TPixelFormat format);

    // Frees the storage (and, when asked, the alpha channel); back to 0 x 0.
    void Release(bool releaseAlpha = true);

    // Draws the source rectangle of this buffer scaled into the destination
    // rectangle of `dest` (same format, or px1g/px8g/px8p into px24RGB or
    // pxRGB32). Transparency below 255 blends at that opacity; an alpha
    // channel that is not FullyOpaque blends per pixel.
    void RenderToTBitmap(TImageBuffer& dest, int destX, int destY, int destW, int destH, int srcX, int srcY,
                         int srcW, int srcH, uint8_t transparency = 255, TResampleFilter filter = rfNone) const;

private:
    struct BlockDeleter {
        void operator()(uint8_t* p) const;
    };
    using Block = std::unique_ptr<uint8_t, BlockDeleter>;

    // Throws std::runtime_error for a format a device bitmap cannot hold.
    static void checkDeviceBitmapFormat(TPixelFormat format);
    bool allocateStorage(int width, int height, TPixelFormat format, TLocation location, bool forceLocation);
    void releaseStorage();
    void setGeometry(int width, int height, TPixelFormat format, int rowLen);
    void swapStorage(TImageBuffer& other);
    void copyRowsFrom(const TImageBuffer& source);
    bool copyPixelsFrom(const TImageBuffer& source);
    bool resizeKeeping(int width, int height);
    bool convertStorage(TPixelFormat format);
    bool createAlpha();
    uint8_t* rowAddress(int row) const;

    int width_ = 0;
    int height_ = 0;
    TPixelFormat format_ = pxNone;
    int bitCount_ = 0;
    int channelCount_ = 0;
    int rowAlignBits_ = 32;
    int rowLen_ = 0;
    TLocation location_ = locTempFile;
    int64_t tempFileThreshold_ = 0;
    uint8_t rowAccess_ = raReadWrite;
    uint8_t blackWhiteMethod_ = bwThreshold;
    int reduceColors_ = 256;
    bool isAlpha_ = false;
    bool fullyOpaque_ = false;
    // Set on a fresh buffer and after Assign, CopyFrom, SetLocation or a
    // change of RowAlignBits: the next Allocate is a real one.
    bool needsAllocation_ = true;

    std::vector<TRGB> palette_;
    int paletteCount_ = 0;

    // locInMemory and owned locTBitmap: the raw block and the 32-byte aligned origin.
    Block block_;
    uint8_t* origin_ = nullptr;
    // locTBitmap: one pointer per row, top-down.
    std::vector<uint8_t*> rowTable_;
    int deviceStride_ = 0;
    // locTempFile
    std::unique_ptr<TRowFileBuffer> rowFile_;

    std::unique_ptr<TImageBuffer> alpha_;
};
