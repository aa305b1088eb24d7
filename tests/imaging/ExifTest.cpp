// EXIF block: rational conversion, the layout of the written block, reading
// it back field by field, text encodings, damaged blocks, and the in-place
// rewrite of a JPEG file.
#include <gtest/gtest.h>

#include <cmath>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>

#include "imaging/ImageIO.h"
#include "imaging/Stream.h"
#include "imaging/exif/Exif.h"
#include "imaging/exif/ExifText.h"
#include "imaging/formats/tiff/TiffDirectory.h"
#include "ExifTestData.h"
#include "PictureFiles.h"
#include "support/TestSupport.h"

namespace {

using namespace picturefiles;
using Bytes = std::vector<uint8_t>;

TEST(ExifRationalTest, WorkedValues)
{
    struct Case { double value; uint32_t num; uint32_t den; };
    const Case cases[] = {
        {0.004, 4000, 1000000},
        {1.0 / 3.0, 333333, 1000000},
        {5000.5, 500050000, 100000},
        {-2.5, uint32_t(-2500000), 1000000},
        {0, 0, 1000000},
        {3e12, uint32_t(INT32_MAX), 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        auto [num, den] = ExifRational(c.value);
        EXPECT_EQ(num, c.num);
        EXPECT_EQ(den, c.den);
    }
}

// The directory of a block (0 = IFD0, else the offset given).
struct TBlockView {
    explicit TBlockView(const Bytes& block) : view(block.data() + 6, block.size() - 6), src(view, 0) {}
    TMemoryView view;
    tiff::TTiffSource src;
};

TEST(ExifBlockTest, LayoutIsLittleEndianSortedAndEven)
{
    TImageParams p;
    exiftest::fillSample(p);
    const Bytes block = BuildExifBlock(p);
    ASSERT_GT(block.size(), 14u);
    EXPECT_EQ(0, std::memcmp(block.data(), "Exif\0\0II*\0", 10));
    TBlockView v(block);
    tiff::TByteOrder order;
    uint32_t first = 0;
    ASSERT_TRUE(tiff::ReadTiffHeader(v.src, &order, &first));
    EXPECT_FALSE(order.BigEndian);
    tiff::TTiffDirectory ifd0, sub, gps;
    ASSERT_TRUE(ifd0.Read(v.src, order, first));
    uint32_t subOff = 0, gpsOff = 0;
    ASSERT_TRUE(ifd0.GetUInt(34665, &subOff));
    ASSERT_TRUE(ifd0.GetUInt(34853, &gpsOff));
    ASSERT_TRUE(sub.Read(v.src, order, subOff));
    ASSERT_TRUE(gps.Read(v.src, order, gpsOff));
    // IFD0 comes after the sub-directories, which come after IFD0's values.
    EXPECT_LT(subOff, gpsOff);
    EXPECT_LT(gpsOff, first);
    for (const tiff::TTiffDirectory* d : {&ifd0, &sub, &gps}) {
        EXPECT_EQ(d->Offset() % 2, 0u);
        const auto& e = d->Entries();
        for (size_t i = 0; i < e.size(); ++i) {
            if (i > 0) {
                EXPECT_LT(e[i - 1].Tag, e[i].Tag);
            }
            if (e[i].ByteSize() > 4) {
                EXPECT_EQ(e[i].ValueOffset % 2, 0u) << "tag " << e[i].Tag;
            }
        }
    }
    EXPECT_FALSE(ifd0.Has(256)) << "no image tags in IFD0";
    // Short texts sit in the entry without terminator; longer ones carry it.
    const tiff::TTiffEntry* ref = gps.Find(1);
    ASSERT_NE(ref, nullptr);
    EXPECT_EQ(ref->Count, 1u);
    const tiff::TTiffEntry* make = ifd0.Find(271);
    ASSERT_NE(make, nullptr);
    EXPECT_EQ(make->Count, p.Make.size() + 1);
    // Worked rational values.
    std::vector<uint8_t> exposure = sub.GetBytes(33434, 8);
    ASSERT_EQ(exposure.size(), 8u);
    EXPECT_EQ(order.U32(exposure.data()), 4000u);
    EXPECT_EQ(order.U32(exposure.data() + 4), 1000000u);
    std::vector<uint8_t> focal = sub.GetBytes(37386, 8);
    EXPECT_EQ(order.U32(focal.data() + 4), 100000u);
}

TEST(ExifBlockTest, AbsentAndEmptyFieldsAreNotWritten)
{
    TImageParams p;
    exiftest::fillSample(p);
    p.ImageDescription.clear();
    p.ExposureMode = -1;
    p.GPSVersionID.clear();
    const Bytes block = BuildExifBlock(p);
    TBlockView v(block);
    tiff::TByteOrder order;
    uint32_t first = 0;
    ASSERT_TRUE(tiff::ReadTiffHeader(v.src, &order, &first));
    tiff::TTiffDirectory ifd0, sub;
    ASSERT_TRUE(ifd0.Read(v.src, order, first));
    EXPECT_FALSE(ifd0.Has(270));
    EXPECT_FALSE(ifd0.Has(34853));
    ASSERT_TRUE(sub.Read(v.src, order, ifd0.UIntOr(34665, 0)));
    EXPECT_FALSE(sub.Has(41986));

    // A block without the tag reads as 0, which is then written.
    TImageParams back;
    ASSERT_TRUE(ReadExifFromApp1(block.data(), block.size(), back));
    EXPECT_EQ(back.ExposureMode, 0);
    EXPECT_EQ(back.ImageDescription, "");
    EXPECT_EQ(back.GPSVersionID, "");
}

TEST(ExifBlockTest, ResolutionsFromDamagedFilesAreHeldToTheRational)
{
    struct Case {
        double value;
        double expected;
    } cases[] = {{300.7, 300}, {3.3e9, 3.3e9}, {1e12, 4294967295.0}, {-72, 0}, {std::nan(""), 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        TImageParams p;
        exiftest::fillSample(p);
        p.XResolution = c.value;
        p.YResolution = c.value;
        const Bytes block = BuildExifBlock(p);
        TImageParams back;
        ASSERT_TRUE(ReadExifFromApp1(block.data(), block.size(), back));
        EXPECT_DOUBLE_EQ(back.XResolution, std::trunc(c.expected));
    }
}

TEST(ExifBlockTest, TextEndsAtItsFirstNul)
{
    TImageParams p;
    exiftest::fillSample(p);
    p.ImageDescription = std::string("Ab\0\0cd", 6);
    const Bytes block = BuildExifBlock(p);
    TImageParams back;
    ASSERT_TRUE(ReadExifFromApp1(block.data(), block.size(), back));
    EXPECT_EQ(back.ImageDescription, "Ab");
    // Saving what was read gives the same text again.
    const Bytes again = BuildExifBlock(back);
    TImageParams third;
    ASSERT_TRUE(ReadExifFromApp1(again.data(), again.size(), third));
    EXPECT_EQ(third.ImageDescription, "Ab");
}

TEST(ExifBlockTest, EveryFieldReadsBack)
{
    TImageParams p;
    exiftest::fillSample(p);
    const Bytes block = BuildExifBlock(p);
    TImageParams back;
    ASSERT_TRUE(ReadExifFromApp1(block.data(), block.size(), back));
    EXPECT_TRUE(back.ExifPresent);
    exiftest::expectSameFields(p, back);
    EXPECT_TRUE(back.ExifThumbnail.IsEmpty());
}

TEST(ExifBlockTest, ThumbnailTravelsAsOldStyleJpeg)
{
    TImageParams p;
    exiftest::fillSample(p);
    auto photo = makePhoto(640, 480);
    RebuildExifThumbnail(p, *photo);
    ASSERT_FALSE(p.ExifThumbnail.IsEmpty());
    EXPECT_EQ(p.ExifThumbnail.Get()->Width(), 160);
    EXPECT_EQ(p.ExifThumbnail.Get()->Height(), 120);
    const Bytes block = BuildExifBlock(p);
    TImageParams back;
    ASSERT_TRUE(ReadExifFromApp1(block.data(), block.size(), back));
    ASSERT_FALSE(back.ExifThumbnail.IsEmpty());
    // Orientation 6 of the sample turns the thumbnail upright on reading.
    EXPECT_EQ(back.ExifThumbnail.Get()->Width(), 120);
    EXPECT_EQ(back.ExifThumbnail.Get()->Height(), 160);

    // Too long for one segment: written without the thumbnail; refused when
    // still too long.
    const Bytes small = BuildExifBlock(p, block.size() - 1);
    ASSERT_FALSE(small.empty());
    EXPECT_LT(small.size(), block.size());
    TImageParams noThumb;
    ASSERT_TRUE(ReadExifFromApp1(small.data(), small.size(), noThumb));
    EXPECT_TRUE(noThumb.ExifThumbnail.IsEmpty());
    EXPECT_TRUE(BuildExifBlock(p, 64).empty());
}

TEST(ExifBlockTest, MakerNoteCopyIsRebuiltWithItsValues)
{
    TImageParams p;
    exiftest::fillSample(p);
    // Two entries: a SHORT held in the entry and a 10-byte ASCII value.
    Bytes note = {2, 0, 1, 0, 3, 0, 1, 0, 0, 0, 7, 0, 0, 0, 2, 0, 2, 0, 10, 0, 0, 0, 26, 0, 0, 0};
    const char text[] = "MakerText";
    note.insert(note.end(), text, text + 10);
    p.MakerNote = note;
    const Bytes block = BuildExifBlock(p);
    TImageParams back;
    ASSERT_TRUE(ReadExifFromApp1(block.data(), block.size(), back));
    EXPECT_EQ(back.MakerNote, note);
}

TEST(ExifTextTest, Utf8KeptOtherBytesReadAsWindows1251)
{
    EXPECT_EQ(exif::ExifTextToUtf8("Привет"), "Привет");
    EXPECT_EQ(exif::ExifTextToUtf8("\xcf\xf0\xe8\xe2\xe5\xf2 \xa8\xb8"), "Привет Ёё");
    EXPECT_EQ(exif::ExifTextToUtf8("plain"), "plain");
    const Bytes wide = exif::Utf8ToUtf16Le("Мир😀");
    ASSERT_EQ(wide.size(), 5u * 2 + 2);
    EXPECT_EQ(exif::Utf16LeToUtf8(wide.data(), wide.size()), "Мир😀");

    // A description written by an older Windows program in cp1251.
    TImageParams p;
    p.ImageDescription = "\xcc\xee\xf0\xe5";  // "Море"
    const Bytes block = BuildExifBlock(p);
    TImageParams back;
    ASSERT_TRUE(ReadExifFromApp1(block.data(), block.size(), back));
    EXPECT_EQ(back.ImageDescription, "Море");
}

TEST(ExifReadTest, DamagedBlocksEndCleanly)
{
    TImageParams p;
    exiftest::fillSample(p);
    auto photo = makePhoto(64, 48);
    RebuildExifThumbnail(p, *photo);
    const Bytes good = BuildExifBlock(p);

    TImageParams untouched;
    untouched.Make = "kept";
    const Bytes notExif = {'J', 'F', 'I', 'F', 0, 0, 'I', 'I', 42, 0};
    EXPECT_FALSE(ReadExifFromApp1(notExif.data(), notExif.size(), untouched));
    EXPECT_EQ(untouched.Make, "kept");
    EXPECT_FALSE(untouched.ExifPresent);

    // Every cut and a spread of single-byte changes: no crash, no hang.
    for (size_t cut = 0; cut <= good.size(); cut += 7) {
        TImageParams q;
        ReadExifFromApp1(good.data(), cut, q);
    }
    for (size_t at = 6; at < good.size(); at += 3) {
        for (uint8_t value : {uint8_t(0x00), uint8_t(0xFF), uint8_t(0x7F)}) {
            Bytes bad = good;
            bad[at] = value;
            TImageParams q;
            EXPECT_TRUE(ReadExifFromApp1(bad.data(), bad.size(), q));
        }
    }
    // A sub-directory pointing back at IFD0 and IFD0 chained to itself.
    Bytes loop = {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0,
                  2, 0,
                  0x69, 0x87, 4, 0, 1, 0, 0, 0, 8, 0, 0, 0,
                  0x25, 0x88, 4, 0, 1, 0, 0, 0, 8, 0, 0, 0,
                  8, 0, 0, 0};
    TImageParams q;
    EXPECT_TRUE(ReadExifFromApp1(loop.data(), loop.size(), q));
    EXPECT_TRUE(q.ExifPresent);
    EXPECT_TRUE(q.ExifThumbnail.IsEmpty());
}

TEST(ExifOrientationTest, TurnsPictureUpright)
{
    // 2 x 1 picture: left pixel red, right blue; after each orientation the
    // expected size and where the red pixel lands.
    struct Case { int orientation; int w, h; int redX, redY; };
    const Case cases[] = {{1, 2, 1, 0, 0}, {2, 2, 1, 1, 0}, {3, 2, 1, 1, 0}, {4, 2, 1, 0, 0},
                          {5, 1, 2, 0, 1}, {6, 1, 2, 0, 0}, {7, 1, 2, 0, 0}, {8, 1, 2, 0, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.orientation);
        TImageBuffer b(2, 1, px24RGB);
        uint8_t* row = b.LockRow(0);
        const uint8_t pixels[6] = {0, 0, 255, 255, 0, 0};  // blue-green-red order
        std::memcpy(row, pixels, 6);
        b.UnlockRow(0);
        ApplyOrientation(b, c.orientation);
        ASSERT_EQ(b.Width(), c.w);
        ASSERT_EQ(b.Height(), c.h);
        EXPECT_EQ(b.LockRow(c.redY)[c.redX * 3 + 2], 255);
        b.UnlockRow(c.redY);
    }
}

// ---- In-place rewrite ------------------------------------------------------

Bytes segment(uint8_t marker, const std::string& payload)
{
    Bytes s = {0xFF, marker, uint8_t((payload.size() + 2) >> 8), uint8_t(payload.size() + 2)};
    s.insert(s.end(), payload.begin(), payload.end());
    return s;
}

// A JPEG encoded by us, with its own APP0 followed by the given segments.
Bytes jpegWith(const std::vector<Bytes>& extra)
{
    TImageIO io;
    auto photo = makePhoto(64, 48);
    io.Buffer()->Assign(*photo);
    TMemoryStream out;
    EXPECT_TRUE(io.SaveToStreamJpeg(out));
    Bytes jpeg = out.TakeBytes();
    // After SOI and the JFIF APP0.
    const size_t at = 4 + size_t(jpeg[4] << 8 | jpeg[5]);
    for (auto it = extra.rbegin(); it != extra.rend(); ++it) jpeg.insert(jpeg.begin() + long(at), it->begin(), it->end());
    return jpeg;
}

// Bytes from the first start-of-scan to the end: the coded picture.
Bytes imageData(const Bytes& jpeg)
{
    for (size_t i = 2; i + 1 < jpeg.size();) {
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xDA) return Bytes(jpeg.begin() + long(i), jpeg.end());
        i += 2 + size_t(jpeg[i + 2] << 8 | jpeg[i + 3]);
    }
    return {};
}

TEST(ExifRewriteTest, NewSegmentGoesAfterApp0OrTheFirstApp1)
{
    const Bytes newSeg = segment(0xE1, std::string("Exif\0\0new", 9));
    struct Case { const char* name; std::vector<Bytes> extra; std::vector<std::string> expectApps; };
    const std::string oldExif("Exif\0\0old", 9);
    const std::string xmp = std::string("http://ns.adobe.com/xap/1.0/\0<x/>", 33);
    const Case cases[] = {
        {"app0+exif", {segment(0xE1, oldExif)}, {"JFIF", "Exif"}},
        {"app0+xmp", {segment(0xE1, xmp)}, {"JFIF", "Exif", "http"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes in = jpegWith(c.extra);
        Bytes out;
        ASSERT_TRUE(RewriteJpegExifSegment(in, newSeg, out));
        std::vector<std::string> apps;
        for (const TSegment& s : jpegSegments(out)) {
            if (s.marker < 0xE0 || s.marker > 0xEF) continue;
            apps.emplace_back(s.data.begin(), s.data.begin() + long(std::min<size_t>(4, s.data.size())));
            if (apps.back() == "Exif") {
                EXPECT_EQ(std::string(s.data.begin(), s.data.end()), std::string("Exif\0\0new", 9));
            }
        }
        EXPECT_EQ(apps, c.expectApps);
        EXPECT_EQ(imageData(out), imageData(in));
    }
    // An XMP-only file without APP0: the EXIF goes right after the XMP.
    Bytes noApp0 = {0xFF, 0xD8};
    const Bytes x = segment(0xE1, xmp);
    noApp0.insert(noApp0.end(), x.begin(), x.end());
    const Bytes withApp0 = jpegWith({});
    const size_t skip = 4 + size_t(withApp0[4] << 8 | withApp0[5]);
    noApp0.insert(noApp0.end(), withApp0.begin() + long(skip), withApp0.end());
    Bytes out;
    ASSERT_TRUE(RewriteJpegExifSegment(noApp0, newSeg, out));
    ASSERT_GE(out.size(), 2 + x.size() + newSeg.size());
    EXPECT_TRUE(std::equal(x.begin(), x.end(), out.begin() + 2));
    EXPECT_TRUE(std::equal(newSeg.begin(), newSeg.end(), out.begin() + 2 + long(x.size())));
}

TEST(ExifRewriteTest, RefusesWhatIsNotASafeJpeg)
{
    const Bytes seg = segment(0xE1, std::string("Exif\0\0", 6));
    Bytes out;
    // A TIFF whose pixel data happen to hold an APP1 lookalike.
    Bytes tiff = {'I', 'I', 42, 0, 8, 0, 0, 0, 0xFF, 0xE1, 0, 4, 1, 2};
    EXPECT_FALSE(RewriteJpegExifSegment(tiff, seg, out));
    // No APP0/APP1 before the picture: nothing to insert after.
    Bytes bare = jpegWith({});
    const size_t skip = 4 + size_t(bare[4] << 8 | bare[5]);
    bare.erase(bare.begin() + 2, bare.begin() + long(skip));
    EXPECT_FALSE(RewriteJpegExifSegment(bare, seg, out));
    // A malformed marker and a length past the end.
    Bytes bad = {0xFF, 0xD8, 0xFF, 0x10, 0, 4};
    EXPECT_FALSE(RewriteJpegExifSegment(bad, seg, out));
    Bytes cut = {0xFF, 0xD8, 0xFF, 0xE0, 0x40, 0};
    EXPECT_FALSE(RewriteJpegExifSegment(cut, seg, out));
}

TEST(ExifRewriteTest, FileIsReplacedWithItsPermissionsOrLeftAlone)
{
    testsupport::TempDir dir;
    const std::string path = dir.file("photo.jpg");
    const Bytes original = jpegWith({segment(0xE1, std::string("Exif\0\0old", 9))});
    writeBytes(path, original);
    ::chmod(path.c_str(), 0640);

    TImageIO io;
    exiftest::fillSample(io.Params);
    std::vector<int> percents;
    io.OnProgress = [&](int p) { percents.push_back(p); };
    ASSERT_TRUE(io.WriteExifIntoJpegFile(path));
    const Bytes written = readBytes(path);
    EXPECT_EQ(imageData(written), imageData(original));
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    ASSERT_FALSE(percents.empty());
    EXPECT_EQ(percents.back(), 100);
    size_t files = 0;
    for (auto& e : std::filesystem::directory_iterator(dir.path())) files += e.is_regular_file();
    EXPECT_EQ(files, 1u) << "no temporary file left behind";

    TImageIO reader;
    ASSERT_TRUE(reader.ReadParamsFromFile(path));
    exiftest::expectSameFields(io.Params, reader.Params);

    // A file that is not a JPEG stays byte for byte as it was.
    const std::string tiffPath = dir.file("scan.tif");
    const Bytes tiff = {'I', 'I', 42, 0, 8, 0, 0, 0, 0xFF, 0xE0, 0, 4, 1, 2, 0xFF, 0xD9};
    writeBytes(tiffPath, tiff);
    EXPECT_FALSE(io.WriteExifIntoJpegFile(tiffPath));
    EXPECT_EQ(readBytes(tiffPath), tiff);
    EXPECT_FALSE(io.WriteExifIntoJpegFile(dir.file("missing.jpg")));
}

}  // namespace

namespace {

TEST(ExifTiffTest, JpegPhotoSavedAsTiffKeepsItsExifInTheFirstDirectory)
{
    testsupport::TempDir dir;
    const std::string jpeg = dir.file("photo.jpg");
    {
        TImageIO io;
        auto photo = makePhoto(120, 80);
        io.Buffer()->Assign(*photo);
        exiftest::fillSample(io.Params);
        io.Params.ExifPresent = true;
        ASSERT_TRUE(io.SaveToFileJpeg(jpeg));
    }
    TImageIO io;
    ASSERT_TRUE(io.LoadFromFile(jpeg));
    ASSERT_TRUE(io.Params.ExifPresent);
    io.Params.TiffCompression = 0;
    const std::string tif = dir.file("photo.tif");
    ASSERT_TRUE(io.SaveToFileTiff(tif));

    const Bytes file = readBytes(tif);
    TMemoryView view(file.data(), file.size());
    tiff::TTiffSource src(view, 0);
    tiff::TByteOrder order;
    uint32_t first = 0;
    ASSERT_TRUE(tiff::ReadTiffHeader(src, &order, &first));
    tiff::TTiffDirectory ifd0;
    ASSERT_TRUE(ifd0.Read(src, order, first));
    EXPECT_EQ(ifd0.UIntOr(259, 0), 1u);
    EXPECT_EQ(ifd0.UIntOr(262, 0), 2u);
    EXPECT_TRUE(ifd0.Has(34665));
    EXPECT_TRUE(ifd0.Has(34853));

    TImageIO back;
    ASSERT_TRUE(back.LoadFromFile(tif));
    EXPECT_TRUE(back.Params.ExifPresent);
    // The TIFF holds one resolution: the picture's dots per inch.
    EXPECT_EQ(back.Params.DpiX, io.Params.DpiX);
    io.Params.XResolution = io.Params.DpiX;
    io.Params.YResolution = io.Params.DpiY;
    exiftest::expectSameFields(io.Params, back.Params);
    EXPECT_EQ(back.Buffer()->Width(), 120);

    // A TIFF without EXIF data reads with ExifPresent false.
    io.Params.ExifPresent = false;
    const std::string plain = dir.file("plain.tif");
    ASSERT_TRUE(io.SaveToFileTiff(plain));
    TImageIO plainBack;
    ASSERT_TRUE(plainBack.ReadParamsFromFile(plain));
    EXPECT_FALSE(plainBack.Params.ExifPresent);
}

}  // namespace

namespace {

TEST(ExifJpegReadTest, AutoOrientationTurnsTheLoadedPicture)
{
    testsupport::TempDir dir;
    const std::string path = dir.file("turned.jpg");
    TImageIO io;
    auto photo = makePhoto(96, 64);
    io.Buffer()->Assign(*photo);
    io.Params.ExifPresent = true;
    io.Params.Orientation = 6;
    ASSERT_TRUE(io.SaveToFileJpeg(path));
    for (bool automatic : {false, true}) {
        SCOPED_TRACE(automatic);
        TImageIO reader;
        reader.Params.AutoOrientation = automatic;
        ASSERT_TRUE(reader.LoadFromFile(path));
        EXPECT_EQ(reader.Params.Orientation, 6);
        EXPECT_EQ(reader.Buffer()->Width(), automatic ? 64 : 96);
        EXPECT_EQ(reader.Buffer()->Height(), automatic ? 96 : 64);
    }
}

}  // namespace
