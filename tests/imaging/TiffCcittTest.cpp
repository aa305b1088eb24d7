// CCITT bi-level coders: code tables, round trips of every mode, known code
// words and hostile data.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "imaging/formats/tiff/CcittFax.h"
#include "imaging/formats/tiff/CcittTables.h"

namespace {

using Bytes = std::vector<uint8_t>;
using tiff::CcittMode;

struct Bitmap {
    int width;
    int height;
    size_t stride;
    Bytes bits;
    Bitmap(int w, int h) : width(w), height(h), stride(size_t(w + 7) / 8), bits(stride * size_t(h), 0) {}
    void set(int x, int y) { bits[size_t(y) * stride + size_t(x >> 3)] |= uint8_t(0x80 >> (x & 7)); }
};

std::vector<std::pair<std::string, Bitmap>> samplePictures()
{
    std::vector<std::pair<std::string, Bitmap>> cases;
    cases.push_back({"all white", Bitmap(33, 5)});
    Bitmap black(17, 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 17; ++x) black.set(x, y);
    cases.push_back({"all black", black});
    Bitmap shapes(203, 61);
    for (int y = 0; y < 61; ++y)
        for (int x = 0; x < 203; ++x) {
            int dx = x - 100, dy = y - 30;
            if (dx * dx + dy * dy < 25 * 25 || (x / 9 + y / 7) % 5 == 0 || x == 202 || x == 0) shapes.set(x, y);
        }
    cases.push_back({"shapes", shapes});
    Bitmap noise(97, 40);
    std::mt19937 rng(99);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 97; ++x)
            if (rng() % 3 == 0) noise.set(x, y);
    cases.push_back({"noise", noise});
    // Rows wider than the largest make-up code, runs beyond 2560.
    Bitmap wide(6000, 3);
    for (int x = 2700; x < 5800; ++x) wide.set(x, 1);
    wide.set(5999, 2);
    cases.push_back({"wide", wide});
    // Vertical edges that drift by up to four pixels per row.
    Bitmap slant(120, 30);
    for (int y = 0; y < 30; ++y)
        for (int x = 10 + (y * 4) % 13; x < 60 + (y * 3) % 7; ++x) slant.set(x, y);
    cases.push_back({"slant", slant});
    return cases;
}

const std::pair<const char*, CcittMode> kModes[] = {
    {"modified Huffman", CcittMode::ModifiedHuffman},
    {"Group 3 1-D", CcittMode::Group3OneD},
    {"Group 3 2-D", CcittMode::Group3TwoD},
    {"Group 4", CcittMode::Group4},
};

// A code set is usable only when no word is the prefix of another.
void expectPrefixFree(const std::vector<std::string>& words)
{
    for (size_t i = 0; i < words.size(); ++i)
        for (size_t j = 0; j < words.size(); ++j)
            if (i != j) {
                EXPECT_NE(words[j].rfind(words[i], 0), 0u) << words[i] << " prefixes " << words[j];
            }
}

TEST(TiffCcitt, CodeTablesAreCompleteAndPrefixFree)
{
    for (bool black : {false, true}) {
        SCOPED_TRACE(black ? "black" : "white");
        const tiff::ccitt::RunCode* codes = black ? tiff::ccitt::kBlackCodes : tiff::ccitt::kWhiteCodes;
        size_t count = black ? tiff::ccitt::kBlackCodeCount : tiff::ccitt::kWhiteCodeCount;
        ASSERT_EQ(count, 64u + 27u);
        std::vector<std::string> words;
        for (size_t i = 0; i < count; ++i) {
            EXPECT_EQ(codes[i].run, i < 64 ? int(i) : int(i - 63) * 64);
            words.push_back(codes[i].bits);
        }
        for (size_t i = 0; i < tiff::ccitt::kSharedMakeupCount; ++i)
            words.push_back(tiff::ccitt::kSharedMakeupCodes[i].bits);
        words.push_back("000000000001");
        expectPrefixFree(words);
        // Kraft sum: the white and black codes leave only the space of the
        // invalid all-zero prefixes unused.
        double kraft = 0;
        for (const auto& w : words) kraft += 1.0 / double(1u << w.size());
        EXPECT_GT(kraft, 0.99);
        EXPECT_LE(kraft, 1.0);
    }
}

TEST(TiffCcitt, RoundTripsEveryModeAndPicture)
{
    for (const auto& [modeName, mode] : kModes) {
        for (const auto& [name, pic] : samplePictures()) {
            SCOPED_TRACE(std::string(modeName) + " / " + name);
            Bytes code;
            tiff::ccittEncode(mode, pic.bits.data(), pic.stride, pic.width, pic.height, code);
            Bitmap back(pic.width, pic.height);
            bool ok = false;
            int rows = tiff::ccittDecode(mode, code.data(), code.size(), pic.width, pic.height, back.bits.data(),
                                         back.stride, &ok);
            EXPECT_TRUE(ok);
            EXPECT_EQ(rows, pic.height);
            // Padding bits past the width stay white.
            for (size_t i = 0; i < back.bits.size(); ++i)
                ASSERT_EQ(back.bits[i] & ~pic.bits[i], 0) << "extra black at byte " << i;
            EXPECT_EQ(back.bits, pic.bits);
        }
    }
}

TEST(TiffCcitt, KnownCodeWords)
{
    // One row of 8 white pixels: white run 8 = 10011, padded.
    Bitmap white(8, 1);
    Bytes code;
    tiff::ccittEncode(CcittMode::ModifiedHuffman, white.bits.data(), white.stride, 8, 1, code);
    EXPECT_EQ(code, (Bytes{0x98}));

    // 2 white, 3 black, 3 white: 0111 10 1000 -> 0111 1010 00(00 0000)
    Bitmap mixed(8, 1);
    for (int x = 2; x < 5; ++x) mixed.set(x, 0);
    code.clear();
    tiff::ccittEncode(CcittMode::ModifiedHuffman, mixed.bits.data(), mixed.stride, 8, 1, code);
    EXPECT_EQ(code, (Bytes{0x7A, 0x00}));

    // Group 3 1-D: EOL then the row. 000000000001 10011 -> 0x00 0x19 0x80
    code.clear();
    tiff::ccittEncode(CcittMode::Group3OneD, white.bits.data(), white.stride, 8, 1, code);
    EXPECT_EQ(code, (Bytes{0x00, 0x19, 0x80}));

    // Group 4, all-white row under the white reference line: V0 then EOFB.
    code.clear();
    tiff::ccittEncode(CcittMode::Group4, white.bits.data(), white.stride, 8, 1, code);
    // 1 000000000001 000000000001 -> 1000 0000 0000 1000 0000 0000 1(000 0000)
    EXPECT_EQ(code, (Bytes{0x80, 0x08, 0x00, 0x80}));
}

TEST(TiffCcitt, Group3ToleratesFillBitsBeforeEol)
{
    // EOL preceded by fill zeros so that it ends on a byte boundary:
    // 0000 0000 | 0000 0001 | 10011 (8 white)
    const Bytes code = {0x00, 0x01, 0x98};
    Bitmap out(8, 1);
    bool ok = false;
    EXPECT_EQ(tiff::ccittDecode(CcittMode::Group3OneD, code.data(), code.size(), 8, 1, out.bits.data(), out.stride,
                                &ok),
              1);
    EXPECT_TRUE(ok);
    EXPECT_EQ(out.bits[0], 0);
}

TEST(TiffCcitt, TruncatedAndHostileDataEndCleanly)
{
    auto pics = samplePictures();
    const Bitmap& pic = pics[2].second;
    for (const auto& [modeName, mode] : kModes) {
        SCOPED_TRACE(modeName);
        Bytes code;
        tiff::ccittEncode(mode, pic.bits.data(), pic.stride, pic.width, pic.height, code);
        code.resize(code.size() / 2);
        Bitmap back(pic.width, pic.height);
        bool ok = true;
        int rows = tiff::ccittDecode(mode, code.data(), code.size(), pic.width, pic.height, back.bits.data(),
                                     back.stride, &ok);
        EXPECT_FALSE(ok);
        EXPECT_LT(rows, pic.height);
        EXPECT_GT(rows, 0);
        // The rows reported as decoded are right.
        for (int y = 0; y < rows; ++y)
            for (size_t i = 0; i < pic.stride; ++i)
                ASSERT_EQ(back.bits[size_t(y) * pic.stride + i], pic.bits[size_t(y) * pic.stride + i]);

        std::mt19937 rng(5);
        for (int i = 0; i < 100; ++i) {
            Bytes junk(size_t(rng() % 300));
            for (auto& b : junk) b = uint8_t(rng());
            Bitmap out(50, 20);
            tiff::ccittDecode(mode, junk.data(), junk.size(), 50, 20, out.bits.data(), out.stride, &ok);
        }
    }
}

}  // namespace
