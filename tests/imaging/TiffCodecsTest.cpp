// Byte coders of TIFF strips: PackBits, LZW, the predictor and bit reversal.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "imaging/formats/tiff/PackBits.h"
#include "imaging/formats/tiff/TiffLzw.h"
#include "imaging/formats/tiff/TiffPredictor.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Inputs that exercise runs, literals, long repeats and noise.
std::vector<std::pair<const char*, Bytes>> sampleInputs()
{
    std::vector<std::pair<const char*, Bytes>> cases;
    cases.push_back({"empty", {}});
    cases.push_back({"one byte", {42}});
    cases.push_back({"three equal", {7, 7, 7}});
    cases.push_back({"four equal", {7, 7, 7, 7}});
    cases.push_back({"run of 300", Bytes(300, 0xAB)});
    Bytes mixed;
    for (int i = 0; i < 1000; ++i) mixed.push_back(uint8_t(i % 7 < 4 ? 5 : i));
    cases.push_back({"mixed", mixed});
    std::mt19937 rng(12345);
    Bytes noise(70000);
    for (auto& b : noise) b = uint8_t(rng());
    cases.push_back({"noise", noise});
    Bytes gradient(200000);
    for (size_t i = 0; i < gradient.size(); ++i) gradient[i] = uint8_t((i / 3) % 251 + (i % 3) * 17);
    cases.push_back({"gradient", gradient});
    Bytes sparse(50000, 0);
    for (size_t i = 0; i < sparse.size(); i += 997) sparse[i] = uint8_t(i);
    cases.push_back({"sparse", sparse});
    return cases;
}

TEST(TiffPackBits, RoundTripsAllSamples)
{
    for (const auto& [name, input] : sampleInputs()) {
        SCOPED_TRACE(name);
        Bytes code;
        tiff::packBitsEncode(input.data(), input.size(), code);
        Bytes back(input.size() + 5, 0xEE);
        bool ok = false;
        size_t n = tiff::packBitsDecode(code.data(), code.size(), back.data(), input.size(), &ok);
        EXPECT_TRUE(ok);
        ASSERT_EQ(n, input.size());
        EXPECT_TRUE(std::equal(input.begin(), input.end(), back.begin()));
        EXPECT_EQ(back[input.size()], 0xEE);  // nothing written past the end
    }
}

TEST(TiffPackBits, EncodesRunsOfFourOrMoreAndLiteralsOtherwise)
{
    struct Case {
        const char* name;
        Bytes input;
        Bytes expected;
    };
    const Case cases[] = {
        {"run of 4", {9, 9, 9, 9}, {0xFD, 9}},
        {"run of 3 stays literal", {9, 9, 9}, {2, 9, 9, 9}},
        {"literal then run", {1, 2, 5, 5, 5, 5, 5}, {1, 1, 2, 0xFC, 5}},
        {"run of 130", Bytes(130, 3), {0x81, 3, 1, 3, 3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes code;
        tiff::packBitsEncode(c.input.data(), c.input.size(), code);
        EXPECT_EQ(code, c.expected);
    }
}

TEST(TiffPackBits, DecodesTheAppleExampleAndIgnoresNoOp)
{
    // The classic example, with a -128 no-op group added.
    const Bytes code = {0xFE, 0xAA, 0x02, 0x80, 0x00, 0x2A, 0x80, 0xFD, 0xAA, 0x03, 0x80, 0x00, 0x2A, 0x22, 0xF7, 0xAA};
    const Bytes expected = {0xAA, 0xAA, 0xAA, 0x80, 0x00, 0x2A, 0xAA, 0xAA, 0xAA, 0xAA, 0x80, 0x00,
                            0x2A, 0x22, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA};
    Bytes out(expected.size());
    bool ok = false;
    EXPECT_EQ(tiff::packBitsDecode(code.data(), code.size(), out.data(), out.size(), &ok), expected.size());
    EXPECT_TRUE(ok);
    EXPECT_EQ(out, expected);
}

TEST(TiffPackBits, TruncatedAndOverlongInputStaysInBounds)
{
    const Bytes truncatedLiteral = {0x05, 1, 2};  // promises 6 bytes, has 2
    const Bytes truncatedRun = {0xFD};            // run without its byte
    const Bytes overlong = {0x81, 7};             // 128 bytes into a small buffer
    Bytes out(10, 0);
    bool ok = true;
    EXPECT_EQ(tiff::packBitsDecode(truncatedLiteral.data(), truncatedLiteral.size(), out.data(), out.size(), &ok), 2u);
    EXPECT_FALSE(ok);
    EXPECT_EQ(tiff::packBitsDecode(truncatedRun.data(), truncatedRun.size(), out.data(), out.size(), &ok), 0u);
    EXPECT_FALSE(ok);
    EXPECT_EQ(tiff::packBitsDecode(overlong.data(), overlong.size(), out.data(), 3, &ok), 3u);
    EXPECT_TRUE(ok);
}

TEST(TiffLzw, RoundTripsAllSamples)
{
    TTiffLzwCoder coder;
    for (const auto& [name, input] : sampleInputs()) {
        SCOPED_TRACE(name);
        Bytes code;
        coder.Encode(input.data(), input.size(), code);
        Bytes back(input.size() + 1, 0xEE);
        bool ok = false;
        size_t n = coder.Decode(code.data(), code.size(), back.data(), input.size(), &ok);
        EXPECT_TRUE(ok);
        ASSERT_EQ(n, input.size());
        EXPECT_TRUE(std::equal(input.begin(), input.end(), back.begin()));
    }
}

TEST(TiffLzw, EncodesTheKnownStartOfAStrip)
{
    // "AAAA": Clear(256) 'A'(65) 258("AA") 'A' EOI, 9 bits each, MSB first.
    TTiffLzwCoder coder;
    const Bytes input = {'A', 'A', 'A', 'A'};
    Bytes code;
    coder.Encode(input.data(), input.size(), code);
    // 100000000 001000001 100000010 001000001 100000001 -> packed
    const Bytes expected = {0x80, 0x10, 0x60, 0x44, 0x18, 0x08};
    EXPECT_EQ(code, expected);
}

// Writes codes least significant bit first with the old (late) width change,
// as the early LZW writers did.
Bytes oldStyleEncode(const Bytes& input)
{
    // Reuse a simple dictionary: the coder is tiny, so a plain map is enough.
    std::vector<std::pair<std::vector<uint8_t>, unsigned>> dict;
    auto lookup = [&](const Bytes& s) -> int {
        if (s.size() == 1) return s[0];
        for (auto& [k, v] : dict)
            if (k == s) return int(v);
        return -1;
    };
    Bytes out;
    uint64_t acc = 0;
    unsigned count = 0;
    unsigned next = 258;
    // The decoder runs one table entry behind the encoder and widens once its
    // own table reaches the power of two.
    auto put = [&](unsigned code, unsigned decoderNext) {
        unsigned width = decoderNext >= 2048 ? 12 : decoderNext >= 1024 ? 11 : decoderNext >= 512 ? 10 : 9;
        acc |= uint64_t(code) << count;
        count += width;
        while (count >= 8) {
            out.push_back(uint8_t(acc));
            acc >>= 8;
            count -= 8;
        }
    };
    put(256, 258);
    Bytes w;
    for (uint8_t c : input) {
        Bytes wc = w;
        wc.push_back(c);
        if (lookup(wc) >= 0) {
            w = wc;
            continue;
        }
        put(unsigned(lookup(w)), std::max(258u, next - 1));
        dict.push_back({wc, next++});
        w = {c};
    }
    if (!w.empty()) put(unsigned(lookup(w)), std::max(258u, next - 1));
    put(257, next);
    if (count > 0) out.push_back(uint8_t(acc));
    return out;
}

TEST(TiffLzw, DecodesOldStyleBitOrder)
{
    Bytes input;
    for (int i = 0; i < 3000; ++i) input.push_back(uint8_t("TOBEORNOTTOBE"[i % 13] + i / 500));
    Bytes code = oldStyleEncode(input);
    ASSERT_EQ(code[0], 0x00);
    ASSERT_EQ(code[1] & 1, 1);
    TTiffLzwCoder coder;
    Bytes back(input.size());
    bool ok = false;
    EXPECT_EQ(coder.Decode(code.data(), code.size(), back.data(), back.size(), &ok), input.size());
    EXPECT_TRUE(ok);
    EXPECT_EQ(back, input);
}

TEST(TiffLzw, HostileDataStaysInBounds)
{
    TTiffLzwCoder coder;
    Bytes out(64, 0);
    bool ok = true;
    // Clear, then code 300 that is not yet defined.
    const Bytes undefined = {0x80, 0x4B, 0x00};
    coder.Decode(undefined.data(), undefined.size(), out.data(), out.size(), &ok);
    EXPECT_FALSE(ok);
    // Random garbage never writes past the buffer (ASan watches) nor hangs.
    std::mt19937 rng(7);
    for (int i = 0; i < 200; ++i) {
        Bytes junk(size_t(rng() % 400));
        for (auto& b : junk) b = uint8_t(rng());
        Bytes small(size_t(rng() % 100));
        size_t n = coder.Decode(junk.data(), junk.size(), small.data(), small.size(), &ok);
        EXPECT_LE(n, small.size());
    }
    // A long valid stream into a short buffer stops at the buffer's end.
    Bytes input(5000, 1);
    Bytes code;
    coder.Encode(input.data(), input.size(), code);
    EXPECT_EQ(coder.Decode(code.data(), code.size(), out.data(), out.size(), &ok), out.size());
}

TEST(TiffLzw, DefaultCoderCanBeReplacedAndRemoved)
{
    TTiffLzwCoder* builtIn = TiffLzwDefaultCoder();
    ASSERT_NE(builtIn, nullptr);
    SetTiffLzwDefaultCoder(nullptr);
    EXPECT_EQ(TiffLzwDefaultCoder(), nullptr);
    SetTiffLzwDefaultCoder(builtIn);
    EXPECT_EQ(TiffLzwDefaultCoder(), builtIn);
}

TEST(TiffPredictor, DifferencesAndSumsAreInverse)
{
    struct Case {
        const char* name;
        int spp;
        bool sixteen;
        bool bigEndian;
    };
    const Case cases[] = {{"8-bit gray", 1, false, false}, {"8-bit gray+alpha", 2, false, false},
                          {"8-bit RGB", 3, false, false},  {"8-bit RGBA", 4, false, false},
                          {"8-bit 5 samples", 5, false, false}, {"16-bit RGB II", 3, true, false},
                          {"16-bit RGB MM", 3, true, true}};
    std::mt19937 rng(3);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const size_t pixels = 37;
        Bytes row(pixels * size_t(c.spp) * (c.sixteen ? 2 : 1));
        for (auto& b : row) b = uint8_t(rng());
        Bytes work = row;
        if (c.sixteen) {
            tiff::predictorEncode16(work.data(), pixels, c.spp, c.bigEndian);
            EXPECT_TRUE(std::equal(row.begin(), row.begin() + 2 * c.spp, work.begin()));
            EXPECT_NE(work, row);
            tiff::predictorDecode16(work.data(), pixels, c.spp, c.bigEndian);
        } else {
            tiff::predictorEncode8(work.data(), pixels, c.spp);
            EXPECT_TRUE(std::equal(row.begin(), row.begin() + c.spp, work.begin()));
            EXPECT_EQ(uint8_t(work[size_t(c.spp)]), uint8_t(row[size_t(c.spp)] - row[0]));
            tiff::predictorDecode8(work.data(), pixels, c.spp);
        }
        EXPECT_EQ(work, row);
    }
}

TEST(TiffPredictor, SixteenBitCarriesAcrossBytes)
{
    // 0x00FF then 0x0100: the difference 0x0001 must borrow across the byte.
    Bytes row = {0xFF, 0x00, 0x00, 0x01};  // little-endian
    tiff::predictorEncode16(row.data(), 2, 1, false);
    EXPECT_EQ(row, (Bytes{0xFF, 0x00, 0x01, 0x00}));
}

TEST(TiffPredictor, ReverseBits)
{
    Bytes data = {0x01, 0x80, 0xF0, 0xA5, 0x00};
    tiff::reverseBits(data.data(), data.size());
    EXPECT_EQ(data, (Bytes{0x80, 0x01, 0x0F, 0xA5, 0x00}));
}

}  // namespace
