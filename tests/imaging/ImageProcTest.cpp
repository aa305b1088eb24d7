// The operation frame and the undo store of TImageProc, through a plain host.
#include "imaging/ImageProc.h"
#include "imaging/PlainHost.h"
#include "tests/imaging/ProcTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>

using namespace proctest;

namespace {

// A picture whose red channel tells which state it is in.
std::unique_ptr<TImageBuffer> StatePicture(uint8_t red)
{
    return Solid(4, 3, TRGB{10, 20, red});
}

uint8_t RedOf(TPlainHost& host)
{
    return host.CurrentImage()->RowPointer(0)[2];
}

}  // namespace

// ---- Undo and redo -------------------------------------------------------------

struct UndoStep {
    const char* action;  // "op1", "op2", "undo", "redo"
    uint8_t red;         // red of the picture afterwards: 100 = original, 110 = after op1, 130 = after op2
    int undoCount;
    int redoCount;
};

struct UndoCase {
    const char* name;
    std::vector<UndoStep> steps;
};

class UndoSequence : public ::testing::TestWithParam<UndoCase> {};

TEST_P(UndoSequence, FollowsTheOneLevelRules)
{
    TPlainHost host(StatePicture(100));
    TImageProc proc(host);
    for (size_t i = 0; i < GetParam().steps.size(); ++i) {
        const UndoStep& step = GetParam().steps[i];
        SCOPED_TRACE(std::to_string(i) + ": " + step.action);
        const std::string a = step.action;
        if (a == "op1")
            proc.IntensityRGBall(10, 0, 0);
        else if (a == "op2")
            proc.IntensityRGBall(20, 0, 0);
        else if (a == "undo")
            proc.RestoreUndoSnapshot();
        else if (a == "redo")
            proc.RestoreRedoSnapshot();
        EXPECT_EQ(RedOf(host), step.red);
        EXPECT_EQ(proc.UndoSnapshotCount(), step.undoCount);
        EXPECT_EQ(proc.RedoSnapshotCount(), step.redoCount);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Store, UndoSequence,
    ::testing::Values(
        // Two effects, undo twice, redo: the second undo overwrote the redo entry.
        UndoCase{"TwoEffectsUndoTwiceRedo",
                 {{"op1", 110, 1, 0}, {"op2", 130, 1, 0}, {"undo", 110, 1, 1}, {"undo", 110, 1, 1}, {"redo", 110, 1, 1}}},
        // Undo and redo toggle between before and after the last operation.
        UndoCase{"Toggle",
                 {{"op1", 110, 1, 0}, {"undo", 100, 1, 1}, {"redo", 110, 1, 1}, {"undo", 100, 1, 1}, {"redo", 110, 1, 1}}},
        // An operation leaves the redo entry alone.
        UndoCase{"OperationKeepsRedo",
                 {{"op1", 110, 1, 0}, {"undo", 100, 1, 1}, {"op2", 120, 1, 1}, {"redo", 110, 1, 1}, {"undo", 100, 1, 1}}},
        // Nothing stored: both do nothing.
        UndoCase{"EmptyStore", {{"undo", 100, 0, 0}, {"redo", 100, 0, 0}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(UndoStore, ClearSnapshotsEmptiesBothLists)
{
    TPlainHost host(StatePicture(100));
    TImageProc proc(host);
    proc.IntensityRGBall(10, 0, 0);
    proc.RestoreUndoSnapshot();
    ASSERT_EQ(proc.UndoSnapshotCount() + proc.RedoSnapshotCount(), 2);
    proc.ClearSnapshots();
    EXPECT_EQ(proc.UndoSnapshotCount(), 0);
    EXPECT_EQ(proc.RedoSnapshotCount(), 0);
    proc.RestoreUndoSnapshot();
    proc.RestoreRedoSnapshot();
    EXPECT_EQ(RedOf(host), 100);
}

TEST(UndoStore, SnapshotKeepsFormatAlphaAndSize)
{
    // A gray picture with alpha: the operation converts it to 24-bit, the
    // snapshot keeps the gray original, alpha included.
    auto original = RandomImage(5, 4, px8g, 7, true);
    auto expected = Copy(*original);
    TPlainHost host(std::move(original));
    TImageProc proc(host);
    proc.AdjustBrightnessContrastSaturation(10, 0, 0);
    EXPECT_EQ(host.CurrentImage()->PixelFormat(), px24RGB);
    proc.RestoreUndoSnapshot();
    EXPECT_TRUE(SameImage(*host.CurrentImage(), *expected));

    // Undo of a turn restores the old size.
    proc.Rotate(90);
    EXPECT_EQ(host.CurrentImage()->Width(), 4);
    proc.RestoreUndoSnapshot();
    EXPECT_TRUE(SameImage(*host.CurrentImage(), *expected));
}

TEST(UndoStore, TinyPicturesGetNoSnapshotButAreProcessed)
{
    struct Size {
        int w, h, snapshots;
    };
    for (Size s : {Size{1, 1, 0}, Size{1, 5, 0}, Size{5, 1, 0}, Size{2, 2, 1}}) {
        SCOPED_TRACE(std::to_string(s.w) + "x" + std::to_string(s.h));
        TPlainHost host(Gray(s.w, s.h, 100));
        TImageProc proc(host);
        proc.IntensityRGBall(5, 5, 5);
        EXPECT_EQ(proc.UndoSnapshotCount(), s.snapshots);
        EXPECT_EQ(host.CurrentImage()->RowPointer(0)[0], 105);
    }
}

TEST(UndoStore, NoSnapshotsWithoutAnOwner)
{
    TPlainHost host(Gray(4, 4, 100));
    TImageProc proc(host, /*owned=*/false);
    EXPECT_FALSE(proc.AutoUndo);
    proc.Flip(0);
    EXPECT_EQ(proc.UndoSnapshotCount(), 0);
    proc.SaveUndoSnapshot("manual");
    EXPECT_EQ(proc.UndoCaption(), "manual");
}

TEST(UndoStore, CaptionsNameTheOperationAndItsArguments)
{
    struct Case {
        std::function<void(TImageProc&)> op;
        const char* caption;
    };
    const std::vector<Case> cases = {
        {[](TImageProc& p) { p.AdjustBrightnessContrastSaturation(30, 30, 0); }, "AdjustBrightnessContrastSaturation"},
        {[](TImageProc& p) { p.AdjustLumSatHistogram(0.5, 0.4); }, "AdjustLumSatHistogram"},
        {[](TImageProc& p) { p.HistAutoEqualize(); }, "HistAutoEqualize"},
        {[](TImageProc& p) { p.WhiteBalance_AutoWhite(); }, "WhiteBalance_AutoWhite"},
        {[](TImageProc& p) { p.IntensityRGBall(-50, 20, -50); }, "IntensityRGBall -50,20,-50"},
        {[](TImageProc& p) { p.Rotate(90); }, "Rotate 90"},
        {[](TImageProc& p) { p.Rotate(-90); }, "Rotate -90"},
        {[](TImageProc& p) { p.Rotate(12.5); }, "Rotate 12.5"},
        {[](TImageProc& p) { p.Flip(1); }, "Flip"},
        {[](TImageProc& p) { p.CropSel(); }, "CropSel"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.caption);
        TPlainHost host(RandomImage(6, 5, px24RGB, 3));
        TImageProc proc(host);
        c.op(proc);
        EXPECT_EQ(proc.UndoCaption(), c.caption);
        proc.RestoreUndoSnapshot();
        EXPECT_EQ(proc.RedoCaption(), c.caption);
    }
}

TEST(UndoStore, TurnsThatBuildANewPictureKeepTheOldOneAsTheirSnapshot)
{
    // Each turn runs with both entries held (op, then undo): the undo entry
    // becomes the picture before the turn, the redo entry stays as it was,
    // and the turned pixels are those of a turn without any undo store.
    struct Case {
        const char* name;
        TPixelFormat format;
        double angle;
    };
    const std::vector<Case> cases = {
        {"free 17.5", px24RGB, 17.5},     {"free -30", px24RGB, -30},      {"quarter 90", px24RGB, 90},
        {"quarter -90", px24RGB, -90},    {"quarter and free 100", px24RGB, 100}, {"half and free 190", px24RGB, 190},
        {"full turn 360", px24RGB, 360},  {"gray picture, free 20", px8g, 20}, {"gray picture, quarter 90", px8g, 90},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto original = RandomImage(9, 6, c.format, 5, true);
        TPlainHost host(Copy(*original));
        TImageProc proc(host);
        proc.IntensityRGBall(10, 0, 0);
        const auto changed = Copy(*host.CurrentImage());
        proc.RestoreUndoSnapshot();
        ASSERT_EQ(proc.RedoSnapshotCount(), 1);

        proc.Rotate(c.angle);
        TPlainHost plain(Copy(*original));
        TImageProc(plain, false).Rotate(c.angle);
        EXPECT_TRUE(SameImage(*host.CurrentImage(), *plain.CurrentImage()));
        EXPECT_EQ(proc.UndoCaption(), "Rotate " + testing::PrintToString(c.angle));
        EXPECT_EQ(proc.RedoCaption(), "IntensityRGBall 10,0,0");

        proc.RestoreRedoSnapshot();
        EXPECT_TRUE(SameImage(*host.CurrentImage(), *changed));
        proc.RestoreUndoSnapshot();
        EXPECT_TRUE(SameImage(*host.CurrentImage(), *original));
    }
}

TEST(UndoStore, TinyPictureTurnKeepsTheEntryHeld)
{
    TPlainHost host(StatePicture(100));
    TImageProc proc(host);
    proc.IntensityRGBall(10, 0, 0);
    for (double angle : {17.5, 90.0, 180.0}) {
        SCOPED_TRACE(angle);
        host.ReplaceCurrentImage(Gray(1, 5, 100));
        proc.Rotate(angle);
        EXPECT_EQ(proc.UndoCaption(), "IntensityRGBall 10,0,0");
    }
    proc.RestoreUndoSnapshot();
    EXPECT_EQ(RedOf(host), 100);
}

// ---- No picture --------------------------------------------------------------------

TEST(OperationFrame, WithoutPictureNothingHappens)
{
    TPlainHost host;
    TEventLog log;
    log.Attach(host);
    TImageProc proc(host);
    proc.AdjustBrightnessContrastSaturation(30, 30, 0);
    proc.HistAutoEqualize();
    proc.Rotate(90);
    proc.Flip(0);
    proc.CropSel();
    proc.RestoreUndoSnapshot();
    EXPECT_EQ(proc.UndoSnapshotCount(), 0);
    EXPECT_TRUE(log.events.empty());
    EXPECT_EQ(host.CurrentImage(), nullptr);
}

// ---- Events and progress -----------------------------------------------------------

TEST(OperationFrame, EndsWithChangeThenProgress100ThenFinish)
{
    const std::vector<std::function<void(TImageProc&)>> ops = {
        [](TImageProc& p) { p.AdjustBrightnessContrastSaturation(30, 30, 0); },
        [](TImageProc& p) { p.AdjustLumSatHistogram(0.5, 0.4); },
        [](TImageProc& p) { p.HistAutoEqualize(); },
        [](TImageProc& p) { p.WhiteBalance_AutoWhite(); },
        [](TImageProc& p) { p.IntensityRGBall(1, 2, 3); },
        [](TImageProc& p) { p.Rotate(90); },
        [](TImageProc& p) { p.Rotate(180); },
        [](TImageProc& p) { p.Rotate(10); },
        [](TImageProc& p) { p.Flip(0); },
        [](TImageProc& p) { p.Flip(1); },
        [](TImageProc& p) { p.CropSel(); },
    };
    ops::SetSingleThreaded(true);
    for (size_t i = 0; i < ops.size(); ++i) {
        SCOPED_TRACE(i);
        TPlainHost host(RandomImage(40, 250, px24RGB, 11));
        TEventLog log;
        log.Attach(host);
        TImageProc proc(host);
        ops[i](proc);
        ASSERT_GE(log.events.size(), 3u);
        const size_t n = log.events.size();
        EXPECT_EQ(log.events[n - 3], "change");
        EXPECT_EQ(log.events[n - 2], "progress 100");
        EXPECT_EQ(log.events[n - 1], "finish");
        // Whole percent, only on change: strictly rising, within 0..100.
        for (size_t k = 0; k < log.progress.size(); ++k) {
            EXPECT_GE(log.progress[k], 0);
            EXPECT_LE(log.progress[k], 100);
            if (k > 0) {
                EXPECT_GT(log.progress[k], log.progress[k - 1]);
            }
        }
        EXPECT_EQ(std::count(log.events.begin(), log.events.end(), "change"), 1);
    }
    ops::SetSingleThreaded(false);
}

TEST(OperationFrame, RowProgressIsTruncatedPercentOfRowsDone)
{
    ops::SetSingleThreaded(true);
    TPlainHost host(RandomImage(3, 200, px24RGB, 5));
    TEventLog log;
    log.Attach(host);
    TImageProc proc(host);
    proc.IntensityRGBall(1, 1, 1);
    // After row y of 200 the report is trunc(y / 200 * 100): 0 .. 99, each once, then 100.
    std::vector<int> expected;
    for (int p = 0; p < 100; ++p)
        expected.push_back(p);
    expected.push_back(100);
    EXPECT_EQ(log.progress, expected);
    ops::SetSingleThreaded(false);
}

TEST(OperationFrame, ProgressStartsAfreshForEachOperation)
{
    TPlainHost host(Gray(3, 3, 50));
    TEventLog log;
    log.Attach(host);
    TImageProc proc(host);
    proc.IntensityRGBall(1, 1, 1);
    proc.IntensityRGBall(1, 1, 1);
    // Both operations report their first row (0) and their end (100).
    EXPECT_EQ(std::count(log.progress.begin(), log.progress.end(), 0), 2);
    EXPECT_EQ(std::count(log.progress.begin(), log.progress.end(), 100), 2);
}

TEST(OperationFrame, UndoAndRedoFireImageChange)
{
    TPlainHost host(Gray(3, 3, 50));
    TImageProc proc(host);
    proc.IntensityRGBall(1, 1, 1);
    const int before = host.ImageChangeCount();
    proc.RestoreUndoSnapshot();
    proc.RestoreRedoSnapshot();
    EXPECT_EQ(host.ImageChangeCount(), before + 2);
}

// ---- Selection ---------------------------------------------------------------------

namespace {

TSelection Checkerboard(int left, int top, int right, int bottom)
{
    TSelection s{left, top, right, bottom, {}};
    for (int y = top; y <= bottom; ++y)
        for (int x = left; x <= right; ++x)
            s.Mask.push_back(uint8_t((x + y) % 2));
    return s;
}

}  // namespace

TEST(OperationFrame, SelectionWritesBackOnlyInsideTheMask)
{
    struct Case {
        const char* name;
        TSelection selection;
    };
    const std::vector<Case> cases = {
        {"rectangle", TSelection{2, 1, 6, 4, {}}},
        {"checkerboard mask", Checkerboard(1, 1, 7, 5)},
        {"reaching past the picture", TSelection{-3, -2, 4, 3, {}}},
        {"mask past the picture", Checkerboard(5, 3, 12, 9)},
        {"single pixel", TSelection{0, 0, 0, 0, {}}},
        {"far corners", TSelection{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX, {}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto original = RandomImage(9, 7, px24RGB, 21, true);
        auto before = Copy(*original);
        TPlainHost host(std::move(original));
        host.SetSelection(c.selection);
        TImageProc proc(host);
        proc.IntensityRGBall(40, -40, 40);
        TImageBuffer& after = *host.CurrentImage();
        EXPECT_EQ(AlphaBytes(after), AlphaBytes(*before));
        int changed = 0;
        for (int y = 0; y < 7; ++y) {
            for (int x = 0; x < 9; ++x) {
                const uint8_t* o = before->RowPointer(y) + x * 3;
                const uint8_t* n = after.RowPointer(y) + x * 3;
                if (c.selection.Covers(x, y)) {
                    EXPECT_EQ(n[2], std::min(255, o[2] + 40)) << x << "," << y;
                    EXPECT_EQ(n[1], std::max(0, o[1] - 40)) << x << "," << y;
                    ++changed;
                } else {
                    EXPECT_TRUE(std::equal(o, o + 3, n)) << x << "," << y;
                }
            }
        }
        EXPECT_GT(changed, 0);
    }
}

TEST(OperationFrame, SelectionOfEveryPixelGivesTheBytesOfNoSelection)
{
    const std::vector<std::pair<const char*, std::function<void(TImageProc&)>>> ops = {
        {"IntensityRGBall", [](TImageProc& p) { p.IntensityRGBall(40, -40, 40); }},
        {"HistAutoEqualize", [](TImageProc& p) { p.HistAutoEqualize(); }},
        {"WallisFilter", [](TImageProc& p) { p.WallisFilter(2, 2, 50, 50, 50, 10, 50, false); }},
        {"AutoImageEnhance3", [](TImageProc& p) { p.AutoImageEnhance3(80, 0.35); }},
    };
    std::vector<uint8_t> everyPixel(size_t(23) * 17, 1);
    const std::vector<std::pair<const char*, TSelection>> selections = {
        {"picture rectangle", TSelection{0, 0, 22, 16, {}}},
        {"larger rectangle", TSelection{-4, -2, 30, 20, {}}},
        {"mask of every pixel", TSelection{0, 0, 22, 16, everyPixel}},
    };
    const auto source = RandomImage(23, 17, px8g, 12, true);
    for (const auto& [opName, op] : ops) {
        TPlainHost plain(Copy(*source));
        TImageProc proc(plain);
        op(proc);
        for (const auto& [selName, sel] : selections) {
            SCOPED_TRACE(std::string(opName) + ", " + selName);
            TPlainHost host(Copy(*source));
            host.SetSelection(sel);
            TImageProc selected(host);
            op(selected);
            EXPECT_TRUE(SameImage(*host.CurrentImage(), *plain.CurrentImage()));
            selected.RestoreUndoSnapshot();
            EXPECT_TRUE(SameImage(*host.CurrentImage(), *source));
        }
    }
}

TEST(OperationFrame, MaskShorterThanItsRectangleSelectsOnlyWhatItHolds)
{
    auto original = RandomImage(6, 4, px24RGB, 9);
    auto before = Copy(*original);
    TPlainHost host(std::move(original));
    host.SetSelection(TSelection{0, 0, 5, 3, {1, 1}});  // two pixels of 24
    TImageProc(host).IntensityRGBall(0, 0, 60);
    TImageBuffer& after = *host.CurrentImage();
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x) {
            const bool changed = !std::equal(after.RowPointer(y) + x * 3, after.RowPointer(y) + x * 3 + 3,
                                             before->RowPointer(y) + x * 3);
            const bool blueCanChange = before->RowPointer(y)[x * 3] < 255;
            EXPECT_EQ(changed, y == 0 && x < 2 && blueCanChange) << x << "," << y;
        }
}

TEST(OperationFrame, SelectionOutsideThePictureChangesNothing)
{
    auto original = RandomImage(5, 5, px24RGB, 4);
    auto before = Copy(*original);
    TPlainHost host(std::move(original));
    host.SetSelection(TSelection{10, 10, 20, 20, {}});
    TImageProc proc(host);
    proc.IntensityRGBall(40, 40, 40);
    EXPECT_TRUE(SameImage(*host.CurrentImage(), *before));
    EXPECT_EQ(proc.UndoSnapshotCount(), 1);
}

TEST(OperationFrame, StatisticsComeFromTheSelectionOnly)
{
    // Equalising inside a selection sees only the selected rectangle: the
    // result there equals equalising a picture cut to that rectangle.
    auto full = RandomImage(20, 16, px24RGB, 8);
    TSelection sel{4, 3, 13, 11, {}};
    const int w = int(sel.Width()), h = int(sel.Height());
    auto cut = std::make_unique<TImageBuffer>(w, h, px24RGB);
    full->CopyRect(*cut, sel.Left, sel.Top, w, h, 0, 0);

    TPlainHost whole(std::move(full));
    whole.SetSelection(sel);
    TImageProc(whole).HistAutoEqualize();
    TPlainHost part(std::move(cut));
    TImageProc(part).HistAutoEqualize();

    auto inside = std::make_unique<TImageBuffer>(w, h, px24RGB);
    whole.CurrentImage()->CopyRect(*inside, sel.Left, sel.Top, w, h, 0, 0);
    EXPECT_EQ(PixelBytes(*inside), PixelBytes(*part.CurrentImage()));
}

TEST(OperationFrame, BeginOperationConvertsOnlyUnacceptedFormats)
{
    TPlainHost host(RandomImage(4, 4, px8g, 2));
    TImageProc proc(host);
    TImageProc::TOperation op = proc.BeginOperation("Test", {px8g, px24RGB});
    ASSERT_TRUE(op.Run);
    EXPECT_EQ(op.Work->PixelFormat(), px8g);
    proc.EndOperation(op);
    op = proc.BeginOperation("Test", {px24RGB});
    ASSERT_TRUE(op.Run);
    EXPECT_EQ(host.CurrentImage()->PixelFormat(), px24RGB);
    proc.EndOperation(op);
}
