#pragma once
// Helpers of the processing-object tests: pictures made in code, their
// bytes without row padding, and a log of the host's events.
#include "imaging/ImageBuffer.h"
#include "imaging/ImageProc.h"
#include "imaging/PlainHost.h"

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace proctest {

// Deterministic bytes (xorshift), so failures repeat.
class TBytes {
public:
    explicit TBytes(uint32_t seed) : state_(seed ? seed : 1) {}
    uint8_t Next()
    {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return uint8_t(state_ >> 7);
    }

private:
    uint32_t state_;
};

inline size_t UsedRowBytes(const TImageBuffer& b)
{
    return (size_t(b.Width()) * size_t(b.BitCount()) + 7) / 8;
}

// Every row's pixel bytes without padding (for px1g the bits past the
// width are masked off).
inline std::vector<uint8_t> PixelBytes(TImageBuffer& b)
{
    std::vector<uint8_t> out;
    const size_t used = UsedRowBytes(b);
    for (int y = 0; y < b.Height(); ++y) {
        const uint8_t* row = b.RowPointer(y);
        out.insert(out.end(), row, row + used);
        if (b.BitCount() == 1 && b.Width() % 8 != 0)
            out.back() &= uint8_t(0xFF << (8 - b.Width() % 8));
    }
    return out;
}

inline std::vector<uint8_t> AlphaBytes(TImageBuffer& b)
{
    TImageBuffer* alpha = const_cast<TImageBuffer*>(b.ExistingAlpha());
    return alpha ? PixelBytes(*alpha) : std::vector<uint8_t>();
}

// Random pixels of any format (px32f gets finite values in 0..1; px8p a
// random palette), optionally with a random alpha channel.
inline std::unique_ptr<TImageBuffer> RandomImage(int w, int h, TPixelFormat format, uint32_t seed, bool alpha = false)
{
    auto img = std::make_unique<TImageBuffer>(w, h, format);
    TBytes rnd(seed);
    for (int y = 0; y < h; ++y) {
        uint8_t* row = img->RowPointer(y);
        if (format == px32f) {
            for (int x = 0; x < w; ++x) {
                float v = float(rnd.Next()) / 255.0f;
                std::memcpy(row + size_t(x) * 4, &v, 4);
            }
        } else {
            for (size_t i = 0; i < UsedRowBytes(*img); ++i)
                row[i] = rnd.Next();
        }
    }
    if (format == px8p) {
        std::vector<TRGB> pal(256);
        for (TRGB& c : pal)
            c = TRGB{rnd.Next(), rnd.Next(), rnd.Next()};
        img->SetPalette(pal.data(), 256);
    }
    if (alpha) {
        TImageBuffer* a = img->Alpha();
        for (int y = 0; y < h; ++y) {
            uint8_t* row = a->RowPointer(y);
            for (int x = 0; x < w; ++x)
                row[x] = rnd.Next();
        }
        a->SetFullyOpaque(false);
    }
    return img;
}

// A px24RGB picture from pixels given row by row.
inline std::unique_ptr<TImageBuffer> FromPixels(int w, int h, const std::vector<TRGB>& pixels)
{
    auto img = std::make_unique<TImageBuffer>(w, h, px24RGB);
    for (int y = 0; y < h; ++y) {
        uint8_t* row = img->RowPointer(y);
        for (int x = 0; x < w; ++x) {
            const TRGB& c = pixels[size_t(y) * size_t(w) + size_t(x)];
            row[x * 3] = c.b;
            row[x * 3 + 1] = c.g;
            row[x * 3 + 2] = c.r;
        }
    }
    return img;
}

inline std::unique_ptr<TImageBuffer> Solid(int w, int h, TRGB c)
{
    return FromPixels(w, h, std::vector<TRGB>(size_t(w) * size_t(h), c));
}

inline std::unique_ptr<TImageBuffer> Gray(int w, int h, uint8_t v)
{
    return Solid(w, h, TRGB{v, v, v});
}

// The pixels of a px24RGB picture row by row.
inline std::vector<TRGB> Pixels(TImageBuffer& b)
{
    std::vector<TRGB> out;
    for (int y = 0; y < b.Height(); ++y) {
        const uint8_t* row = b.RowPointer(y);
        for (int x = 0; x < b.Width(); ++x)
            out.push_back(TRGB{row[x * 3], row[x * 3 + 1], row[x * 3 + 2]});
    }
    return out;
}

inline std::unique_ptr<TImageBuffer> Copy(const TImageBuffer& b)
{
    auto c = std::make_unique<TImageBuffer>();
    c->Assign(b);
    return c;
}

// Same size, format, pixels and alpha.
inline bool SameImage(TImageBuffer& a, TImageBuffer& b)
{
    return a.Width() == b.Width() && a.Height() == b.Height() && a.PixelFormat() == b.PixelFormat() &&
           PixelBytes(a) == PixelBytes(b) && AlphaBytes(a) == AlphaBytes(b);
}

// The pixels and alpha bytes after `op` on a copy of `source`, run once on
// several threads and once on one: {many, one}.
struct TThreadRuns {
    std::vector<uint8_t> pixels[2];
    std::vector<uint8_t> alpha[2];
};

inline TThreadRuns RunOnManyAndOneThread(const TImageBuffer& source, const std::function<void(TImageProc&)>& op)
{
    TThreadRuns runs;
    for (int single = 0; single < 2; ++single) {
        ops::SetSingleThreaded(single == 1);
        TPlainHost host(Copy(source));
        TImageProc proc(host, false);
        op(proc);
        runs.pixels[single] = PixelBytes(*host.CurrentImage());
        runs.alpha[single] = AlphaBytes(*host.CurrentImage());
    }
    ops::SetSingleThreaded(false);
    return runs;
}

// Records the host's events as text: "change", "progress N", "finish".
struct TEventLog {
    std::vector<std::string> events;
    std::vector<int> progress;

    void Attach(TPlainHost& host)
    {
        host.OnImageChange = [this] { events.push_back("change"); };
        host.OnProgress = [this](int p) {
            events.push_back("progress " + std::to_string(p));
            progress.push_back(p);
        };
        host.OnFinishWork = [this] { events.push_back("finish"); };
    }
};

}  // namespace proctest
