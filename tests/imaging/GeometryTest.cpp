// Turns, mirrors, free rotation and the crop.
#include "imaging/ImageProc.h"
#include "imaging/ImagingSettings.h"
#include "imaging/PlainHost.h"
#include "tests/imaging/ProcTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <thread>

using namespace proctest;

namespace {

// One pixel's bytes (for px1g: its bit as 0 or 1).
std::vector<uint8_t> PixelAt(TImageBuffer& b, int x, int y)
{
    const uint8_t* row = b.RowPointer(y);
    if (b.BitCount() == 1)
        return {uint8_t((row[x >> 3] >> (7 - (x & 7))) & 1)};
    const size_t bpp = size_t(b.BitCount() / 8);
    return std::vector<uint8_t>(row + size_t(x) * bpp, row + size_t(x + 1) * bpp);
}

uint8_t AlphaAt(TImageBuffer& b, int x, int y)
{
    return const_cast<TImageBuffer*>(b.ExistingAlpha())->RowPointer(y)[x];
}

// Where source pixel (x, y) of a w x h picture lands.
using Mapping = std::function<std::pair<int, int>(int x, int y, int w, int h)>;

void ExpectPermutation(TImageBuffer& src, TImageBuffer& dst, int dstW, int dstH, const Mapping& map)
{
    ASSERT_EQ(dst.Width(), dstW);
    ASSERT_EQ(dst.Height(), dstH);
    ASSERT_EQ(dst.PixelFormat(), src.PixelFormat());
    ASSERT_EQ(dst.HasAlpha(), src.HasAlpha());
    for (int y = 0; y < src.Height(); ++y) {
        for (int x = 0; x < src.Width(); ++x) {
            auto [dx, dy] = map(x, y, src.Width(), src.Height());
            ASSERT_EQ(PixelAt(dst, dx, dy), PixelAt(src, x, y)) << x << "," << y << " -> " << dx << "," << dy;
            if (src.HasAlpha()) {
                ASSERT_EQ(AlphaAt(dst, dx, dy), AlphaAt(src, x, y)) << x << "," << y;
            }
        }
    }
    if (src.Palette()) {
        EXPECT_TRUE(std::equal(src.Palette(), src.Palette() + 256, dst.Palette()));
    }
}

const Mapping CounterClockwise = [](int x, int y, int w, int) { return std::pair{y, w - 1 - x}; };
const Mapping Clockwise = [](int x, int y, int, int h) { return std::pair{h - 1 - y, x}; };
const Mapping HalfTurn = [](int x, int y, int w, int h) { return std::pair{w - 1 - x, h - 1 - y}; };
const Mapping Mirror = [](int x, int y, int w, int) { return std::pair{w - 1 - x, y}; };
const Mapping UpsideDown = [](int x, int y, int, int h) { return std::pair{x, h - 1 - y}; };

const TPixelFormat AllFormats[] = {px1g,  px8p,   px8g,    pxGray16, px24RGB,
                                   px32f, pxCMYK, pxRGB48, pxCIELab, pxRGB32};

struct TurnCase {
    const char* name;
    std::function<void(TImageProc&)> op;
    Mapping map;
    bool swapsSize;
};

const std::vector<TurnCase>& TurnCases()
{
    static const std::vector<TurnCase> cases = {
        {"Rotate90", [](TImageProc& p) { p.Rotate(90); }, CounterClockwise, true},
        {"RotateMinus90", [](TImageProc& p) { p.Rotate(-90); }, Clockwise, true},
        {"Rotate180", [](TImageProc& p) { p.Rotate(180); }, HalfTurn, false},
        {"RotateMinus180", [](TImageProc& p) { p.Rotate(-180); }, HalfTurn, false},
        {"Rotate270", [](TImageProc& p) { p.Rotate(270); }, Clockwise, true},
        {"Rotate450", [](TImageProc& p) { p.Rotate(450); }, CounterClockwise, true},
        {"Rotate90.0004", [](TImageProc& p) { p.Rotate(90.0004); }, CounterClockwise, true},
        {"FlipMirror", [](TImageProc& p) { p.Flip(0); }, Mirror, false},
        {"FlipUpsideDown", [](TImageProc& p) { p.Flip(1); }, UpsideDown, false},
    };
    return cases;
}

}  // namespace

// ---- Exact permutations ------------------------------------------------------------

TEST(Turns, RotateNinetyOfThreeByTwo)
{
    // a b c        c f
    // d e f   ->   b e
    //              a d
    auto img = FromPixels(3, 2, {TRGB{1, 1, 1}, TRGB{2, 2, 2}, TRGB{3, 3, 3}, TRGB{4, 4, 4}, TRGB{5, 5, 5}, TRGB{6, 6, 6}});
    TPlainHost host(std::move(img));
    TImageProc(host).Rotate(90);
    TImageBuffer& out = *host.CurrentImage();
    ASSERT_EQ(out.Width(), 2);
    ASSERT_EQ(out.Height(), 3);
    std::vector<uint8_t> blues;
    for (const TRGB& c : Pixels(out))
        blues.push_back(c.b);
    EXPECT_EQ(blues, (std::vector<uint8_t>{3, 6, 2, 5, 1, 4}));
}

TEST(Turns, ArePermutationsInEveryFormatWithAlpha)
{
    struct Size {
        int w, h;
    };
    for (TPixelFormat format : AllFormats) {
        for (Size size : {Size{1, 1}, Size{13, 5}, Size{5, 13}, Size{33, 17}, Size{2, 1}}) {
            for (const TurnCase& c : TurnCases()) {
                SCOPED_TRACE(std::string(c.name) + " format " + std::to_string(format) + " " + std::to_string(size.w) +
                             "x" + std::to_string(size.h));
                auto src = RandomImage(size.w, size.h, format, uint32_t(format * 100 + size.w), format != px8g);
                auto original = Copy(*src);
                TPlainHost host(std::move(src));
                TImageProc proc(host, false);
                c.op(proc);
                ExpectPermutation(*original, *host.CurrentImage(), c.swapsSize ? size.h : size.w,
                                  c.swapsSize ? size.w : size.h, c.map);
            }
        }
    }
}

TEST(Turns, UndoingEachTurnByItsInverseRestoresTheBytes)
{
    auto src = RandomImage(31, 7, px1g, 5, true);
    auto original = Copy(*src);
    TPlainHost host(std::move(src));
    TImageProc proc(host);
    proc.Flip(1);
    proc.Flip(1);
    EXPECT_TRUE(SameImage(*host.CurrentImage(), *original));
    proc.Flip(0);
    proc.Flip(0);
    EXPECT_TRUE(SameImage(*host.CurrentImage(), *original));
    proc.Rotate(90);
    proc.Rotate(-90);
    EXPECT_TRUE(SameImage(*host.CurrentImage(), *original));
    proc.Rotate(180);
    proc.Rotate(180);
    EXPECT_TRUE(SameImage(*host.CurrentImage(), *original));
}

TEST(Turns, ZeroAngleAndUnknownDirectionDoNothing)
{
    TPlainHost host(RandomImage(4, 3, px24RGB, 1));
    TEventLog log;
    log.Attach(host);
    TImageProc proc(host);
    proc.Rotate(0);
    proc.Flip(2);
    proc.Flip(-1);
    EXPECT_EQ(proc.UndoSnapshotCount(), 0);
    EXPECT_TRUE(log.events.empty());
    // A full turn stores the snapshot and leaves the pixels.
    auto before = Copy(*host.CurrentImage());
    proc.Rotate(360);
    EXPECT_EQ(proc.UndoCaption(), "Rotate 360");
    EXPECT_TRUE(SameImage(*host.CurrentImage(), *before));
}

TEST(Turns, IgnoreTheSelection)
{
    TPlainHost host(RandomImage(6, 4, px24RGB, 2));
    host.SetSelection(TSelection{1, 1, 2, 2, {}});
    auto original = Copy(*host.CurrentImage());
    TImageProc proc(host);
    proc.Rotate(-90);
    ExpectPermutation(*original, *host.CurrentImage(), 4, 6, Clockwise);
}

TEST(Turns, OneThreadAndManyGiveTheSameBytes)
{
    auto source = RandomImage(1200, 700, px24RGB, 77, true);
    for (const TurnCase& c : TurnCases()) {
        SCOPED_TRACE(c.name);
        const TThreadRuns runs = RunOnManyAndOneThread(*source, c.op);
        EXPECT_EQ(runs.pixels[0], runs.pixels[1]);
        EXPECT_EQ(runs.alpha[0], runs.alpha[1]);
    }
}

TEST(Turns, FileBackedPicturesGiveTheSameBytes)
{
    // With a tiny threshold every buffer keeps its rows in a temporary file;
    // the turns must still produce exactly the in-memory result.
    auto source = RandomImage(45, 23, px24RGB, 31, true);
    std::vector<std::vector<uint8_t>> inMemory;
    for (const TurnCase& c : TurnCases()) {
        TPlainHost host(Copy(*source));
        TImageProc proc(host, false);
        c.op(proc);
        inMemory.push_back(PixelBytes(*host.CurrentImage()));
    }
    const int64_t saved = ImagingSettings().TempFileThreshold;
    ImagingSettings().TempFileThreshold = 64;
    for (size_t i = 0; i < TurnCases().size(); ++i) {
        SCOPED_TRACE(TurnCases()[i].name);
        auto fileBacked = std::make_unique<TImageBuffer>();
        ASSERT_TRUE(fileBacked->Assign(*source));
        TPlainHost host(std::move(fileBacked));
        TImageProc proc(host, false);
        TurnCases()[i].op(proc);
        EXPECT_EQ(host.CurrentImage()->Location(), locTempFile);
        EXPECT_EQ(PixelBytes(*host.CurrentImage()), inMemory[i]);
    }
    ImagingSettings().TempFileThreshold = saved;
}

// ---- Free rotation -------------------------------------------------------------------

TEST(FreeRotation, TurnsOntoTheBackground)
{
    const TRGB colour{40, 90, 200};
    const TColor background = RGBToColor(1, 2, 3);
    for (double angle : {30.0, -20.0, 10.0, 135.0}) {
        SCOPED_TRACE(angle);
        TPlainHost host(Solid(60, 40, colour));
        TImageProc proc(host);
        proc.Rotate(angle, true, 0, background);
        TImageBuffer& out = *host.CurrentImage();
        // The bounding box of the turned picture.
        const double r = angle * 3.141592653589793 / 180.0;
        EXPECT_NEAR(out.Width(), std::fabs(60 * std::cos(r)) + std::fabs(40 * std::sin(r)), 1.0);
        EXPECT_NEAR(out.Height(), std::fabs(60 * std::sin(r)) + std::fabs(40 * std::cos(r)), 1.0);
        EXPECT_EQ(out.PixelFormat(), px24RGB);
        const std::vector<TRGB> px = Pixels(out);
        const TRGB centre = px[size_t(out.Height() / 2 * out.Width() + out.Width() / 2)];
        EXPECT_EQ(centre, colour);
        EXPECT_EQ(px[0], ColorToTRGB(background));
        EXPECT_EQ(px.back(), ColorToTRGB(background));
    }
}

TEST(FreeRotation, MinusOneMeansTheHostBackgroundAndOtherFormatsBecome24Bit)
{
    TPlainHost host(RandomImage(20, 20, px8g, 3, true));
    host.SetBackgroundColor(RGBToColor(250, 0, 0));
    TImageProc proc(host);
    proc.Rotate(20, false);
    TImageBuffer& out = *host.CurrentImage();
    EXPECT_EQ(out.PixelFormat(), px24RGB);
    EXPECT_TRUE(out.HasAlpha());
    EXPECT_EQ(Pixels(out)[0], (TRGB{0, 0, 250}));
    EXPECT_EQ(AlphaAt(out, 0, 0), 255);
}

TEST(FreeRotation, OneThreadAndManyGiveTheSameBytes)
{
    auto source = RandomImage(900, 700, px24RGB, 8, true);
    for (bool smooth : {true, false}) {
        const TThreadRuns runs = RunOnManyAndOneThread(*source, [smooth](TImageProc& p) { p.Rotate(17.5, smooth); });
        EXPECT_EQ(runs.pixels[0], runs.pixels[1]);
        EXPECT_EQ(runs.alpha[0], runs.alpha[1]);
    }
}

TEST(FreeRotation, QuarterTurnsAndAFreeTurnInOnePassGiveTheBytesOfTwoSteps)
{
    // The free turn reads the quarter-turned picture straight from the
    // source; the bytes are those of the quarter turn made first.
    struct Case {
        double angle, quarter, rest;
    };
    const std::vector<Case> cases = {
        {100, 90, 10},   {-100, -90, -10}, {190, 180, 10},  {-170, 180, 10},
        {260, -90, -10}, {135, 90, 45},    {17.5, 0, 17.5},
    };
    for (TPixelFormat format : {px24RGB, px8g}) {
        auto source = RandomImage(37, 21, format, 13, true);
        for (const Case& c : cases) {
            for (bool smooth : {true, false}) {
                SCOPED_TRACE(testing::Message() << c.angle << (smooth ? " bilinear" : " nearest") << " format "
                                                << int(format));
                TPlainHost once(Copy(*source));
                TImageProc(once, false).Rotate(c.angle, smooth, 0, 0x123456);
                TPlainHost twice(Copy(*source));
                TImageProc steps(twice, false);
                if (c.quarter != 0)
                    steps.Rotate(c.quarter, smooth, 0, 0x123456);
                steps.Rotate(c.rest, smooth, 0, 0x123456);
                EXPECT_TRUE(SameImage(*once.CurrentImage(), *twice.CurrentImage()));
            }
        }
    }
}

TEST(FreeRotation, FileBackedPicturesTakeTheQuarterTurnsOnly)
{
    auto source = RandomImage(30, 20, px24RGB, 4);
    TPlainHost quarter(Copy(*source));
    TImageProc(quarter, false).Rotate(90);
    const int64_t saved = ImagingSettings().TempFileThreshold;
    ImagingSettings().TempFileThreshold = 64;
    auto fileBacked = std::make_unique<TImageBuffer>();
    ASSERT_TRUE(fileBacked->Assign(*source));
    TPlainHost host(std::move(fileBacked));
    TImageProc proc(host);
    proc.Rotate(100);
    ImagingSettings().TempFileThreshold = saved;
    EXPECT_EQ(PixelBytes(*host.CurrentImage()), PixelBytes(*quarter.CurrentImage()));
    EXPECT_EQ(proc.UndoCaption(), "Rotate 100");
    proc.RestoreUndoSnapshot();
    EXPECT_EQ(PixelBytes(*host.CurrentImage()), PixelBytes(*source));
}

// ---- Crop ------------------------------------------------------------------------

TEST(CropSel, KeepsTheSelectedRectangleWithAlpha)
{
    for (TPixelFormat format : {px24RGB, px1g, px8p, pxRGB48}) {
        SCOPED_TRACE(int(format));
        auto src = RandomImage(20, 15, format, 9, true);
        auto original = Copy(*src);
        TPlainHost host(std::move(src));
        host.SetSelection(TSelection{3, 2, 12, 10, {}});
        TImageProc proc(host);
        proc.CropSel();
        TImageBuffer& out = *host.CurrentImage();
        ASSERT_EQ(out.Width(), 10);
        ASSERT_EQ(out.Height(), 9);
        ASSERT_EQ(out.PixelFormat(), format);
        for (int y = 0; y < 9; ++y)
            for (int x = 0; x < 10; ++x) {
                ASSERT_EQ(PixelAt(out, x, y), PixelAt(*original, x + 3, y + 2));
                ASSERT_EQ(AlphaAt(out, x, y), AlphaAt(*original, x + 3, y + 2));
            }
        EXPECT_EQ(proc.UndoCaption(), "CropSel");
        proc.RestoreUndoSnapshot();
        EXPECT_TRUE(SameImage(*host.CurrentImage(), *original));
    }
}

TEST(CropSel, PixelsOutsideTheMaskGetTheBackground)
{
    auto src = RandomImage(8, 8, px24RGB, 12);
    auto original = Copy(*src);
    TPlainHost host(std::move(src));
    host.SetBackgroundColor(RGBToColor(7, 8, 9));
    TSelection sel{2, 2, 5, 4, {}};
    for (int i = 0; i < 12; ++i)
        sel.Mask.push_back(uint8_t(i % 3 != 0));
    host.SetSelection(sel);
    TImageProc(host).CropSel();
    TImageBuffer& out = *host.CurrentImage();
    ASSERT_EQ(out.Width(), 4);
    ASSERT_EQ(out.Height(), 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) {
            const std::vector<uint8_t> expected =
                sel.Covers(x + 2, y + 2) ? PixelAt(*original, x + 2, y + 2) : std::vector<uint8_t>{9, 8, 7};
            EXPECT_EQ(PixelAt(out, x, y), expected) << x << "," << y;
        }
}

TEST(CropSel, WithoutSelectionOnlyTheSnapshotIsStored)
{
    for (TSelection sel : {TSelection{}, TSelection{30, 30, 40, 40, {}}}) {
        auto src = RandomImage(8, 6, px24RGB, 13);
        auto original = Copy(*src);
        TPlainHost host(std::move(src));
        host.SetSelection(sel);
        TImageProc proc(host);
        proc.CropSel();
        EXPECT_TRUE(SameImage(*host.CurrentImage(), *original));
        EXPECT_EQ(proc.UndoSnapshotCount(), 1);
    }
}

TEST(CropSel, SelectionPastThePictureIsClipped)
{
    auto src = RandomImage(10, 10, px24RGB, 14);
    auto original = Copy(*src);
    TPlainHost host(std::move(src));
    host.SetSelection(TSelection{6, -4, 25, 3, {}});
    TImageProc(host).CropSel();
    TImageBuffer& out = *host.CurrentImage();
    ASSERT_EQ(out.Width(), 4);
    ASSERT_EQ(out.Height(), 4);
    EXPECT_EQ(PixelAt(out, 0, 0), PixelAt(*original, 6, 0));
    EXPECT_EQ(PixelAt(out, 3, 3), PixelAt(*original, 9, 3));
}
