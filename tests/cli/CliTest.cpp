// tessaron-cli as a user runs it: help texts, info as JSON (every field of
// the parameters record by name), convert with its failure paths.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "imaging/ImageIO.h"
#include "support/TestSupport.h"

namespace {

std::string q(const std::string& s) { return "'" + s + "'"; }

struct Result {
    int status;
    std::string out;
    std::string err;
};

Result cli(const std::string& args, const testsupport::TempDir& dir)
{
    Result r;
    std::string errFile = dir.file("stderr.txt");
    r.status = testsupport::runCommand(std::string(TESSARON_CLI) + " " + args + " 2>" + q(errFile), &r.out);
    std::ifstream in(errFile);
    r.err.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return r;
}

std::string makeBmp(const testsupport::TempDir& dir, const std::string& name, int w, int h)
{
    TImageIO io;
    io.Buffer()->Allocate(w, h, px24RGB);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            io.Buffer()->SetPixelRGB(x, y, TRGB{uint8_t(x * 9), uint8_t(y * 7), uint8_t(x ^ y)});
    io.Params.SetResolution(96, 72);
    io.SaveToFileBmp(dir.file(name));
    return dir.file(name);
}

// Collects the field names of the parameters record.
class TNames : public TParamsFieldVisitor {
public:
    std::vector<std::string> names;
    void Int(const char* n, int64_t) override { names.push_back(n); }
    void Real(const char* n, double) override { names.push_back(n); }
    void Bool(const char* n, bool) override { names.push_back(n); }
    void Text(const char* n, const std::string&) override { names.push_back(n); }
    void IntList(const char* n, const std::vector<int64_t>&) override { names.push_back(n); }
    void TextList(const char* n, const std::vector<std::string>&) override { names.push_back(n); }
    void Palette(const char* n, const TRGB*, int) override { names.push_back(n); }
};

TEST(Cli, HelpForTheToolAndEachCommand)
{
    testsupport::TempDir dir;
    Result r = cli("--help", dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("info"), std::string::npos);
    EXPECT_NE(r.out.find("convert"), std::string::npos);
    for (const char* command : {"info", "convert"}) {
        SCOPED_TRACE(command);
        r = cli(std::string(command) + " --help", dir);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out.rfind(std::string("Usage: tessaron-cli ") + command, 0), 0u);
    }
    r = cli("frobnicate", dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("unknown command"), std::string::npos);
    EXPECT_EQ(cli("", dir).status, 2);
    EXPECT_EQ(cli("info", dir).status, 2);
    EXPECT_EQ(cli("convert onlyone.bmp", dir).status, 2);
}

TEST(Cli, InfoPrintsEveryFieldByNameAndTheFormatName)
{
    testsupport::TempDir dir;
    std::string file = makeBmp(dir, "pic.bmp", 11, 6);
    Result r = cli("info " + q(file), dir);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.front(), '{');
    EXPECT_EQ(r.out.substr(r.out.size() - 2), "}\n");
    for (const char* member : {"\"FileType\": 5", "\"Width\": 11", "\"Height\": 6", "\"DpiX\": 96", "\"DpiY\": 72",
                               "\"BitsPerSample\": 8", "\"SamplesPerPixel\": 3", "\"BmpVersion\": 1",
                               "\"FormatName\": \"Windows Bitmap\""})
        EXPECT_NE(r.out.find(member), std::string::npos) << member;
    EXPECT_EQ(r.out.find("\"Pixels\""), std::string::npos);

    TImageParams params;
    TNames names;
    params.VisitFields(names);
    for (const std::string& n : names.names)
        EXPECT_NE(r.out.find("\"" + n + "\": "), std::string::npos) << n;

    r = cli("info --pixels " + q(file), dir);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\"Pixels\": {"), std::string::npos);
    EXPECT_NE(r.out.find("\"PixelFormat\": \"px24RGB\""), std::string::npos);
    EXPECT_NE(r.out.find("\"HasAlpha\": false"), std::string::npos);
}

TEST(Cli, InfoFailures)
{
    testsupport::TempDir dir;
    std::string file = makeBmp(dir, "pic.bmp", 4, 4);
    std::filesystem::copy_file(file, dir.file("pic.png"));
    Result r = cli("info " + q(dir.file("pic.png")), dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("\"FileType\": 0"), std::string::npos);
    EXPECT_FALSE(r.err.empty());

    r = cli("info " + q(dir.file("missing.bmp")), dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Cannot open file \"" + dir.file("missing.bmp") + "\""), std::string::npos);

    // A name that is not UTF-8 still gives valid JSON text.
    std::string odd = dir.file("odd\xff.bmp");
    std::filesystem::copy_file(file, odd);
    r = cli("info " + q(odd), dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("odd\xEF\xBF\xBD.bmp"), std::string::npos);
}

TEST(Cli, ConvertLoadsAndSavesByExtension)
{
    testsupport::TempDir dir;
    std::string in = makeBmp(dir, "in.bmp", 13, 5);
    Result r = cli("convert " + q(in) + " " + q(dir.file("out.DIB")), dir);
    ASSERT_EQ(r.status, 0) << r.err;
    TImageIO a, b;
    ASSERT_TRUE(a.LoadFromFile(in));
    ASSERT_TRUE(b.LoadFromFileBmp(dir.file("out.DIB")));
    EXPECT_EQ(b.Params.DpiX, 96);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 13; ++x)
            ASSERT_EQ(a.Buffer()->GetPixelRGB(x, y), b.Buffer()->GetPixelRGB(x, y));
}

TEST(Cli, FailedConvertExitsNonZeroAndLeavesNoOutput)
{
    testsupport::TempDir dir;
    std::string in = makeBmp(dir, "in.bmp", 3, 3);
    {
        std::ofstream bad(dir.file("bad.bmp"), std::ios::binary);
        bad << "BM this is not a bitmap";
    }
    struct Case {
        const char* name;
        std::string args;
        const char* message;
    } cases[] = {
        {"damaged input", q(dir.file("bad.bmp")) + " " + q(dir.file("o1.bmp")), "cannot read"},
        {"missing input", q(dir.file("none.bmp")) + " " + q(dir.file("o2.bmp")), "Cannot open file"},
        {"unknown input extension", q(in) + ".xyz " + q(dir.file("o3.bmp")), "no reader"},
        {"no writer", q(in) + " " + q(dir.file("o4.xyz")), "no writer"},
        {"folder missing", q(in) + " " + q(dir.file("no/such/o5.bmp")), "Cannot create file"},
    };
    int i = 1;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Result r = cli("convert " + c.args, dir);
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        for (const char* ext : {".bmp", ".xyz"})
            EXPECT_FALSE(std::filesystem::exists(dir.file("o" + std::to_string(i) + ext)));
        ++i;
    }
}

}  // namespace
