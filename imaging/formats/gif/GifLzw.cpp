#include "imaging/formats/gif/GifLzw.h"

#include <algorithm>
#include <array>

namespace {

constexpr int kMaxBits = 12;
constexpr int kTableSize = kGifLzwMaxCode + 1;

// Open-addressing string table of the encoder: 5003 slots (a prime a little
// above 4096 keeps probe chains short), hash = (pixel << 4) xor prefix, and on a
// collision the probe steps back by (5003 - hash), or by 1 for hash 0.
constexpr int kHashSlots = 5003;
constexpr int kHashShift = 4;

// Packs codes least-significant bit first into bytes and the bytes into
// sub-blocks of at most 255 bytes.
class TGifCodeWriter {
public:
    explicit TGifCodeWriter(std::vector<uint8_t>& out) : out_(out) {}

    void put(int code, int width) {
        accum_ |= static_cast<uint32_t>(code) << accumBits_;
        accumBits_ += width;
        while (accumBits_ >= 8) {
            putByte(static_cast<uint8_t>(accum_ & 0xFF));
            accum_ >>= 8;
            accumBits_ -= 8;
        }
    }

    // Flushes the partial byte and the last sub-block, then the zero-length
    // block that ends the data.
    void finish() {
        if (accumBits_ > 0) putByte(static_cast<uint8_t>(accum_ & 0xFF));
        accum_ = 0;
        accumBits_ = 0;
        flushBlock();
        out_.push_back(0);
    }

private:
    void putByte(uint8_t b) {
        block_[blockLen_++] = b;
        if (blockLen_ == 255) flushBlock();
    }

    void flushBlock() {
        if (blockLen_ == 0) return;
        out_.push_back(static_cast<uint8_t>(blockLen_));
        out_.insert(out_.end(), block_.begin(), block_.begin() + blockLen_);
        blockLen_ = 0;
    }

    std::vector<uint8_t>& out_;
    std::array<uint8_t, 255> block_{};
    int blockLen_ = 0;
    uint32_t accum_ = 0;
    int accumBits_ = 0;
};

}  // namespace

void EncodeGifLzw(std::vector<uint8_t>& out, int height, int width, int bits, const uint8_t* indices,
                  bool interlaced) {
    const int pixelBits = std::clamp(bits, 1, 8);
    const int minCodeSize = std::max(2, pixelBits);
    const uint8_t pixelMask = static_cast<uint8_t>((1 << pixelBits) - 1);
    const int clearCode = 1 << minCodeSize;
    const int endCode = clearCode + 1;
    out.push_back(static_cast<uint8_t>(minCodeSize));

    // hashKey holds (pixel << 12) + prefix of the string in a slot, -1 when free.
    std::vector<int32_t> hashKey(kHashSlots, -1);
    std::vector<uint16_t> hashCode(kHashSlots, 0);
    int codeBits = minCodeSize + 1;
    int freeCode = clearCode + 2;
    TGifCodeWriter writer(out);

    // The width grows once the next free code no longer fits, exactly when a
    // decoder that adds one entry per code grows its own.
    auto emit = [&](int code) {
        writer.put(code, codeBits);
        if (freeCode > (1 << codeBits) - 1 && codeBits < kMaxBits) ++codeBits;
    };
    auto emitClear = [&]() {
        writer.put(clearCode, codeBits);
        std::fill(hashKey.begin(), hashKey.end(), -1);
        freeCode = clearCode + 2;
        codeBits = minCodeSize + 1;
    };

    emitClear();
    if (width <= 0 || height <= 0 || indices == nullptr) {
        emit(endCode);
        writer.finish();
        return;
    }

    int prefix = -1;
    ForEachGifRow(height, interlaced, [&](int y) {
        const uint8_t* row = indices + static_cast<size_t>(y) * static_cast<size_t>(width);
        for (int x = 0; x < width; ++x) {
            const int pixel = row[x] & pixelMask;
            if (prefix < 0) {
                prefix = pixel;
                continue;
            }
            const int32_t key = (pixel << kMaxBits) + prefix;
            int slot = (pixel << kHashShift) ^ prefix;
            bool found = false;
            if (hashKey[slot] == key) {
                found = true;
            } else if (hashKey[slot] >= 0) {
                const int step = slot == 0 ? 1 : kHashSlots - slot;
                do {
                    slot -= step;
                    if (slot < 0) slot += kHashSlots;
                    if (hashKey[slot] == key) {
                        found = true;
                        break;
                    }
                } while (hashKey[slot] >= 0);
            }
            if (found) {
                prefix = hashCode[slot];
                continue;
            }
            emit(prefix);
            prefix = pixel;
            if (freeCode <= kGifLzwMaxCode) {
                hashCode[slot] = static_cast<uint16_t>(freeCode++);
                hashKey[slot] = key;
            } else {
                emitClear();
            }
        }
    });
    emit(prefix);
    emit(endCode);
    writer.finish();
}

TGifLzwResult DecodeGifLzw(const uint8_t* data, size_t size, int minCodeSize, uint8_t* out, size_t outSize) {
    TGifLzwResult result;
    if (minCodeSize < 1 || minCodeSize > 8) return result;  // Damaged
    if (data == nullptr) size = 0;
    if (out == nullptr) outSize = 0;

    const int clearCode = 1 << minCodeSize;
    const int endCode = clearCode + 1;
    std::array<uint16_t, kTableSize> prefixOf{};
    std::array<uint8_t, kTableSize> suffixOf{};
    std::array<uint8_t, kTableSize> firstOf{};
    std::array<uint16_t, kTableSize> lengthOf{};
    for (int i = 0; i < clearCode; ++i) {
        suffixOf[i] = static_cast<uint8_t>(i);
        firstOf[i] = static_cast<uint8_t>(i);
        lengthOf[i] = 1;
    }

    int nextCode = clearCode + 2;
    int codeBits = minCodeSize + 1;
    int prev = -1;
    size_t pos = 0;
    uint32_t accum = 0;
    int accumBits = 0;
    size_t written = 0;
    TGifLzwStatus status = TGifLzwStatus::Incomplete;

    // Writes the string of `code` at out[written], cut at the end of the output.
    auto writeString = [&](int code) {
        const size_t length = lengthOf[code];
        const size_t room = outSize - written;
        size_t k = length;
        int p = code;
        // Characters past the end of the output are skipped from the tail.
        while (k > room) {
            p = prefixOf[p];
            --k;
        }
        const size_t count = k;
        while (k > 0) {
            out[written + --k] = suffixOf[p];
            p = prefixOf[p];
        }
        written += count;
    };

    while (written < outSize) {
        while (accumBits < codeBits && pos < size) {
            accum |= static_cast<uint32_t>(data[pos++]) << accumBits;
            accumBits += 8;
        }
        if (accumBits < codeBits) break;  // data ended
        const int code = static_cast<int>(accum & ((1u << codeBits) - 1));
        accum >>= codeBits;
        accumBits -= codeBits;

        if (code == clearCode) {
            nextCode = clearCode + 2;
            codeBits = minCodeSize + 1;
            prev = -1;
            continue;
        }
        if (code == endCode) break;

        if (prev < 0) {
            // The first code after a clear must be a single pixel.
            if (code > clearCode) {
                status = TGifLzwStatus::Damaged;
                break;
            }
        } else if (nextCode < kTableSize) {
            uint8_t first;
            if (code < nextCode) {
                first = firstOf[code];
            } else if (code == nextCode) {
                first = firstOf[prev];  // the string being defined: prev + its own first pixel
            } else {
                status = TGifLzwStatus::Damaged;
                break;
            }
            prefixOf[nextCode] = static_cast<uint16_t>(prev);
            suffixOf[nextCode] = first;
            firstOf[nextCode] = firstOf[prev];
            lengthOf[nextCode] = static_cast<uint16_t>(lengthOf[prev] + 1);
            ++nextCode;
        }
        // A full table takes no new strings until the next clear code; every
        // 12-bit code is then defined.
        if (code < clearCode || (code > endCode && code < nextCode)) {
            writeString(code);
        } else {
            status = TGifLzwStatus::Damaged;
            break;
        }
        if (nextCode >= (1 << codeBits) && codeBits < kMaxBits) ++codeBits;
        prev = code;
    }

    result.Decoded = written;
    result.Status = written == outSize ? TGifLzwStatus::Complete : status;
    return result;
}
