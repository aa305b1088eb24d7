// TImageIO: load and save by extension and by format, parameter reads,
// the hard errors for files that cannot be opened or created, and the
// parameters record's defaults.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "imaging/ImageIO.h"
#include "imaging/ImagingSettings.h"
#include "imaging/Stream.h"
#include "support/TestSupport.h"

namespace {

void fillPicture(TImageIO& io, int w, int h)
{
    ASSERT_TRUE(io.Buffer()->Allocate(w, h, px24RGB));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            io.Buffer()->SetPixelRGB(x, y, TRGB{uint8_t(x * 20), uint8_t(y * 30), 77});
}

std::string errorOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "(no error)";
}

TEST(ImageIO, SaveChoosesTheWriterByLowerCasedExtension)
{
    testsupport::TempDir dir;
    TImageIO io;
    fillPicture(io, 5, 4);
    for (const char* name : {"a.bmp", "b.BMP", "c.Dib", "d.rle"}) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(io.SaveToFile(dir.file(name)));
        EXPECT_EQ(io.Params.FileType, ffBMP);
        EXPECT_EQ(io.Params.FileName, dir.file(name));
        std::ifstream in(dir.file(name), std::ios::binary);
        char magic[2] = {};
        in.read(magic, 2);
        EXPECT_EQ(std::string(magic, 2), "BM");
    }
}

TEST(ImageIO, SaveWithoutAWriterWritesNothing)
{
    testsupport::TempDir dir;
    TImageIO io;
    fillPicture(io, 5, 4);
    io.Params.FileType = 77;
    for (const char* name : {"a.xyz", "b", "c.cur", "d.wmf"}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(io.SaveToFile(dir.file(name)));
        EXPECT_TRUE(io.Aborting);
        EXPECT_FALSE(std::filesystem::exists(dir.file(name)));
        EXPECT_EQ(io.Params.FileType, 77);
    }
    // An empty picture is not written either.
    TImageIO empty;
    EXPECT_FALSE(empty.SaveToFileBmp(dir.file("e.bmp")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("e.bmp")));
}

TEST(ImageIO, FailedWriteLeavesNoFileBehind)
{
    testsupport::TempDir dir;
    TImageIO io;
    ASSERT_TRUE(io.Buffer()->Allocate(70000, 1, px24RGB));
    io.Params.BmpVersion = 2;  // the core header holds 16-bit sizes only
    std::ofstream(dir.file("old.bmp")) << "previous";
    EXPECT_FALSE(io.SaveToFileBmp(dir.file("old.bmp")));
    EXPECT_TRUE(io.Aborting);
    EXPECT_FALSE(std::filesystem::exists(dir.file("old.bmp")));
}

TEST(ImageIO, HardErrorsNameTheFullPathAndTheSystemReason)
{
    testsupport::TempDir dir;
    TImageIO io;
    fillPicture(io, 2, 2);
    const std::string missingDir = dir.file("no/such/folder/x.bmp");
    EXPECT_EQ(errorOf([&] { io.SaveToFile(missingDir); }),
              "Cannot create file \"" + missingDir + "\". " + std::strerror(ENOENT));
    // A relative name is shown expanded.
    std::filesystem::path cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    std::string relative = errorOf([&] { io.LoadFromFile("sub/../missing.bmp"); });
    std::filesystem::current_path(cwd);
    EXPECT_EQ(relative, "Cannot open file \"" + (dir.path() / "missing.bmp").string() + "\". " + std::strerror(ENOENT));
    EXPECT_EQ(errorOf([&] { io.LoadFromFileBmp(dir.path().string()); }),
              "Cannot open file \"" + dir.path().string() + "\". " + std::strerror(EISDIR));
}

TEST(ImageIO, LoadByExtensionOrByExplicitFormat)
{
    testsupport::TempDir dir;
    TImageIO io;
    fillPicture(io, 6, 3);
    ASSERT_TRUE(io.SaveToFileBmp(dir.file("pic.png")));  // BMP content, PNG name
    EXPECT_EQ(io.Params.FileType, ffBMP);

    TImageIO reader;
    int finished = 0;
    reader.OnFinishWork = [&] { ++finished; };
    EXPECT_TRUE(reader.LoadFromFileBmp(dir.file("pic.png")));
    EXPECT_EQ(reader.Params.FileType, ffBMP);
    EXPECT_EQ(reader.Buffer()->GetPixelRGB(5, 2), io.Buffer()->GetPixelRGB(5, 2));

    // By extension the PNG reader is chosen, and the content is refused.
    EXPECT_FALSE(reader.LoadFromFile(dir.file("pic.png")));
    EXPECT_EQ(reader.Params.FileType, ffNone);
    EXPECT_TRUE(reader.Aborting);

    // An unknown extension or a network address fails without reading.
    std::filesystem::copy_file(dir.file("pic.png"), dir.file("pic.xyz"));
    EXPECT_FALSE(reader.LoadFromFile(dir.file("pic.xyz")));
    EXPECT_FALSE(reader.LoadFromFile("http://example.com/a.bmp"));
    EXPECT_FALSE(reader.LoadFromFile("FTP://example.com/a.bmp"));
    EXPECT_EQ(reader.Params.FileType, ffNone);
    EXPECT_EQ(finished, 5);
}

TEST(ImageIO, ReadParamsUsesTheStrictRuleAndKeepsThePicture)
{
    testsupport::TempDir dir;
    TImageIO io;
    fillPicture(io, 9, 7);
    io.Params.SetResolution(150, 200);
    ASSERT_TRUE(io.SaveToFile(dir.file("a.bmp")));
    std::filesystem::copy_file(dir.file("a.bmp"), dir.file("a.png"));

    TImageIO probe;
    fillPicture(probe, 2, 2);
    ASSERT_TRUE(probe.ReadParamsFromFile(dir.file("a.bmp")));
    EXPECT_EQ(probe.Params.FileType, ffBMP);
    EXPECT_EQ(probe.Params.FileName, dir.file("a.bmp"));
    EXPECT_EQ(probe.Params.Width, 9);
    EXPECT_EQ(probe.Params.Height, 7);
    EXPECT_EQ(probe.Params.DpiX, 150);
    EXPECT_EQ(probe.Params.DpiY, 200);
    EXPECT_EQ(probe.Buffer()->Width(), 2);

    EXPECT_FALSE(probe.ReadParamsFromFile(dir.file("a.png")));
    EXPECT_EQ(probe.Params.FileType, ffNone);
    // Missing files do not throw here.
    EXPECT_FALSE(probe.ReadParamsFromFile(dir.file("missing.bmp")));
    EXPECT_EQ(probe.Params.FileType, ffNone);
}

TEST(ImageIO, EachReadReplacesTheCameraDataOfTheFileBefore)
{
    testsupport::TempDir dir;
    auto save = [&](const char* name, bool exif, const char* make) {
        TImageIO io;
        fillPicture(io, 8, 6);
        io.Params.ExifPresent = exif;
        io.Params.Make = make;
        io.Params.FNumber = exif ? 4 : 0;
        ASSERT_TRUE(io.SaveToFile(dir.file(name)));
    };
    save("camera.jpg", true, "Maker");
    save("nomake.jpg", true, "");
    save("plain.jpg", false, "");
    save("plain.png", false, "");
    struct Case {
        const char* file;
        bool exif;
        bool load;  // also through a full load (which keeps them for PNG)
    };
    // Each read follows a read of the photo with full camera data.
    const Case cases[] = {{"plain.jpg", false, true}, {"nomake.jpg", true, true}, {"plain.png", false, false},
                          {"missing.jpg", false, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        for (bool paramsOnly : {true, false}) {
            if (!paramsOnly && !c.load)
                continue;
            TImageIO io;
            ASSERT_TRUE(io.ReadParamsFromFile(dir.file("camera.jpg")));
            ASSERT_EQ(io.Params.Make, "Maker");
            if (paramsOnly)
                io.ReadParamsFromFile(dir.file(c.file));
            else
                ASSERT_TRUE(io.LoadFromFile(dir.file(c.file)));
            EXPECT_EQ(io.Params.ExifPresent, c.exif);
            EXPECT_EQ(io.Params.Make, "");
            EXPECT_EQ(io.Params.FNumber, c.exif ? 4 : 0);
        }
    }
}

TEST(ImageIO, BorrowedBufferAndMissingBuffer)
{
    TImageBuffer picture(3, 3, px24RGB);
    picture.Fill(0x0000FF);
    TImageIO io(&picture);
    EXPECT_EQ(io.Buffer(), &picture);
    EXPECT_EQ(io.Params.Width, 3);
    TMemoryStream out;
    ASSERT_TRUE(io.SaveToStreamBmp(out));
    EXPECT_EQ(io.Params.FileType, ffBMP);

    TImageIO none(nullptr);
    TMemoryView in(out.Bytes().data(), out.Bytes().size());
    EXPECT_FALSE(none.LoadFromStream(in, ffBMP));
    EXPECT_TRUE(none.Aborting);
    TMemoryStream sink;
    EXPECT_FALSE(none.SaveToStreamBmp(sink));
    EXPECT_EQ(sink.Size(), 0);
}

TEST(ImageParams, DefaultsAndResolution)
{
    TImageIO io;
    fillPicture(io, 8, 5);
    io.Params.FileName = "x";
    io.Params.BmpVersion = 3;
    io.Params.BitsPerSample = 4;
    io.Params.ColorMapCount = 16;
    io.SetDefaults();
    EXPECT_EQ(io.Params.FileName, "");
    EXPECT_EQ(io.Params.FileType, 0);
    EXPECT_EQ(io.Params.Width, 8);
    EXPECT_EQ(io.Params.Height, 5);
    EXPECT_EQ(io.Params.DpiX, ImagingSettings().DefaultResolutionX);
    EXPECT_EQ(io.Params.DpiY, ImagingSettings().DefaultResolutionY);
    EXPECT_EQ(io.Params.BitsPerSample, 8);
    EXPECT_EQ(io.Params.SamplesPerPixel, 3);
    EXPECT_EQ(io.Params.ColorMapCount, 0);
    EXPECT_EQ(io.Params.BmpVersion, 1);
    EXPECT_EQ(io.Params.BmpCompression, 0);
    EXPECT_FALSE(io.Params.BmpSaveAlpha);
    EXPECT_FALSE(io.NativePixelFormat());
    io.Params.SetDpiX(72);
    EXPECT_EQ(io.Params.DpiX, 72);
    io.Params.SetResolution(0, -5);
    EXPECT_EQ(io.Params.DpiX, 300);
    EXPECT_EQ(io.Params.DpiY, 300);
}

TEST(Stream, MemoryAndFileStreamsReadWriteAndSeek)
{
    TMemoryStream m;
    EXPECT_EQ(m.Write("abcdef", 6), 6u);
    EXPECT_TRUE(m.Seek(10));
    EXPECT_EQ(m.Write("z", 1), 1u);
    EXPECT_EQ(m.Size(), 11);
    EXPECT_EQ(m.Bytes()[8], 0);
    m.Seek(4);
    char buf[16] = {};
    EXPECT_EQ(m.Read(buf, 16), 7u);
    EXPECT_EQ(m.Remaining(), 0);

    const uint8_t data[] = {1, 2, 3};
    TMemoryView v(data, 3);
    EXPECT_FALSE(v.Seek(4));
    EXPECT_TRUE(v.Skip(2));
    EXPECT_FALSE(v.Skip(2));
    EXPECT_EQ(v.Write(data, 1), 0u);
    EXPECT_TRUE(v.Failed());

    testsupport::TempDir dir;
    {
        auto f = TFileStream::Create(dir.file("s.bin"));
        EXPECT_EQ(f->Write("0123456789", 10), 10u);
        EXPECT_TRUE(f->Seek(2));
        EXPECT_EQ(f->Write("XY", 2), 2u);
        EXPECT_EQ(f->Size(), 10);
        EXPECT_TRUE(f->Close());
    }
    auto r = TFileStream::OpenRead(dir.file("s.bin"));
    EXPECT_EQ(r->Size(), 10);
    EXPECT_FALSE(r->Seek(11));
    char back[10];
    EXPECT_TRUE(r->ReadExact(back, 10));
    EXPECT_EQ(std::string(back, 10), "01XY456789");
    EXPECT_EQ(r->Read(back, 1), 0u);
}

}  // namespace
