#include "imaging/formats/tiff/TiffLzw.h"

#include <array>
#include <cstring>
#include <memory>

namespace {

constexpr unsigned kClear = 256;
constexpr unsigned kEoi = 257;
constexpr unsigned kFirstFree = 258;
constexpr unsigned kTableSize = 4096;

// Width of the next code the decoder reads. The usual TIFF coding widens one
// code early (after code 510 is added); the old bit order widens on time.
unsigned codeWidth(unsigned nextFree, bool early)
{
    const unsigned e = early ? 1 : 0;
    if (nextFree + e >= 2048) return 12;
    if (nextFree + e >= 1024) return 11;
    if (nextFree + e >= 512) return 10;
    return 9;
}

// Reads codes most significant bit first, or least significant bit first
// for the old bit order.
class CodeReader {
public:
    CodeReader(const uint8_t* data, size_t size, bool lsbFirst) : data_(data), size_(size), lsb_(lsbFirst) {}

    // False when fewer than width bits remain.
    bool read(unsigned width, unsigned* code)
    {
        while (count_ < width) {
            if (pos_ >= size_) return false;
            if (lsb_)
                bits_ |= uint64_t(data_[pos_++]) << count_;
            else
                bits_ = (bits_ << 8) | data_[pos_++];
            count_ += 8;
        }
        if (lsb_) {
            *code = unsigned(bits_ & ((1u << width) - 1));
            bits_ >>= width;
        } else {
            *code = unsigned(bits_ >> (count_ - width)) & ((1u << width) - 1);
        }
        count_ -= width;
        return true;
    }

private:
    const uint8_t* data_;
    size_t size_;
    bool lsb_;
    size_t pos_ = 0;
    uint64_t bits_ = 0;
    unsigned count_ = 0;
};

class CodeWriter {
public:
    explicit CodeWriter(std::vector<uint8_t>& out) : out_(out) {}
    void put(unsigned code, unsigned width)
    {
        bits_ = (bits_ << width) | code;
        count_ += width;
        while (count_ >= 8) {
            count_ -= 8;
            out_.push_back(uint8_t(bits_ >> count_));
        }
    }
    void flush()
    {
        if (count_ > 0) out_.push_back(uint8_t(bits_ << (8 - count_)));
        count_ = 0;
    }

private:
    std::vector<uint8_t>& out_;
    uint64_t bits_ = 0;
    unsigned count_ = 0;
};

TTiffLzwCoder& builtInCoder()
{
    static TTiffLzwCoder coder;
    return coder;
}

TTiffLzwCoder*& defaultCoderSlot()
{
    static TTiffLzwCoder* slot = &builtInCoder();
    return slot;
}

// Hash table of the encoder: (prefix code, next byte) -> code.
class EncoderTable {
public:
    static constexpr unsigned kSlots = 1u << 14;
    EncoderTable() { clear(); }
    void clear() { keys_.fill(-1); }
    // Slot of the key: either holding it or empty.
    unsigned find(int32_t key) const
    {
        unsigned h = (uint32_t(key) * 2654435761u) >> 18;
        while (keys_[h] != -1 && keys_[h] != key) h = (h + 1) & (kSlots - 1);
        return h;
    }
    bool holds(unsigned slot) const { return keys_[slot] != -1; }
    uint16_t code(unsigned slot) const { return codes_[slot]; }
    void set(unsigned slot, int32_t key, uint16_t code)
    {
        keys_[slot] = key;
        codes_[slot] = code;
    }

private:
    std::array<int32_t, kSlots> keys_;
    std::array<uint16_t, kSlots> codes_{};
};

}  // namespace

void TTiffLzwCoder::Encode(const uint8_t* src, size_t size, std::vector<uint8_t>& out) const
{
    auto table = std::make_unique<EncoderTable>();
    CodeWriter writer(out);
    unsigned width = 9;
    unsigned nextFree = kFirstFree;
    writer.put(kClear, width);
    if (size == 0) {
        writer.put(kEoi, width);
        writer.flush();
        return;
    }
    unsigned prefix = src[0];
    for (size_t i = 1; i < size; ++i) {
        const uint8_t c = src[i];
        const int32_t key = int32_t(prefix << 8 | c);
        const unsigned slot = table->find(key);
        if (table->holds(slot)) {
            prefix = table->code(slot);
            continue;
        }
        writer.put(prefix, width);
        table->set(slot, key, uint16_t(nextFree));
        ++nextFree;
        // The encoder runs one entry ahead of the decoder, so it widens when
        // its own count reaches the power of two.
        width = codeWidth(nextFree, false);
        if (nextFree >= kTableSize - 2) {
            writer.put(kClear, width);
            table->clear();
            nextFree = kFirstFree;
            width = 9;
        }
        prefix = c;
    }
    writer.put(prefix, width);
    // The decoder adds one more entry after reading the last code.
    writer.put(kEoi, codeWidth(nextFree + 1, false));
    writer.flush();
}

size_t TTiffLzwCoder::Decode(const uint8_t* src, size_t size, uint8_t* dst, size_t dstSize, bool* ok) const
{
    *ok = true;
    // Old-style data starts with a Clear code written least significant bit
    // first: 0x00 followed by a byte with its low bit set.
    const bool oldStyle = size >= 2 && src[0] == 0 && (src[1] & 1);
    const bool early = !oldStyle;
    CodeReader reader(src, size, oldStyle);

    // Every entry from 258 on is a string already in the output: its position
    // and length, so strings are copied from the output itself.
    struct Entry {
        size_t pos;
        uint32_t len;
    };
    std::unique_ptr<Entry[]> table(new Entry[kTableSize]);
    unsigned nextFree = kFirstFree;
    unsigned width = 9;
    bool havePrev = false;
    size_t prevPos = 0;
    uint32_t prevLen = 0;
    size_t outPos = 0;
    unsigned code = 0;

    while (outPos < dstSize && reader.read(width, &code)) {
        if (code == kEoi) break;
        if (code == kClear) {
            nextFree = kFirstFree;
            width = 9;
            havePrev = false;
            continue;
        }
        size_t strPos = 0;
        uint32_t strLen = 0;
        bool literal = code < 256;
        if (!literal) {
            if (code < nextFree) {
                strPos = table[code].pos;
                strLen = table[code].len;
            } else if (code == nextFree && havePrev) {
                // The string being defined: previous string plus its own first byte.
                strPos = prevPos;
                strLen = prevLen + 1;
            } else {
                *ok = false;
                break;
            }
        }
        if (havePrev && nextFree < kTableSize) {
            table[nextFree] = Entry{prevPos, prevLen + 1};
            ++nextFree;
        }
        const size_t here = outPos;
        if (literal) {
            dst[outPos++] = uint8_t(code);
            strLen = 1;
        } else {
            size_t n = std::min<size_t>(strLen, dstSize - outPos);
            if (strPos + n <= outPos) {
                std::memcpy(dst + outPos, dst + strPos, n);
            } else {
                for (size_t k = 0; k < n; ++k) dst[outPos + k] = dst[strPos + k];
            }
            outPos += n;
        }
        havePrev = true;
        prevPos = here;
        prevLen = strLen;
        width = nextFree >= kTableSize ? 12 : codeWidth(nextFree, early);
    }
    return outPos;
}

TTiffLzwCoder* TiffLzwDefaultCoder() { return defaultCoderSlot(); }

void SetTiffLzwDefaultCoder(TTiffLzwCoder* coder) { defaultCoderSlot() = coder; }
