#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "imaging/formats/gif/GifLzw.h"

namespace {

// The coded data split into its parts, checking the sub-block framing.
struct TCodedData {
    int MinCodeSize = -1;
    std::vector<uint8_t> Payload;
    bool Framed = false;  // sub-blocks well formed and closed by a zero-length block at the very end
};

TCodedData unframe(const std::vector<uint8_t>& coded) {
    TCodedData d;
    if (coded.empty()) return d;
    d.MinCodeSize = coded[0];
    size_t pos = 1;
    while (pos < coded.size()) {
        const size_t len = coded[pos++];
        if (len == 0) {
            d.Framed = pos == coded.size();
            return d;
        }
        if (pos + len > coded.size()) return d;
        d.Payload.insert(d.Payload.end(), coded.begin() + pos, coded.begin() + pos + len);
        pos += len;
    }
    return d;
}

// Packs codes of given widths least-significant bit first, as a test-side
// reference independent of the coder under test.
class TCodePacker {
public:
    void put(int code, int width) {
        for (int i = 0; i < width; ++i) {
            if (bit_ % 8 == 0) bytes.push_back(0);
            if ((code >> i) & 1) bytes.back() |= static_cast<uint8_t>(1 << (bit_ % 8));
            ++bit_;
        }
    }
    std::vector<uint8_t> bytes;

private:
    size_t bit_ = 0;
};

// Reads the code stream back as (code, width) pairs, tracking the table size
// the way a GIF decoder does; used to check where the encoder puts its clear
// codes.
struct TCodeTrace {
    std::vector<int> Codes;
    std::vector<int> TableSizeBefore;  // next free code when each code was read
};

TCodeTrace traceCodes(const std::vector<uint8_t>& payload, int minCodeSize) {
    TCodeTrace t;
    const int clear = 1 << minCodeSize;
    int next = clear + 2;
    int width = minCodeSize + 1;
    bool first = true;
    size_t bit = 0;
    while (bit + width <= payload.size() * 8) {
        int code = 0;
        for (int i = 0; i < width; ++i, ++bit)
            if ((payload[bit / 8] >> (bit % 8)) & 1) code |= 1 << i;
        t.Codes.push_back(code);
        t.TableSizeBefore.push_back(next);
        if (code == clear) {
            next = clear + 2;
            width = minCodeSize + 1;
            first = true;
            continue;
        }
        if (code == clear + 1) break;
        if (!first && next < 4096) ++next;
        first = false;
        if (next >= (1 << width) && width < 12) ++width;
    }
    return t;
}

std::vector<uint8_t> makePixels(const std::string& pattern, int width, int height, int bits, uint32_t seed) {
    std::vector<uint8_t> px(static_cast<size_t>(width) * height);
    std::mt19937 rng(seed);
    const int colours = 1 << bits;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t& p = px[static_cast<size_t>(y) * width + x];
            if (pattern == "flat") p = static_cast<uint8_t>(colours - 1);
            else if (pattern == "gradient") p = static_cast<uint8_t>((x + y) % colours);
            else if (pattern == "stripes") p = static_cast<uint8_t>(y % colours);
            else p = static_cast<uint8_t>(rng() % colours);
        }
    return px;
}

struct TRoundTripCase {
    const char* Name;
    int Bits;
    int Width;
    int Height;
    const char* Pattern;
    bool Interlaced;
};

class GifLzwRoundTrip : public testing::TestWithParam<TRoundTripCase> {};

TEST_P(GifLzwRoundTrip, DecodesToTheSameIndicesInCodedRowOrder) {
    const TRoundTripCase& c = GetParam();
    const std::vector<uint8_t> pixels = makePixels(c.Pattern, c.Width, c.Height, c.Bits, 1234u + c.Bits);
    std::vector<uint8_t> coded;
    EncodeGifLzw(coded, c.Height, c.Width, c.Bits, pixels.data(), c.Interlaced);

    const TCodedData data = unframe(coded);
    ASSERT_TRUE(data.Framed);
    EXPECT_EQ(data.MinCodeSize, std::max(2, c.Bits));

    std::vector<uint8_t> decoded(pixels.size(), 0xEE);
    const TGifLzwResult r =
        DecodeGifLzw(data.Payload.data(), data.Payload.size(), data.MinCodeSize, decoded.data(), decoded.size());
    EXPECT_EQ(r.Status, TGifLzwStatus::Complete);
    EXPECT_EQ(r.Decoded, pixels.size());

    // Put the coded rows back in place.
    std::vector<uint8_t> restored(pixels.size());
    size_t coded_row = 0;
    ForEachGifRow(c.Height, c.Interlaced, [&](int y) {
        std::copy_n(decoded.begin() + coded_row * c.Width, c.Width, restored.begin() + static_cast<size_t>(y) * c.Width);
        ++coded_row;
    });
    EXPECT_EQ(restored, pixels);

    // The stream ends with the end code, starts with a clear code, and every
    // clear code after the first comes exactly when the 12-bit table is full.
    const TCodeTrace trace = traceCodes(data.Payload, data.MinCodeSize);
    const int clear = 1 << data.MinCodeSize;
    ASSERT_FALSE(trace.Codes.empty());
    EXPECT_EQ(trace.Codes.front(), clear);
    EXPECT_EQ(trace.Codes.back(), clear + 1);
    for (size_t i = 1; i < trace.Codes.size(); ++i)
        if (trace.Codes[i] == clear) {
            EXPECT_EQ(trace.TableSizeBefore[i], 4096) << "clear code at " << i;
        }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GifLzwRoundTrip,
    testing::Values(TRoundTripCase{"OnePixel1Bit", 1, 1, 1, "random", false},
                    TRoundTripCase{"Random1Bit", 1, 67, 41, "random", false},
                    TRoundTripCase{"Random2Bit", 2, 33, 17, "random", true},
                    TRoundTripCase{"Random4Bit", 4, 100, 90, "random", false},
                    TRoundTripCase{"Random8BitLarge", 8, 300, 200, "random", false},
                    TRoundTripCase{"Random8BitInterlaced", 8, 129, 77, "random", true},
                    TRoundTripCase{"Flat8BitLongRuns", 8, 1000, 300, "flat", false},
                    TRoundTripCase{"Gradient8Bit", 8, 256, 256, "gradient", true},
                    TRoundTripCase{"Stripes3Bit", 3, 50, 9, "stripes", true},
                    TRoundTripCase{"Random1BitManyClears", 1, 640, 480, "random", false},
                    TRoundTripCase{"InterlacedTiny", 8, 5, 3, "gradient", true}),
    [](const testing::TestParamInfo<TRoundTripCase>& info) { return std::string(info.param.Name); });

TEST(GifLzw, ManyClearCodesInLongRandomData) {
    // 8-bit noise fills the table about every 3800 pixels.
    const std::vector<uint8_t> pixels = makePixels("random", 400, 100, 8, 7);
    std::vector<uint8_t> coded;
    EncodeGifLzw(coded, 100, 400, 8, pixels.data(), false);
    const TCodedData data = unframe(coded);
    const TCodeTrace trace = traceCodes(data.Payload, 8);
    int clears = 0;
    for (int code : trace.Codes) clears += code == 256;
    EXPECT_GE(clears, 10);
}

TEST(GifLzw, KnownBytesOfASmallPicture) {
    // 2 x 2 black 1-bit picture: minimum code size 2; codes clear(4) 0 6 0
    // at 3 bits, then end(5) at 4 bits as the table reached 8 entries.
    const std::vector<uint8_t> pixels(4, 0);
    std::vector<uint8_t> coded;
    EncodeGifLzw(coded, 2, 2, 1, pixels.data(), false);
    EXPECT_EQ(coded, (std::vector<uint8_t>{0x02, 0x02, 0x84, 0x51, 0x00}));
}

TEST(GifLzw, SubBlocksHoldAtMost255Bytes) {
    const std::vector<uint8_t> pixels = makePixels("random", 200, 50, 8, 3);
    std::vector<uint8_t> coded;
    EncodeGifLzw(coded, 50, 200, 8, pixels.data(), false);
    size_t pos = 1;
    int fullBlocks = 0;
    while (pos < coded.size() && coded[pos] != 0) {
        EXPECT_LE(coded[pos], 255);
        fullBlocks += coded[pos] == 255;
        pos += 1 + coded[pos];
    }
    EXPECT_EQ(pos, coded.size() - 1);
    EXPECT_GT(fullBlocks, 10);
}

TEST(GifLzw, EmptyPictureGivesClearAndEndOnly) {
    std::vector<uint8_t> coded;
    EncodeGifLzw(coded, 0, 0, 8, nullptr, false);
    const TCodedData data = unframe(coded);
    ASSERT_TRUE(data.Framed);
    const TCodeTrace trace = traceCodes(data.Payload, 8);
    EXPECT_EQ(trace.Codes, (std::vector<int>{256, 257}));
}

// Code streams made by hand for the decoder's error paths.
struct TDecodeCase {
    const char* Name;
    int MinCodeSize;
    std::vector<std::pair<int, int>> Codes;  // (code, width)
    size_t OutSize;
    TGifLzwStatus Status;
    std::vector<uint8_t> Expected;  // decoded prefix
};

class GifLzwDecode : public testing::TestWithParam<TDecodeCase> {};

TEST_P(GifLzwDecode, ReportsStatusAndDecodedPrefix) {
    const TDecodeCase& c = GetParam();
    TCodePacker packer;
    for (auto [code, width] : c.Codes) packer.put(code, width);
    std::vector<uint8_t> out(c.OutSize, 0xEE);
    const TGifLzwResult r =
        DecodeGifLzw(packer.bytes.data(), packer.bytes.size(), c.MinCodeSize, out.data(), out.size());
    EXPECT_EQ(r.Status, c.Status);
    ASSERT_EQ(r.Decoded, c.Expected.size());
    EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + r.Decoded), c.Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GifLzwDecode,
    testing::Values(
        TDecodeCase{"Valid", 2, {{4, 3}, {1, 3}, {1, 3}, {6, 3}, {5, 4}}, 4, TGifLzwStatus::Complete, {1, 1, 1, 1}},
        TDecodeCase{"NoLeadingClear", 2, {{2, 3}, {3, 3}, {5, 3}}, 2, TGifLzwStatus::Complete, {2, 3}},
        TDecodeCase{"CodeBeyondTable", 2, {{4, 3}, {1, 3}, {7, 3}, {5, 3}}, 5, TGifLzwStatus::Damaged, {1}},
        TDecodeCase{"FirstCodeAfterClearNotAPixel", 2, {{4, 3}, {6, 3}}, 5, TGifLzwStatus::Damaged, {}},
        TDecodeCase{"EarlyEndCode", 2, {{4, 3}, {3, 3}, {2, 3}, {5, 3}}, 5, TGifLzwStatus::Incomplete, {3, 2}},
        TDecodeCase{"DataRunsOut", 8, {{256, 9}, {65, 9}, {66, 9}}, 10, TGifLzwStatus::Incomplete, {65, 66}},
        TDecodeCase{"OutputCutsAString", 2, {{4, 3}, {0, 3}, {6, 3}, {6, 3}, {5, 4}}, 4, TGifLzwStatus::Complete,
                    {0, 0, 0, 0}},
        TDecodeCase{"ExtraCodesIgnored", 2, {{4, 3}, {0, 3}, {1, 3}, {7, 3}}, 2, TGifLzwStatus::Complete, {0, 1}},
        TDecodeCase{"MinCodeSizeZero", 0, {{1, 1}}, 1, TGifLzwStatus::Damaged, {}},
        TDecodeCase{"MinCodeSizeNine", 9, {{512, 10}}, 1, TGifLzwStatus::Damaged, {}}),
    [](const testing::TestParamInfo<TDecodeCase>& info) { return std::string(info.param.Name); });

TEST(GifLzw, DecoderKeepsAFullTableUntilTheNextClear) {
    // Literals fill the table up to code 4095; without a clear code the stream
    // goes on at 12 bits using the table as it stands.
    const int clear = 256;
    TCodePacker packer;
    std::vector<uint8_t> expected;
    packer.put(clear, 9);
    int next = clear + 2;
    int width = 9;
    bool first = true;
    while (next < 4096) {
        const int literal = static_cast<int>(expected.size() % 251);
        packer.put(literal, width);
        expected.push_back(static_cast<uint8_t>(literal));
        if (!first) ++next;
        first = false;
        if (next >= (1 << width) && width < 12) ++width;
    }
    ASSERT_EQ(width, 12);
    // Code 258 is the string of the first two literals; 4095 the last two.
    packer.put(258, 12);
    expected.insert(expected.end(), {expected[0], expected[1]});
    const size_t n = expected.size();
    packer.put(4095, 12);
    expected.insert(expected.end(), {expected[n - 4], expected[n - 3]});
    packer.put(clear + 1, 12);

    std::vector<uint8_t> out(expected.size());
    const TGifLzwResult r = DecodeGifLzw(packer.bytes.data(), packer.bytes.size(), 8, out.data(), out.size());
    EXPECT_EQ(r.Status, TGifLzwStatus::Complete);
    EXPECT_EQ(out, expected);
}

TEST(GifLzw, DecoderSurvivesRandomStreams) {
    std::mt19937 rng(99);
    for (int round = 0; round < 200; ++round) {
        std::vector<uint8_t> data(rng() % 300);
        for (auto& b : data) b = static_cast<uint8_t>(rng());
        std::vector<uint8_t> out(rng() % 2000);
        const int minCodeSize = 1 + static_cast<int>(rng() % 8);
        const TGifLzwResult r = DecodeGifLzw(data.data(), data.size(), minCodeSize, out.data(), out.size());
        EXPECT_LE(r.Decoded, out.size());
        if (r.Status == TGifLzwStatus::Complete) EXPECT_EQ(r.Decoded, out.size());
        else EXPECT_LT(r.Decoded, out.size());
    }
}

}  // namespace
