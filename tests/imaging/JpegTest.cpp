// JPEG reading and writing: the marker list, the writer's settings and
// segment order, the reader's fields, scaled decoding, damaged input, and
// interoperability with djpeg/cjpeg and ImageMagick in both directions.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "PictureFiles.h"
#include "imaging/ImageIO.h"
#include "imaging/Stream.h"
#include "imaging/formats/jpeg/JpegReader.h"
#include "imaging/formats/jpeg/JpegWriter.h"
#include "imaging/formats/jpeg/MarkerList.h"
#include "support/TestSupport.h"

using namespace picturefiles;
using namespace std::string_literals;

namespace {

std::vector<uint8_t> bytesOf(std::string_view text)
{
    return std::vector<uint8_t>(text.begin(), text.end());
}

std::vector<uint8_t> iccChunk(int sequence, int count, std::string_view payload)
{
    std::vector<uint8_t> data = bytesOf(std::string_view("ICC_PROFILE\0", 12));
    data.push_back(uint8_t(sequence));
    data.push_back(uint8_t(count));
    data.insert(data.end(), payload.begin(), payload.end());
    return data;
}

std::vector<uint8_t> encode(TImageBuffer& picture, const TImageParams& params)
{
    TImageIO io;
    TMemoryStream out;
    EXPECT_TRUE(WriteJpeg(out, picture, params, io));
    EXPECT_FALSE(io.Aborting);
    return out.TakeBytes();
}

std::vector<uint8_t> encode(TImageBuffer& picture)
{
    TImageParams params;
    return encode(picture, params);
}

// Reads `bytes` with the reader; `io` keeps the picture and parameters.
bool decode(const std::vector<uint8_t>& bytes, TImageIO& io, bool paramsOnly = false)
{
    TMemoryView in(bytes.data(), bytes.size());
    io.Aborting = false;
    return ReadJpeg(in, *io.Buffer(), io.Params, paramsOnly, io);
}

void expectSamePixels(const TRaster& expected, const TRaster& actual, int tolerance = 0)
{
    ASSERT_EQ(expected.width, actual.width);
    ASSERT_EQ(expected.height, actual.height);
    ASSERT_EQ(expected.channels, actual.channels);
    size_t worstAt = 0;
    int worst = worstDifference(expected, actual, &worstAt);
    size_t pixel = worstAt / size_t(expected.channels);
    EXPECT_LE(worst, tolerance) << "at x=" << pixel % size_t(expected.width) << " y=" << pixel / size_t(expected.width);
}

double meanDifference(const TRaster& a, const TRaster& b)
{
    double sum = 0;
    for (size_t i = 0; i < a.samples.size() && i < b.samples.size(); ++i)
        sum += std::abs(int(a.samples[i]) - int(b.samples[i]));
    return a.samples.empty() ? 0 : sum / double(a.samples.size());
}

// djpeg's decoding of a file, with the fast DCT like our default.
TRaster djpeg(const testsupport::TempDir& dir, const std::string& jpeg, const std::string& options = "")
{
    std::string out = dir.file("djpeg.pnm");
    EXPECT_EQ(0, testsupport::runCommand("djpeg -dct fast " + options + " -outfile " + shellQuoted(out) + " " + shellQuoted(jpeg)));
    TRaster r;
    EXPECT_TRUE(readNetpbm(out, r));
    return r;
}

// The picture decoded as RGB (channels 3) when the file is gray.
TRaster asRgb(const TRaster& gray)
{
    if (gray.channels != 1)
        return gray;
    TRaster rgb = gray;
    rgb.channels = 3;
    rgb.samples.clear();
    for (uint16_t v : gray.samples)
        rgb.samples.insert(rgb.samples.end(), {v, v, v});
    return rgb;
}

}  // namespace

// ---------------------------------------------------------------- marker list

TEST(JpegMarkerList, SortPutsSegmentsInWritingOrder)
{
    TMarkerList list;
    list.Add(JpegMarkerCom, bytesOf("comment"));
    list.Add(JpegMarkerApp2, iccChunk(2, 2, "second"));
    list.Add(JpegMarkerApp1, bytesOf("http://ns.adobe.com/xap/1.0/"));
    list.Add(JpegMarkerApp13, bytesOf("Photoshop 3.0"));
    list.Add(JpegMarkerApp2, bytesOf("FPXR other"));
    list.Add(JpegMarkerApp1, bytesOf(std::string_view("Exif\0\0first", 11)));
    list.Add(JpegMarkerApp2, iccChunk(1, 2, "first"));
    list.Add(JpegMarkerApp1, bytesOf(std::string_view("Exif\0\0second", 12)));

    list.SortForWriting();

    std::vector<std::string> order;
    for (const TMarker& m : list)
        order.push_back(std::to_string(m.Marker) + ":" + std::string(m.Data.begin(), m.Data.begin() + 6));
    std::vector<std::string> expected = {
        "225:Exif\0\0"s, "225:http:/", "225:Exif\0\0"s, "226:ICC_PR", "226:FPXR o", "226:ICC_PR", "237:Photos",
        "254:commen",
    };
    ASSERT_EQ(order.size(), expected.size());
    for (size_t i = 0; i < order.size(); ++i)
        EXPECT_EQ(order[i], expected[i]) << "entry " << i;
    // The first EXIF block leads; the later one keeps its place after XMP.
    EXPECT_EQ(list[0].Data.back(), 't');
    EXPECT_EQ(list[2].Data.back(), 'd');
    // ICC chunks by sequence, in the slots ICC chunks had.
    EXPECT_EQ(list[3].Data[12], 1);
    EXPECT_EQ(list[5].Data[12], 2);
}

TEST(JpegMarkerList, IndexInsertAndDelete)
{
    TMarkerList list;
    list.Add(JpegMarkerApp1, bytesOf("http://ns.adobe.com/xap/1.0/"));
    list.Add(JpegMarkerApp1, bytesOf("Exif"));
    EXPECT_EQ(list.IndexOf(JpegMarkerApp1, "Exif"), 1);
    EXPECT_EQ(list.IndexOf(JpegMarkerApp1), 0);
    EXPECT_EQ(list.IndexOf(JpegMarkerApp1, "", 1), 1);
    EXPECT_EQ(list.IndexOf(JpegMarkerApp2), -1);
    list.Insert(99, JpegMarkerCom, bytesOf("x"));
    EXPECT_EQ(list[2].Marker, JpegMarkerCom);
    list.Delete(0);
    list.Delete(7);
    ASSERT_EQ(list.Count(), 2);
    EXPECT_TRUE(list[0].StartsWith("Exif"));
}

TEST(JpegMarkerList, IccProfileJoinsWholeProfilesOnly)
{
    struct Case {
        const char* name;
        std::vector<std::vector<uint8_t>> chunks;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"in order", {iccChunk(1, 2, "abc"), iccChunk(2, 2, "def")}, "abcdef"},
        {"reversed", {iccChunk(2, 3, "3"), iccChunk(3, 3, "4"), iccChunk(1, 3, "12")}, "1234"},
        {"single", {iccChunk(1, 1, "whole")}, "whole"},
        {"missing chunk", {iccChunk(1, 3, "a"), iccChunk(3, 3, "c")}, ""},
        {"repeated chunk", {iccChunk(1, 2, "a"), iccChunk(1, 2, "a")}, ""},
        {"counts disagree", {iccChunk(1, 2, "a"), iccChunk(2, 3, "b")}, ""},
        {"sequence zero", {iccChunk(0, 1, "a")}, ""},
        {"none", {}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TMarkerList list;
        list.Add(JpegMarkerApp1, bytesOf("Exif"));
        for (const auto& chunk : c.chunks)
            list.Add(JpegMarkerApp2, chunk);
        std::vector<uint8_t> profile = JoinIccProfile(list);
        EXPECT_EQ(std::string(profile.begin(), profile.end()), c.expected);
    }
}

TEST(JpegStart, FoundOnlyInTheFirstHundredBytes)
{
    for (int offset : {0, 1, 57, 99, 100, 150}) {
        SCOPED_TRACE(offset);
        std::vector<uint8_t> data(size_t(offset), 0x20);
        data.insert(data.end(), {0xFF, 0xD8, 0xFF, 0xE0});
        TMemoryView in(data.data(), data.size());
        bool found = FindJpegStart(in);
        EXPECT_EQ(found, offset < 100);
        EXPECT_EQ(in.Position(), found ? offset : 0);
    }
    std::vector<uint8_t> tiny = {0xFF, 0xD8};
    TMemoryView in(tiny.data(), tiny.size());
    EXPECT_FALSE(FindJpegStart(in));
}

// ---------------------------------------------------------------- writing

TEST(JpegWrite, DefaultsGiveBaselineYCbCrQuality80At300DpiWithJfif)
{
    auto picture = makePhoto(64, 48);
    std::vector<uint8_t> file = encode(*picture);
    auto segments = jpegSegments(file);
    ASSERT_FALSE(segments.empty());

    const TSegment& jfif = segments[0];
    ASSERT_EQ(jfif.marker, 0xE0);
    ASSERT_GE(jfif.data.size(), 12u);
    EXPECT_EQ(std::memcmp(jfif.data.data(), "JFIF", 5), 0);
    EXPECT_EQ(jfif.data[7], 1) << "density in dots per inch";
    EXPECT_EQ(jfif.data[8] << 8 | jfif.data[9], 300);
    EXPECT_EQ(jfif.data[10] << 8 | jfif.data[11], 300);
    EXPECT_EQ(findSegment(segments, 0xEE), -1) << "no Adobe segment in a YCbCr file";

    int sof = findSegment(segments, 0xC0);
    ASSERT_GE(sof, 0) << "baseline frame";
    EXPECT_EQ(findSegment(segments, 0xC2), -1);
    const auto& frame = segments[size_t(sof)].data;
    EXPECT_EQ(frame[1] << 8 | frame[2], 48);
    EXPECT_EQ(frame[3] << 8 | frame[4], 64);
    ASSERT_EQ(frame[5], 3);
    EXPECT_EQ(frame[6], 1) << "JFIF component ids: Y, Cb, Cr";
    EXPECT_EQ(frame[7], 0x22) << "chroma subsampled 2x2";

    // Quality 80 scales the standard luminance table by 40 %: 16 -> 6.
    int dqt = findSegment(segments, 0xDB);
    ASSERT_GE(dqt, 0);
    EXPECT_EQ(segments[size_t(dqt)].data[0], 0) << "8-bit baseline table";
    EXPECT_EQ(segments[size_t(dqt)].data[1], 6);
}

TEST(JpegWrite, CodedDataMatchesCjpegWithFastDctAndQuality80)
{
    REQUIRE_TOOL("cjpeg");
    testsupport::TempDir dir;
    auto picture = makePhoto(97, 61);
    writePpm(dir.file("in.ppm"), *picture);
    auto tail = [](const std::vector<uint8_t>& file) {
        // Everything from the first quantisation table on: the header
        // segments before it differ only in the JFIF density.
        for (size_t i = 0; i + 1 < file.size(); ++i)
            if (file[i] == 0xFF && file[i + 1] == 0xDB)
                return std::vector<uint8_t>(file.begin() + long(i), file.end());
        return std::vector<uint8_t>();
    };
    std::vector<uint8_t> ours = tail(encode(*picture));
    for (const char* dct : {"fast", "int"}) {
        SCOPED_TRACE(dct);
        std::string ref = dir.file(std::string("ref-") + dct + ".jpg");
        ASSERT_EQ(0, testsupport::runCommand(std::string("cjpeg -dct ") + dct + " -quality 80 -outfile " + shellQuoted(ref) +
                                             " " + shellQuoted(dir.file("in.ppm"))));
        std::vector<uint8_t> theirs = tail(readBytes(ref));
        ASSERT_FALSE(theirs.empty());
        if (std::string(dct) == "fast") {
            EXPECT_TRUE(ours == theirs) << "same tables and same coded data as cjpeg -dct fast -quality 80";
        } else {
            EXPECT_FALSE(ours == theirs) << "the accurate DCT codes differently, so the check above means something";
        }
    }
}

TEST(JpegWrite, SettingsReachTheFile)
{
    auto picture = makePhoto(40, 30);
    struct Case {
        const char* name;
        void (*set)(TImageParams&);
        uint8_t sof;
        int components;
        bool adobe;
        bool jfif;
        int densityX, densityY;
    };
    const std::vector<Case> cases = {
        {"progressive", [](TImageParams& p) { p.JpegProgressive = true; }, 0xC2, 3, false, true, 300, 300},
        {"gray", [](TImageParams& p) { p.JpegColorSpace = 1; }, 0xC0, 1, false, true, 300, 300},
        {"rgb", [](TImageParams& p) { p.JpegColorSpace = 0; }, 0xC0, 3, true, false, 0, 0},
        {"cmyk", [](TImageParams& p) { p.JpegColorSpace = 3; }, 0xC0, 4, true, true, 300, 300},
        {"ycck", [](TImageParams& p) { p.JpegColorSpace = 4; }, 0xC0, 4, true, false, 0, 0},
        {"own density", [](TImageParams& p) { p.SetDpiX(72); p.SetDpiY(96); }, 0xC0, 3, false, true, 72, 96},
        {"zero density", [](TImageParams& p) { p.DpiX = 0; p.DpiY = 0; }, 0xC0, 3, false, true, 300, 300},
        {"optimal huffman", [](TImageParams& p) { p.JpegOptimalHuffman = true; }, 0xC0, 3, false, true, 300, 300},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TImageParams params;
        c.set(params);
        auto segments = jpegSegments(encode(*picture, params));
        int sof = findSegment(segments, c.sof);
        ASSERT_GE(sof, 0);
        EXPECT_EQ(segments[size_t(sof)].data[5], c.components);
        EXPECT_EQ(findSegment(segments, 0xEE) >= 0, c.adobe);
        int jfif = findSegment(segments, 0xE0);
        EXPECT_EQ(jfif >= 0, c.jfif);
        if (jfif >= 0 && c.jfif) {
            const auto& d = segments[size_t(jfif)].data;
            EXPECT_EQ(d[8] << 8 | d[9], c.densityX);
            EXPECT_EQ(d[10] << 8 | d[11], c.densityY);
        }
    }
}

TEST(JpegWrite, HigherQualityAndOptimalTablesChangeTheSize)
{
    auto picture = makePhoto(120, 90);
    TImageParams params;
    size_t q80 = encode(*picture, params).size();
    params.JpegQuality = 100;
    size_t q100 = encode(*picture, params).size();
    params.JpegOptimalHuffman = true;
    size_t q100opt = encode(*picture, params).size();
    params.JpegQuality = 80;
    size_t q80opt = encode(*picture, params).size();
    EXPECT_GT(q100opt, q80);
    EXPECT_GT(q100, q100opt) << "optimal tables are never larger";
    EXPECT_LT(q80opt, q80);
    params.JpegOptimalHuffman = false;
    params.JpegSmooth = 60;
    EXPECT_NE(encode(*picture, params).size(), q80) << "smoothing changes the coded picture";
}

TEST(JpegWrite, OtherPixelFormatsAreWrittenAsTheirColours)
{
    auto colour = makePhoto(32, 16);
    TImageBuffer gray;
    gray.Assign(*colour);
    ASSERT_TRUE(gray.ConvertTo(px8g));
    TImageBuffer asRgb;
    asRgb.Assign(gray);
    ASSERT_TRUE(asRgb.ConvertTo(px24RGB));
    EXPECT_EQ(encode(gray), encode(asRgb));
}

TEST(JpegWrite, FailuresSetTheAbortFlagOrThrow)
{
    TImageIO io;
    TImageParams params;
    TMemoryStream out;
    TImageBuffer empty;
    EXPECT_FALSE(WriteJpeg(out, empty, params, io));
    EXPECT_TRUE(io.Aborting);
    EXPECT_EQ(out.Size(), 0);

    // A stream that takes 1000 bytes and then fails.
    class TShortStream : public TMemoryStream {
    public:
        size_t Write(const void* buf, size_t n) override
        {
            if (Size() + int64_t(n) > 1000)
                return 0;
            return TMemoryStream::Write(buf, n);
        }
    } shortStream;
    auto big = makePhoto(600, 400);
    io.Aborting = false;
    EXPECT_FALSE(WriteJpeg(shortStream, *big, params, io));
    EXPECT_TRUE(io.Aborting);

    // Wider than a JPEG can be: the library's error reaches the caller.
    TImageBuffer wide(70000, 1, px24RGB);
    ASSERT_FALSE(wide.IsEmpty());
    io.Aborting = false;
    TMemoryStream out2;
    EXPECT_THROW(WriteJpeg(out2, wide, params, io), EIEJpegException);
    EXPECT_TRUE(io.Aborting);

    // Through the save operations too, and no half-written file stays.
    {
        testsupport::TempDir dir;
        TImageIO saver;
        ASSERT_TRUE(saver.Buffer()->Assign(wide));
        const std::string path = dir.file("wide.jpg");
        EXPECT_THROW(saver.SaveToFile(path), EImageWriteError);
        EXPECT_TRUE(saver.Aborting);
        EXPECT_FALSE(std::filesystem::exists(path));
        TMemoryStream memory;
        EXPECT_THROW(saver.SaveToStreamJpeg(memory), EIEJpegException);
    }

    // An abort request from the progress event stops the writer.
    io.Aborting = false;
    io.OnProgress = [&](int percent) {
        if (percent >= 10)
            io.Aborting = true;
    };
    TMemoryStream out3;
    EXPECT_FALSE(WriteJpeg(out3, *big, params, io));
    EXPECT_TRUE(io.Aborting);
}

// ---------------------------------------------------------------- reading

TEST(JpegRead, FieldsOfOurOwnFile)
{
    auto picture = makePhoto(50, 20);
    TImageParams params;
    params.SetDpiX(150);
    params.SetDpiY(200);
    TImageIO io;
    ASSERT_TRUE(decode(encode(*picture, params), io));
    EXPECT_EQ(io.Params.Width, 50);
    EXPECT_EQ(io.Params.Height, 20);
    EXPECT_EQ(io.Params.JpegOriginalWidth, 50);
    EXPECT_EQ(io.Params.JpegOriginalHeight, 20);
    EXPECT_EQ(io.Params.DpiX, 150);
    EXPECT_EQ(io.Params.DpiY, 200);
    EXPECT_EQ(io.Params.JpegColorSpace, 2);
    EXPECT_EQ(io.Params.SamplesPerPixel, 3);
    EXPECT_EQ(io.Params.BitsPerSample, 8);
    EXPECT_FALSE(io.Params.JpegProgressive);
    EXPECT_EQ(io.Params.JpegScaleUsed, 1);
    EXPECT_TRUE(io.Params.JpegMarkers.Empty()) << "the JFIF segment is not kept";
    EXPECT_EQ(io.Buffer()->PixelFormat(), px24RGB);
    EXPECT_LT(meanDifference(rasterOf(*picture), rasterOf(*io.Buffer())), 10.0) << "a coarse check: swapped channels would be far off";
}

TEST(JpegRead, DensityUnitsGiveDotsPerInch)
{
    struct Case {
        int unit, x, y;
        int dpiX, dpiY;
    };
    // 28 dots per centimetre are 71.12 dots per inch, truncated.
    const std::vector<Case> cases = {
        {2, 28, 28, 71, 71}, {2, 118, 40, 299, 101}, {1, 72, 96, 72, 96}, {0, 72, 72, 72, 72},
        {0, 1, 1, 300, 300}, {1, 0, 0, 300, 300},
    };
    auto picture = makePhoto(16, 16);
    std::vector<uint8_t> file = encode(*picture);
    // SOI, APP0 marker and length, "JFIF\0", version: the unit is byte 13.
    ASSERT_EQ(file[13], 1);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.unit) + " " + std::to_string(c.x) + "x" + std::to_string(c.y));
        file[13] = uint8_t(c.unit);
        file[14] = uint8_t(c.x >> 8);
        file[15] = uint8_t(c.x);
        file[16] = uint8_t(c.y >> 8);
        file[17] = uint8_t(c.y);
        TImageIO io;
        ASSERT_TRUE(decode(file, io, true));
        EXPECT_EQ(io.Params.DpiX, c.dpiX);
        EXPECT_EQ(io.Params.DpiY, c.dpiY);
    }
}

TEST(JpegRead, ScaledDecodingMatchesDjpeg)
{
    REQUIRE_TOOL("djpeg");
    testsupport::TempDir dir;
    auto picture = makePhoto(203, 150);
    writeBytes(dir.file("photo.jpg"), encode(*picture));
    std::vector<uint8_t> file = readBytes(dir.file("photo.jpg"));
    struct Case {
        int scale;
        int wantW, wantH;
        int used;
    };
    const std::vector<Case> cases = {
        {1, 0, 0, 1}, {2, 0, 0, 2}, {3, 0, 0, 4}, {4, 0, 0, 8},
        // automatic: the largest reduction still covering the size asked for
        // (libjpeg rounds up: 1/8 of 203 x 150 is 26 x 19)
        {0, 0, 0, 8}, {0, 26, 19, 8}, {0, 27, 19, 4}, {0, 26, 20, 4}, {0, 51, 38, 4}, {0, 52, 10, 2},
        {0, 102, 75, 2}, {0, 103, 75, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("scale " + std::to_string(c.scale) + " want " + std::to_string(c.wantW) + "x" +
                     std::to_string(c.wantH));
        TImageIO io;
        io.Params.JpegScale = uint8_t(c.scale);
        io.Params.Width = c.wantW;
        io.Params.Height = c.wantH;
        ASSERT_TRUE(decode(file, io));
        EXPECT_EQ(io.Params.JpegScaleUsed, c.used);
        EXPECT_EQ(io.Params.JpegOriginalWidth, 203);
        EXPECT_EQ(io.Params.Width, (203 + c.used - 1) / c.used);
        EXPECT_EQ(io.Params.Height, (150 + c.used - 1) / c.used);
        expectSamePixels(djpeg(dir, dir.file("photo.jpg"), "-scale 1/" + std::to_string(c.used)),
                         rasterOf(*io.Buffer()));
    }
}

TEST(JpegRead, ParamsOnlyLeavesThePictureAlone)
{
    auto picture = makePhoto(33, 21);
    TImageParams params;
    params.JpegMarkers.Add(JpegMarkerCom, bytesOf("note"));
    TImageIO io;
    io.Params.JpegScale = 4;
    ASSERT_TRUE(decode(encode(*picture, params), io, true));
    EXPECT_TRUE(io.Buffer()->IsEmpty());
    EXPECT_EQ(io.Params.Width, 33) << "the size stored in the file";
    EXPECT_EQ(io.Params.Height, 21);
    EXPECT_EQ(io.Params.JpegScaleUsed, 8);
    ASSERT_EQ(io.Params.JpegMarkers.Count(), 1);
    EXPECT_EQ(io.Params.JpegMarkers[0].Data, bytesOf("note"));
}

TEST(JpegRead, MarkersSurviveLoadAndSaveInWritingOrder)
{
    // A file whose segments come in an unusual order: build it from one of
    // ours by splicing segments in after the JFIF segment.
    auto picture = makePhoto(24, 24);
    std::vector<uint8_t> plain = encode(*picture);
    const size_t afterJfif = 2 + 2 + 16;
    auto segment = [](uint8_t marker, const std::vector<uint8_t>& data) {
        std::vector<uint8_t> s = {0xFF, marker, uint8_t((data.size() + 2) >> 8), uint8_t(data.size() + 2)};
        s.insert(s.end(), data.begin(), data.end());
        return s;
    };
    const std::vector<std::pair<uint8_t, std::vector<uint8_t>>> inFile = {
        {JpegMarkerCom, bytesOf("first comment")},
        {JpegMarkerApp2, iccChunk(2, 2, "PROFILE-B")},
        {JpegMarkerApp1, bytesOf(std::string_view("http://ns.adobe.com/xap/1.0/\0<x/>", 33))},
        {JpegMarkerApp13, bytesOf(std::string_view("Photoshop 3.0\08BIM", 18))},
        {JpegMarkerApp1, bytesOf(std::string_view("Exif\0\0II*\0", 10))},
        {JpegMarkerApp14, bytesOf("Adobe\0\x64\0\0\0\0\x01")},
        {JpegMarkerApp2, iccChunk(1, 2, "PROFILE-A")},
        {JpegMarkerCom, bytesOf("second comment")},
    };
    std::vector<uint8_t> file(plain.begin(), plain.begin() + long(afterJfif));
    for (const auto& [marker, data] : inFile) {
        auto s = segment(marker, data);
        file.insert(file.end(), s.begin(), s.end());
    }
    file.insert(file.end(), plain.begin() + long(afterJfif), plain.end());

    TImageIO io;
    ASSERT_TRUE(decode(file, io));
    ASSERT_EQ(io.Params.JpegMarkers.Count(), int(inFile.size()));
    for (size_t i = 0; i < inFile.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(io.Params.JpegMarkers[int(i)].Marker, inFile[i].first) << "file order";
        EXPECT_EQ(io.Params.JpegMarkers[int(i)].Data, inFile[i].second);
    }
    EXPECT_EQ(std::string(io.Params.IccProfile.begin(), io.Params.IccProfile.end()), "PROFILE-APROFILE-B");

    TMemoryStream saved;
    ASSERT_TRUE(WriteJpeg(saved, *io.Buffer(), io.Params, io));
    auto segments = jpegSegments(saved.Bytes());
    std::vector<std::pair<uint8_t, std::string>> written;
    for (const TSegment& s : segments)
        if ((s.marker >= 0xE0 && s.marker <= 0xEF) || s.marker == 0xFE)
            written.push_back({s.marker, std::string(s.data.begin(), s.data.begin() + std::min<size_t>(s.data.size(), 14))});
    const std::vector<std::pair<uint8_t, std::string>> expected = {
        {0xE0, std::string("JFIF\0\x01\x01\x01\x01\x2c\x01\x2c\0\0", 14)},
        {0xE1, std::string("Exif\0\0II*\0", 10)},
        {0xE1, "http://ns.ado"},
        {0xE2, std::string("ICC_PROFILE\0\x01\x02", 14)},
        {0xE2, std::string("ICC_PROFILE\0\x02\x02", 14)},
        {0xED, std::string("Photoshop 3.0\0", 14)},
        {0xFE, "first comment"},
        {0xFE, "second comment"},
    };
    ASSERT_EQ(written.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(written[i].first, expected[i].first);
        EXPECT_EQ(written[i].second.substr(0, expected[i].second.size()), expected[i].second);
    }
}

TEST(JpegRead, GrayFileLoadsAsEqualChannelsAndSavesGrayAgain)
{
    auto picture = makeGrayPhoto(40, 30);
    TImageParams params;
    params.JpegColorSpace = 1;
    std::vector<uint8_t> file = encode(*picture, params);

    TImageIO io;
    ASSERT_TRUE(decode(file, io));
    EXPECT_EQ(io.Params.JpegColorSpace, 1);
    EXPECT_EQ(io.Params.SamplesPerPixel, 1);
    ASSERT_EQ(io.Buffer()->PixelFormat(), px24RGB);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) {
            TRGB c = io.Buffer()->GetPixelRGB(x, y);
            ASSERT_TRUE(c.r == c.g && c.g == c.b) << x << "," << y;
        }
    // A colour edit does not make the next save a colour file.
    io.Buffer()->SetPixelRGB(3, 3, TRGB{0, 0, 255});
    TMemoryStream saved;
    ASSERT_TRUE(WriteJpeg(saved, *io.Buffer(), io.Params, io));
    auto segments = jpegSegments(saved.Bytes());
    int sof = findSegment(segments, 0xC0);
    ASSERT_GE(sof, 0);
    EXPECT_EQ(segments[size_t(sof)].data[5], 1);

    TImageIO native;
    native.SetNativePixelFormat(true);
    ASSERT_TRUE(decode(file, native));
    EXPECT_EQ(native.Buffer()->PixelFormat(), px8g);
    for (int x = 0; x < 40; ++x)
        EXPECT_EQ(native.Buffer()->RowPointer(7)[x], io.Buffer()->RowPointer(7)[x * 3]);
}

TEST(JpegRead, CmykRoundTripKeepsInkAndColours)
{
    auto picture = makePhoto(48, 32);
    TImageParams params;
    params.JpegColorSpace = 3;
    params.JpegQuality = 100;
    std::vector<uint8_t> file = encode(*picture, params);

    TImageIO io;
    ASSERT_TRUE(decode(file, io));
    EXPECT_EQ(io.Params.JpegColorSpace, 3);
    EXPECT_EQ(io.Params.SamplesPerPixel, 4);
    ASSERT_EQ(io.Buffer()->PixelFormat(), px24RGB);
    EXPECT_LT(meanDifference(rasterOf(*picture), rasterOf(*io.Buffer())), 3.0);

    TImageIO native;
    native.SetNativePixelFormat(true);
    ASSERT_TRUE(decode(file, native));
    ASSERT_EQ(native.Buffer()->PixelFormat(), pxCMYK);
    // Black stays full black ink, white no ink at all.
    auto black = std::make_unique<TImageBuffer>(16, 16, px24RGB);
    black->Fill(0);
    black->FillRect(8, 0, 15, 15, 0xFFFFFF);
    TImageIO bw;
    bw.SetNativePixelFormat(true);
    ASSERT_TRUE(decode(encode(*black, params), bw));
    const uint8_t* row = bw.Buffer()->RowPointer(4);
    EXPECT_NEAR(row[1 * 4 + 3], 255, 2);
    EXPECT_NEAR(row[1 * 4 + 0], 0, 2);
    EXPECT_NEAR(row[14 * 4 + 3], 0, 2);
    EXPECT_NEAR(row[14 * 4 + 0], 0, 2);

    // Saving the CMYK buffer again keeps it CMYK, ink for ink.
    TMemoryStream again;
    ASSERT_TRUE(WriteJpeg(again, *native.Buffer(), native.Params, native));
    TImageIO back;
    back.SetNativePixelFormat(true);
    ASSERT_TRUE(decode(again.Bytes(), back));
    ASSERT_EQ(back.Buffer()->PixelFormat(), pxCMYK);
    double sum = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 48 * 4; ++x)
            sum += std::abs(back.Buffer()->RowPointer(y)[x] - native.Buffer()->RowPointer(y)[x]);
    EXPECT_LT(sum / (32 * 48 * 4), 3.0);
}

TEST(JpegRead, DamagedDataSetsTheAbortFlag)
{
    auto picture = makePhoto(64, 64);
    std::vector<uint8_t> file = encode(*picture);
    TImageIO whole;
    ASSERT_TRUE(decode(file, whole));

    // Cut inside the scan: the rows decoded before the cut are kept.
    std::vector<uint8_t> cut(file.begin(), file.begin() + long(file.size() * 2 / 3));
    TImageIO io;
    EXPECT_FALSE(decode(cut, io));
    EXPECT_TRUE(io.Aborting);
    ASSERT_EQ(io.Buffer()->Width(), 64);
    ASSERT_EQ(io.Buffer()->Height(), 64);
    // The first band of 16 rows lies well before the cut (its last row
    // already blends with the next band's colours).
    for (int y = 0; y < 15; ++y)
        EXPECT_EQ(std::memcmp(io.Buffer()->RowPointer(y), whole.Buffer()->RowPointer(y), 64 * 3), 0) << y;
    EXPECT_NE(std::memcmp(io.Buffer()->RowPointer(63), whole.Buffer()->RowPointer(63), 64 * 3), 0);
    EXPECT_GT(io.Params.JpegWarnings, 0);

    struct Case {
        const char* name;
        std::vector<uint8_t> data;
    };
    std::vector<uint8_t> noFrame(file.begin(), file.begin() + 20);
    std::vector<uint8_t> badTables = file;
    for (size_t i = 0; i + 1 < badTables.size(); ++i)
        if (badTables[i] == 0xFF && badTables[i + 1] == 0xC4) {  // huffman table: break its counts
            std::fill(badTables.begin() + long(i) + 5, badTables.begin() + long(i) + 21, 0xFF);
            break;
        }
    const std::vector<Case> cases = {
        {"empty", {}},
        {"not a jpeg", bytesOf("GIF89a this is not a jpeg at all, not even close to one")},
        {"header only", noFrame},
        {"broken huffman table", badTables},
        {"start of image only", {0xFF, 0xD8, 0xFF}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TImageIO bad;
        EXPECT_FALSE(decode(c.data, bad));
        EXPECT_TRUE(bad.Aborting);
    }
}

TEST(JpegRead, AbortRequestStopsAndKeepsTheRowsSoFar)
{
    auto picture = makePhoto(32, 100);
    std::vector<uint8_t> file = encode(*picture);
    TImageIO io;
    int calls = 0;
    io.OnProgress = [&](int percent) {
        ++calls;
        if (percent >= 50)
            io.Aborting = true;
    };
    EXPECT_FALSE(decode(file, io));
    EXPECT_TRUE(io.Aborting);
    EXPECT_EQ(io.Buffer()->Height(), 100);
    EXPECT_GT(calls, 10);
    const uint8_t* last = io.Buffer()->RowPointer(99);
    EXPECT_TRUE(std::all_of(last, last + 96, [](uint8_t v) { return v == 0; }));
}

// ---------------------------------------------------------------- other tools

TEST(JpegInterop, FilesWeWriteDecodeTheSameInDjpegAndImageMagick)
{
    REQUIRE_TOOL("djpeg");
    REQUIRE_TOOL("identify");
    testsupport::TempDir dir;
    auto picture = makePhoto(131, 77);
    struct Case {
        const char* name;
        uint8_t colorSpace;
        bool progressive;
        const char* identified;  // size, colour space, resolution
    };
    const std::vector<Case> cases = {
        {"ycbcr", 2, false, "131 77 sRGB 180 PixelsPerInch"},
        {"progressive", 2, true, "131 77 sRGB 180 PixelsPerInch"},
        {"gray", 1, false, "131 77 Gray 180 PixelsPerInch"},
        // RGB files carry an Adobe segment instead of JFIF, so no density
        {"rgb", 0, false, "131 77 sRGB 72 Undefined"},
        {"cmyk", 3, false, "131 77 CMYK 180 PixelsPerInch"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TImageParams params;
        params.JpegColorSpace = c.colorSpace;
        params.JpegProgressive = c.progressive;
        params.SetDpiX(180);
        params.SetDpiY(180);
        std::string path = dir.file(std::string(c.name) + ".jpg");
        writeBytes(path, encode(*picture, params));

        std::string info;
        ASSERT_EQ(0, testsupport::runCommand("identify -format '%w %h %[colorspace] %x %U' " + shellQuoted(path), &info));
        EXPECT_EQ(info, c.identified);

        TImageIO io;
        ASSERT_TRUE(decode(readBytes(path), io));
        if (c.colorSpace == 3) {
            // ImageMagick decodes with the accurate DCT.
            io.Params.JpegDctMethod = 0;
            ASSERT_TRUE(decode(readBytes(path), io));
            // ImageMagick turns CMYK into RGB with the same simple formula.
            ASSERT_EQ(0, testsupport::runCommand("convert " + shellQuoted(path) + " -colorspace sRGB " +
                                                 shellQuoted(dir.file("cmyk.ppm"))));
            TRaster theirs;
            ASSERT_TRUE(readNetpbm(dir.file("cmyk.ppm"), theirs));
            expectSamePixels(theirs, rasterOf(*io.Buffer()), 2);
        } else {
            expectSamePixels(asRgb(djpeg(dir, path)), rasterOf(*io.Buffer()));
        }
    }
}

TEST(JpegInterop, FilesOtherToolsWriteReadTheSame)
{
    REQUIRE_TOOL("cjpeg");
    REQUIRE_TOOL("djpeg");
    REQUIRE_TOOL("convert");
    testsupport::TempDir dir;
    auto picture = makePhoto(90, 70);
    writePpm(dir.file("in.ppm"), *picture);
    struct Case {
        const char* name;
        std::string command;
        uint8_t colorSpace;
        bool progressive;
    };
    const std::string in = shellQuoted(dir.file("in.ppm"));
    const std::vector<Case> cases = {
        {"cjpeg baseline", "cjpeg -quality 90 -outfile OUT " + in, 2, false},
        {"cjpeg progressive", "cjpeg -progressive -outfile OUT " + in, 2, true},
        {"cjpeg gray", "cjpeg -grayscale -outfile OUT " + in, 1, false},
        {"cjpeg rgb", "cjpeg -rgb -outfile OUT " + in, 0, false},
        {"cjpeg restart markers", "cjpeg -restart 2 -optimize -outfile OUT " + in, 2, false},
        {"cjpeg 4:4:4 arithmetic-free", "cjpeg -sample 1x1 -outfile OUT " + in, 2, false},
        {"imagemagick progressive", "convert " + in + " -interlace JPEG OUT", 2, true},
        // ImageMagick writes CMYK as YCCK (Adobe transform 2)
        {"imagemagick cmyk", "convert " + in + " -colorspace CMYK OUT", 4, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = dir.file("their.jpg");
        std::string command = c.command;
        command.replace(command.find("OUT"), 3, shellQuoted(path));
        ASSERT_EQ(0, testsupport::runCommand(command));
        TImageIO io;
        ASSERT_TRUE(decode(readBytes(path), io));
        EXPECT_EQ(io.Params.JpegColorSpace, c.colorSpace);
        EXPECT_EQ(io.Params.JpegProgressive, c.progressive);
        if (c.colorSpace == 4) {
            io.Params.JpegDctMethod = 0;  // as ImageMagick decodes
            ASSERT_TRUE(decode(readBytes(path), io));
            ASSERT_EQ(0, testsupport::runCommand("convert " + shellQuoted(path) + " -colorspace sRGB " +
                                                 shellQuoted(dir.file("their.ppm"))));
            TRaster theirs;
            ASSERT_TRUE(readNetpbm(dir.file("their.ppm"), theirs));
            expectSamePixels(theirs, rasterOf(*io.Buffer()), 2);
            EXPECT_LT(meanDifference(rasterOf(*picture), rasterOf(*io.Buffer())), 6.0);
        } else {
            expectSamePixels(asRgb(djpeg(dir, path)), rasterOf(*io.Buffer()));
        }
    }
}

// ---------------------------------------------------------------- through TImageIO

TEST(JpegFile, SaveLoadAndParameterReadsThroughTheImageObject)
{
    testsupport::TempDir dir;
    TImageIO io;
    auto picture = makePhoto(40, 24);
    ASSERT_TRUE(io.Buffer()->Assign(*picture));
    io.Params.JpegMarkers.Add(JpegMarkerCom, bytesOf("kept"));
    const std::string path = dir.file("Photo.JPG");
    ASSERT_TRUE(io.SaveToFile(path));
    EXPECT_EQ(io.Params.FileType, 3);
    EXPECT_EQ(io.Params.FileName, path);

    TImageIO loaded;
    ASSERT_TRUE(loaded.LoadFromFile(path));
    EXPECT_EQ(loaded.Params.FileType, 3);
    EXPECT_EQ(loaded.Buffer()->Width(), 40);
    ASSERT_EQ(loaded.Params.JpegMarkers.Count(), 1);

    TImageIO params;
    ASSERT_TRUE(params.ReadParamsFromFile(path));
    EXPECT_EQ(params.Params.FileType, 3);
    EXPECT_EQ(params.Params.Width, 40);
    EXPECT_EQ(params.Params.Height, 24);
    EXPECT_TRUE(params.Buffer()->IsEmpty());

    // Content and extension disagree: refused by a parameters read, read
    // by the JPEG loader.
    const std::string misnamed = dir.file("photo.png");
    writeBytes(misnamed, readBytes(path));
    TImageIO strict;
    EXPECT_FALSE(strict.ReadParamsFromFile(misnamed));
    EXPECT_EQ(strict.Params.FileType, 0);
    TImageIO jpeg;
    EXPECT_TRUE(jpeg.LoadFromFileJpeg(misnamed));
    EXPECT_EQ(jpeg.Buffer()->Height(), 24);

    // A broken file: FileType 0 after the read.
    writeBytes(dir.file("broken.jpg"), bytesOf("\xFF\xD8\xFF\xE0 broken"));
    TImageIO broken;
    EXPECT_FALSE(broken.LoadFromFile(dir.file("broken.jpg")));
    EXPECT_EQ(broken.Params.FileType, 0);
}
