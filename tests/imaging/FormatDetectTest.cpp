// Format detection by content (in the fixed order of tests) and the strict
// rule that combines content and extension.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <fstream>
#include <vector>

#include "imaging/FormatDetect.h"
#include "imaging/FormatTable.h"
#include "imaging/ImageIO.h"
#include "imaging/Stream.h"
#include "support/TestSupport.h"

namespace {

std::vector<uint8_t> bytesOf(const char* text, size_t len, size_t padTo = 0)
{
    std::vector<uint8_t> v(text, text + len);
    if (v.size() < padTo)
        v.resize(padTo, 0);
    return v;
}

void put16le(std::vector<uint8_t>& v, size_t at, uint16_t x)
{
    v[at] = uint8_t(x);
    v[at + 1] = uint8_t(x >> 8);
}
void put32le(std::vector<uint8_t>& v, size_t at, uint32_t x)
{
    for (int i = 0; i < 4; ++i)
        v[at + size_t(i)] = uint8_t(x >> (8 * i));
}

// A little-endian TIFF with one directory of the given (tag, type, value) entries.
std::vector<uint8_t> tiff(const std::vector<std::array<uint32_t, 3>>& entries)
{
    std::vector<uint8_t> v(8 + 2 + 12 * entries.size() + 4 + 16, 0);
    v[0] = v[1] = 'I';
    put16le(v, 2, 42);
    put32le(v, 4, 8);
    put16le(v, 8, uint16_t(entries.size()));
    for (size_t i = 0; i < entries.size(); ++i) {
        size_t at = 10 + 12 * i;
        put16le(v, at, uint16_t(entries[i][0]));
        put16le(v, at + 2, uint16_t(entries[i][1]));
        put32le(v, at + 4, 1);
        if (entries[i][1] == 3)
            put16le(v, at + 8, uint16_t(entries[i][2]));
        else
            put32le(v, at + 8, entries[i][2]);
    }
    return v;
}

std::vector<uint8_t> smallBmp()
{
    TImageIO io;
    io.Buffer()->Allocate(4, 3, px24RGB);
    io.Buffer()->Fill(0x336699);
    TMemoryStream out;
    io.SaveToStreamBmp(out);
    return out.TakeBytes();
}

std::vector<uint8_t> iconLike(uint8_t type)
{
    std::vector<uint8_t> v(6 + 16 + 40, 0);
    v[2] = type;
    v[4] = 1;
    v[6] = 16;
    v[7] = 16;
    put32le(v, 14, 40);
    put32le(v, 18, 22);
    return v;
}

struct ContentCase {
    const char* name;
    std::vector<uint8_t> bytes;
    int expected;
};

std::vector<ContentCase> contentCases()
{
    std::vector<ContentCase> c;
    c.push_back({"gif", bytesOf("GIF89a", 6, 14), ffGIF});
    c.push_back({"gif too short", bytesOf("GIF89a", 6, 13), ffNone});
    c.push_back({"bmp", smallBmp(), ffBMP});
    c.push_back({"bm too short", bytesOf("BM", 2, 14), ffNone});
    c.push_back({"pcx", [] { auto v = bytesOf("\x0A\x05", 2, 129); return v; }(), ffPCX});
    c.push_back({"pcx bad version", [] { auto v = bytesOf("\x0A\x06", 2, 129); return v; }(), ffNone});
    c.push_back({"tiff", tiff({{256, 3, 640}, {257, 3, 480}}), ffTIFF});
    c.push_back({"tiff offset outside", [] { auto v = tiff({}); put32le(v, 4, 5000); return v; }(), ffNone});
    c.push_back({"dng", tiff({{256, 3, 640}, {50706, 1, 1}}), ffRAW});
    c.push_back({"cfa photometric", tiff({{262, 3, 32803}}), ffRAW});
    c.push_back({"linear raw", tiff({{262, 3, 34892}}), ffRAW});
    c.push_back({"raw with preview", tiff({{256, 3, 160}, {257, 3, 120}, {330, 4, 100}, {37398, 1, 1}}), ffRAW});
    c.push_back({"tiff/ep full size", tiff({{256, 3, 3000}, {257, 3, 2000}, {330, 4, 100}, {37398, 1, 1}}), ffTIFF});
    c.push_back({"png", bytesOf("\x89PNG\r\n\x1a\n", 8, 9), ffPNG});
    c.push_back({"dicom", [] { auto v = std::vector<uint8_t>(140, 0); std::memcpy(&v[128], "DICM", 4); return v; }(), ffDICOM});
    c.push_back({"icon", iconLike(1), ffICO});
    c.push_back({"cursor", iconLike(2), ffCUR});
    c.push_back({"targa", [] {
        std::vector<uint8_t> v(18 + 4 * 3, 0);
        v[2] = 2; put16le(v, 12, 2); put16le(v, 14, 2); v[16] = 24;
        return v; }(), ffTGA});
    c.push_back({"ppm", bytesOf("P6\n2 2\n255\n", 11, 23), ffPXM});
    c.push_back({"jpeg", bytesOf("\xFF\xD8\xFF\xE0", 4, 20), ffJPEG});
    c.push_back({"jpeg after junk", [] { auto v = std::vector<uint8_t>(200, 0x11); v[99] = 0xFF; v[100] = 0xD8; v[101] = 0xFF; return v; }(), ffJPEG});
    c.push_back({"jpeg too late", [] { auto v = std::vector<uint8_t>(200, 0x11); v[100] = 0xFF; v[101] = 0xD8; v[102] = 0xFF; return v; }(), ffNone});
    c.push_back({"jp2", bytesOf("\0\0\0\x0CjP  \r\n\x87\n", 12, 40), ffJP2});
    c.push_back({"j2k", bytesOf("\xFF\x4F\xFF\x51", 4, 40), ffJ2K});
    c.push_back({"avi", bytesOf("RIFF\0\0\0\0AVI LIST", 16), ffAVI});
    c.push_back({"dcx", bytesOf("\xB1\x68\xDE\x3A", 4, 20), ffDCX});
    c.push_back({"wmf", bytesOf("\xD7\xCD\xC6\x9A", 4, 40), ffWMF});
    c.push_back({"emf", [] { auto v = std::vector<uint8_t>(88, 0); v[0] = 1; std::memcpy(&v[40], " EMF", 4); return v; }(), ffEMF});
    c.push_back({"psd", bytesOf("8BPS\0\x01", 6, 40), ffPSD});
    c.push_back({"crw", bytesOf("II\x1A\0\0\0HEAPCCDR", 14, 40), ffRAW});
    c.push_back({"text", bytesOf("hello, world, this is text", 26), ffNone});
    c.push_back({"empty", {}, ffNone});
    return c;
}

TEST(FormatDetect, ContentTestsInOrder)
{
    for (const ContentCase& c : contentCases()) {
        SCOPED_TRACE(c.name);
        TMemoryView view(c.bytes.data(), c.bytes.size());
        EXPECT_EQ(DetectStreamFormat(view), c.expected);
    }
}

TEST(FormatDetect, RestoresTheStreamPosition)
{
    auto bytes = smallBmp();
    TMemoryView view(bytes.data(), bytes.size());
    view.Seek(7);
    EXPECT_EQ(DetectStreamFormat(view), ffBMP);
    EXPECT_EQ(view.Position(), 7);
}

TEST(FormatDetect, GifWinsOverLaterTestsAndJpegOverNothing)
{
    // A GIF header followed by JPEG bytes is a GIF: the first test that
    // matches decides.
    auto v = bytesOf("GIF89a\xFF\xD8\xFF", 9, 20);
    TMemoryView view(v.data(), v.size());
    EXPECT_EQ(DetectStreamFormat(view), ffGIF);
}

TEST(FormatDetect, CombiningContentAndExtension)
{
    struct Case {
        int content, ext;
        bool strict;
        int expected;
    } cases[] = {
        {ffJPEG, ffJPEG, true, ffJPEG},  {ffJPEG, ffPNG, true, ffNone},  {ffJPEG, ffPNG, false, ffJPEG},
        {ffJPEG, ffNone, true, ffNone},  {ffJPEG, ffNone, false, ffJPEG}, {ffNone, ffBMP, true, ffNone},
        {ffNone, ffBMP, false, ffBMP},   {ffTIFF, ffRAW, true, ffRAW},    {ffTIFF, ffRAW, false, ffRAW},
        {ffRAW, ffRAW, true, ffRAW},     {ffICO, ffCUR, true, ffCUR},     {ffCUR, ffICO, true, ffICO},
        {ffICO, ffNone, true, ffNone},   {ffTIFF, ffTIFF, true, ffTIFF},  {ffBMP, ffTIFF, true, ffNone},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.content << "/" << c.ext << "/" << c.strict);
        EXPECT_EQ(CombineDetection(c.content, c.ext, c.strict), c.expected);
    }
}

TEST(FormatDetect, FilesByContentAndExtension)
{
    testsupport::TempDir dir;
    auto write = [&](const std::string& name, const std::vector<uint8_t>& bytes) {
        std::ofstream(dir.file(name), std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return dir.file(name);
    };
    auto bmp = smallBmp();
    EXPECT_EQ(DetectFileFormat(write("a.bmp", bmp), true), ffBMP);
    EXPECT_EQ(DetectFileFormat(write("b.BMP", bmp), true), ffBMP);
    EXPECT_EQ(DetectFileFormat(write("c.dib", bmp), true), ffBMP);
    EXPECT_EQ(DetectFileFormat(write("d.png", bmp), true), ffNone);
    EXPECT_EQ(DetectFileFormat(dir.file("d.png"), false), ffBMP);
    EXPECT_EQ(DetectFileFormat(write("e.xyz", bmp), true), ffNone);
    EXPECT_EQ(DetectFileFormat(write("noext", bmp), true), ffNone);
    EXPECT_EQ(DetectFileFormat(write("f.cur", iconLike(1)), true), ffCUR);
    EXPECT_EQ(DetectFileFormat(write("g.nef", tiff({{256, 3, 640}})), true), ffRAW);
    EXPECT_EQ(DetectFileFormat(write("h.tif", tiff({{50706, 1, 1}})), true), ffNone);
    EXPECT_THROW(DetectFileFormat(dir.file("missing.bmp"), true), std::runtime_error);
}

TEST(FormatTable, IdentifiersDescriptionsAndExtensionsInOrder)
{
    const auto& formats = TFormatTable::Instance().Formats();
    // Plug-ins registered by other tests come after the built-in rows.
    std::vector<int> ids;
    for (size_t i = 0; i < formats.size() && i < 25; ++i)
        ids.push_back(formats[i].Id);
    EXPECT_EQ(ids, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 28, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 24, 25, 26, 27}));
    const TFileFormat* bmp = TFormatTable::Instance().FindByExtension(".DIB");
    ASSERT_NE(bmp, nullptr);
    EXPECT_EQ(bmp->Id, ffBMP);
    EXPECT_EQ(bmp->Description, "Windows Bitmap");
    EXPECT_EQ(TFormatTable::Instance().Find(ffPXM)->Description, " Portable Pixmap, GrayMap, BitMap");
    EXPECT_EQ(TFormatTable::Instance().FindByExtension("sr2")->Id, ffRAW);
    EXPECT_EQ(TFormatTable::Instance().FindByExtension("docx"), nullptr);
    EXPECT_EQ(TFormatTable::Instance().FindByExtension(""), nullptr);
    EXPECT_EQ(FileExtension("/a.b/Photo.JPEG"), "jpeg");
    EXPECT_EQ(FileExtension("/a.b/README"), "");
}

bool recogniseTest(TStream& s)
{
    char magic[4];
    return s.Read(magic, 4) == 4 && std::memcmp(magic, "TSTF", 4) == 0;
}

bool readTest(TImageIO& io, TStream&)
{
    io.Params.Width = io.Params.Height = 1;
    return io.Buffer()->Allocate(1, 1, px24RGB);
}

TEST(FormatTable, PluginFormatsJoinDetectionBeforeCameraRawAndLoadByExtension)
{
    TFileFormat plugin;
    plugin.Id = 90;
    plugin.Description = "Test plug-in";
    plugin.Extensions = {"TST"};
    plugin.Recognise = recogniseTest;
    plugin.Read = readTest;
    TFormatTable::Instance().Register(plugin);

    auto v = bytesOf("TSTF", 4, 20);
    TMemoryView view(v.data(), v.size());
    EXPECT_EQ(DetectStreamFormat(view), 90);
    // Built-in tests still come first.
    auto jpeg = bytesOf("\xFF\xD8\xFF\xE0", 4, 20);
    TMemoryView jpegView(jpeg.data(), jpeg.size());
    EXPECT_EQ(DetectStreamFormat(jpegView), ffJPEG);

    testsupport::TempDir dir;
    std::ofstream(dir.file("p.tst"), std::ios::binary).write(reinterpret_cast<const char*>(v.data()), std::streamsize(v.size()));
    TImageIO io;
    EXPECT_TRUE(io.LoadFromFile(dir.file("p.tst")));
    EXPECT_EQ(io.Params.FileType, 90);
    EXPECT_EQ(DetectFileFormat(dir.file("p.tst"), true), 90);
    // No writer: saving by that extension writes nothing.
    EXPECT_FALSE(io.SaveToFile(dir.file("q.tst")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("q.tst")));
}

}  // namespace
