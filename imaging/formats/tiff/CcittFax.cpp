#include "imaging/formats/tiff/CcittFax.h"

#include <algorithm>
#include <cstdlib>

#include "imaging/formats/tiff/CcittTables.h"

namespace tiff {

namespace {

using ccitt::CodeWord;

// ---------------------------------------------------------------- changes

// Positions where the colour toggles along a row, starting from white.
using Changes = std::vector<int>;

// Adds a toggle; two toggles at the same place cancel, which keeps the list
// strictly increasing for use as the next reference line.
void addChange(Changes& c, int pos)
{
    if (!c.empty() && c.back() == pos)
        c.pop_back();
    else
        c.push_back(pos);
}

// Sentinels at the width so that b1 and b2 always exist.
void closeReference(Changes& c, int width)
{
    c.push_back(width);
    c.push_back(width);
    c.push_back(width);
}

bool bitAt(const uint8_t* row, int i) { return (row[i >> 3] >> (7 - (i & 7))) & 1; }

Changes changesOfRow(const uint8_t* row, int width)
{
    Changes c;
    bool color = false;
    int i = 0;
    while (i < width) {
        // Skip whole bytes of the current colour quickly.
        if ((i & 7) == 0 && i + 8 <= width && row[i >> 3] == (color ? 0xFF : 0x00)) {
            i += 8;
            continue;
        }
        if (bitAt(row, i) != color) {
            c.push_back(i);
            color = !color;
        }
        ++i;
    }
    return c;
}

void setBlack(uint8_t* row, int from, int to)
{
    for (int i = from; i < to; ++i) row[i >> 3] = uint8_t(row[i >> 3] | (0x80 >> (i & 7)));
}

void renderRow(const Changes& c, int width, uint8_t* row)
{
    for (size_t k = 0; k < c.size(); k += 2) {
        int from = c[k];
        int to = k + 1 < c.size() ? c[k + 1] : width;
        setBlack(row, from, std::min(to, width));
    }
}

// Index of b1: the first reference change to the right of a0 whose new
// colour is the opposite of the current colour (even indices turn black).
size_t findB1(const Changes& ref, size_t idx, int a0, int color)
{
    while (idx > 0 && ref[idx - 1] > a0) --idx;
    while (ref[idx] <= a0 && idx + 3 < ref.size()) ++idx;
    if (int(idx & 1) != color) ++idx;
    return std::min(idx, ref.size() - 2);
}

// ---------------------------------------------------------------- encoder

class BitWriter {
public:
    explicit BitWriter(std::vector<uint8_t>& out) : out_(out) {}
    void put(uint32_t bits, int length)
    {
        acc_ = (acc_ << length) | (bits & ((1u << length) - 1));
        count_ += length;
        while (count_ >= 8) {
            count_ -= 8;
            out_.push_back(uint8_t(acc_ >> count_));
        }
    }
    void put(CodeWord w) { put(w.bits, w.length); }
    void align()
    {
        if (count_ > 0) put(0, 8 - count_);
    }

private:
    std::vector<uint8_t>& out_;
    uint64_t acc_ = 0;
    int count_ = 0;
};

void putEol(BitWriter& w) { w.put(1, 12); }

void putRun(BitWriter& w, bool black, int run)
{
    while (run >= 2560) {
        w.put(ccitt::makeupCode(black, 2560));
        run -= 2560;
    }
    if (run >= 64) {
        w.put(ccitt::makeupCode(black, run & ~63));
        run &= 63;
    }
    w.put(ccitt::terminatingCode(black, run));
}

void encode1D(BitWriter& w, const Changes& cur, int width)
{
    int pos = 0;
    bool black = false;
    for (int change : cur) {
        putRun(w, black, change - pos);
        pos = change;
        black = !black;
    }
    putRun(w, black, width - pos);
}

void encode2D(BitWriter& w, const Changes& ref, const Changes& curRow, int width)
{
    Changes cur = curRow;
    closeReference(cur, width);
    int a0 = -1;
    int color = 0;
    size_t ia = 0;  // index of a1 in cur
    size_t ib = 0;
    while (a0 < width) {
        while (cur[ia] <= a0 && ia + 3 < cur.size()) ++ia;
        const int a1 = cur[ia];
        const int a2 = cur[ia + 1];
        ib = findB1(ref, ib, a0, color);
        const int b1 = ref[ib];
        const int b2 = ref[ib + 1];
        if (b2 < a1) {
            w.put(0x1, 4);  // pass
            a0 = b2;
        } else if (std::abs(a1 - b1) <= 3) {
            static const CodeWord vertical[7] = {{0x2, 7}, {0x2, 6}, {0x2, 3}, {0x1, 1},
                                                 {0x3, 3}, {0x3, 6}, {0x3, 7}};
            w.put(vertical[a1 - b1 + 3]);
            a0 = a1;
            color ^= 1;
        } else {
            w.put(0x1, 3);  // horizontal
            putRun(w, color != 0, a1 - std::max(a0, 0));
            putRun(w, color == 0, a2 - a1);
            a0 = a2;
        }
    }
}

// ---------------------------------------------------------------- decoder

class BitReader {
public:
    BitReader(const uint8_t* data, size_t size) : data_(data), size_(size), totalBits_(uint64_t(size) * 8) {}
    // The next n (<= 32) bits; zeros past the end of the data.
    uint32_t peek(int n)
    {
        while (count_ <= 56) {
            uint64_t byte = pos_ < size_ ? data_[pos_] : 0;
            ++pos_;
            acc_ |= byte << (56 - count_);
            count_ += 8;
        }
        return uint32_t(acc_ >> (64 - n));
    }
    void skip(int n)
    {
        peek(1);
        acc_ <<= n;
        count_ -= n;
        consumed_ += uint64_t(n);
    }
    bool overrun() const { return consumed_ > totalBits_; }
    bool atEnd() const { return consumed_ >= totalBits_; }
    void align() { skip(int((8 - consumed_ % 8) % 8)); }

private:
    const uint8_t* data_;
    size_t size_;
    uint64_t totalBits_;
    size_t pos_ = 0;
    uint64_t acc_ = 0;
    int count_ = 0;
    uint64_t consumed_ = 0;
};

// One run of a colour: make-up codes followed by a terminating code.
// Returns -1 on an invalid code, an EOL or the end of the data.
int readRun(BitReader& r, bool black)
{
    const ccitt::LookupEntry* table = black ? ccitt::blackLookup() : ccitt::whiteLookup();
    int total = 0;
    for (;;) {
        const ccitt::LookupEntry& e = table[r.peek(ccitt::kLookupBits)];
        if (e.run < 0) return -1;
        r.skip(e.length);
        if (r.overrun()) return -1;
        total += e.run;
        if (e.run < 64) return total;
        if (total > (1 << 24)) return -1;
    }
}

// Consumes an EOL with any fill zeros before it; false when there is none.
bool skipEol(BitReader& r)
{
    while (!r.atEnd() && r.peek(12) == 0) r.skip(1);
    if (r.atEnd() || r.peek(12) != 1) return false;
    r.skip(12);
    return true;
}

bool decode1D(BitReader& r, int width, Changes& cur)
{
    int pos = 0;
    bool black = false;
    while (pos < width) {
        int run = readRun(r, black);
        if (run < 0 || run > width - pos) return false;
        pos += run;
        if (pos < width) addChange(cur, pos);
        black = !black;
    }
    return true;
}

enum class Mode { Pass, Horizontal, Vertical, Eol, Invalid };

Mode readMode(BitReader& r, int* delta)
{
    uint32_t b = r.peek(7);
    struct Code {
        uint32_t bits;
        int length;
        Mode mode;
        int delta;
    };
    static const Code codes[] = {
        {0x1, 1, Mode::Vertical, 0},  {0x3, 3, Mode::Vertical, 1},  {0x2, 3, Mode::Vertical, -1},
        {0x1, 3, Mode::Horizontal, 0}, {0x1, 4, Mode::Pass, 0},      {0x3, 6, Mode::Vertical, 2},
        {0x2, 6, Mode::Vertical, -2}, {0x3, 7, Mode::Vertical, 3},  {0x2, 7, Mode::Vertical, -3},
    };
    for (const Code& c : codes) {
        if ((b >> (7 - c.length)) == c.bits) {
            r.skip(c.length);
            *delta = c.delta;
            return c.mode;
        }
    }
    if (r.peek(12) == 1) return Mode::Eol;
    return Mode::Invalid;
}

bool decode2D(BitReader& r, const Changes& ref, int width, Changes& cur)
{
    int a0 = -1;
    int color = 0;
    size_t ib = 0;
    while (a0 < width) {
        ib = findB1(ref, ib, a0, color);
        const int b1 = ref[ib];
        const int b2 = ref[ib + 1];
        int delta = 0;
        switch (readMode(r, &delta)) {
        case Mode::Pass:
            a0 = b2;
            break;
        case Mode::Horizontal: {
            const int start = std::max(a0, 0);
            const int run1 = readRun(r, color != 0);
            if (run1 < 0 || run1 > width - start) return false;
            const int run2 = readRun(r, color == 0);
            if (run2 < 0 || run2 > width - start - run1) return false;
            if (start + run1 < width) addChange(cur, start + run1);
            if (start + run1 + run2 < width) addChange(cur, start + run1 + run2);
            a0 = start + run1 + run2;
            break;
        }
        case Mode::Vertical: {
            const int a1 = b1 + delta;
            if (a1 < std::max(a0, 0) || a1 > width) return false;
            if (a1 < width) addChange(cur, a1);
            a0 = a1;
            color ^= 1;
            break;
        }
        default:
            return false;
        }
        if (r.overrun()) return false;
    }
    return true;
}

}  // namespace

void ccittEncode(CcittMode mode, const uint8_t* rows, size_t stride, int width, int height,
                 std::vector<uint8_t>& out)
{
    BitWriter w(out);
    Changes ref;
    closeReference(ref, width);
    for (int y = 0; y < height; ++y) {
        Changes cur = changesOfRow(rows + size_t(y) * stride, width);
        switch (mode) {
        case CcittMode::ModifiedHuffman:
            encode1D(w, cur, width);
            w.align();
            break;
        case CcittMode::Group3OneD:
            putEol(w);
            encode1D(w, cur, width);
            break;
        case CcittMode::Group3TwoD: {
            // Every fourth row is coded on its own, limiting the damage of
            // a transmission error.
            const bool oneD = y % 4 == 0;
            putEol(w);
            w.put(oneD ? 1 : 0, 1);
            if (oneD)
                encode1D(w, cur, width);
            else
                encode2D(w, ref, cur, width);
            break;
        }
        case CcittMode::Group4:
            encode2D(w, ref, cur, width);
            break;
        }
        ref = std::move(cur);
        closeReference(ref, width);
    }
    if (mode == CcittMode::Group4) {
        putEol(w);
        putEol(w);
    }
    w.align();
}

int ccittDecode(CcittMode mode, const uint8_t* data, size_t size, int width, int height, uint8_t* out,
                size_t stride, bool* ok)
{
    *ok = true;
    if (width <= 0 || height <= 0) return 0;
    BitReader r(data, size);
    Changes ref;
    closeReference(ref, width);
    Changes cur;
    for (int y = 0; y < height; ++y) {
        cur.clear();
        bool rowOk = false;
        switch (mode) {
        case CcittMode::ModifiedHuffman:
            r.align();
            rowOk = decode1D(r, width, cur);
            break;
        case CcittMode::Group3OneD:
            skipEol(r);
            rowOk = decode1D(r, width, cur);
            break;
        case CcittMode::Group3TwoD: {
            skipEol(r);
            const bool oneD = r.peek(1) == 1;
            r.skip(1);
            rowOk = oneD ? decode1D(r, width, cur) : decode2D(r, ref, width, cur);
            break;
        }
        case CcittMode::Group4:
            rowOk = decode2D(r, ref, width, cur);
            break;
        }
        if (!rowOk || r.overrun()) {
            *ok = false;
            return y;
        }
        renderRow(cur, width, out + size_t(y) * stride);
        ref.swap(cur);
        closeReference(ref, width);
    }
    return height;
}

}  // namespace tiff
