// The gallery's effect table: names, the call behind each effect, and the
// effects whose operations are not built yet.
#include "imaging/ImageProc.h"
#include "imaging/PlainHost.h"
#include "imaging/ops/EffectTable.h"
#include "tests/imaging/ProcTestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>

using namespace proctest;

namespace {

std::vector<uint8_t> After(const TImageBuffer& source, const std::function<void(TImageProc&)>& op)
{
    TPlainHost host(Copy(source));
    TImageProc proc(host);
    op(proc);
    return PixelBytes(*host.CurrentImage());
}

}  // namespace

TEST(EffectTable, FifteenEffectsFiveATabWithUniqueNames)
{
    ASSERT_EQ(EffectTable().size(), 15u);
    std::set<std::string> aliases;
    for (size_t i = 0; i < EffectTable().size(); ++i) {
        const TEffect& e = EffectTable()[i];
        EXPECT_EQ(e.Tab, int(i / 5));
        EXPECT_EQ(e.Index, int(i % 5));
        EXPECT_TRUE(aliases.insert(e.Alias).second) << e.Alias;
        EXPECT_EQ(FindEffect(e.Alias), &e);
        if (*e.Caption) {
            EXPECT_EQ(FindEffect(e.Caption), &e);
        }
        for (const char* p = e.Alias; *p; ++p)
            EXPECT_LT(uint8_t(*p), 128) << e.Alias;
    }
    EXPECT_EQ(FindEffect("Яркое")->Alias, std::string("bright"));
    EXPECT_EQ(FindEffect(""), nullptr);
    EXPECT_EQ(FindEffect("sepia"), nullptr);
    EXPECT_STREQ(EffectTabCaptions[2], "Поворот");
}

TEST(EffectTable, EachEffectIsItsOperationWithFixedArguments)
{
    struct Case {
        const char* alias;
        std::function<void(TImageProc&)> op;
    };
    const std::vector<Case> cases = {
        {"bright", [](TImageProc& p) { p.AdjustBrightnessContrastSaturation(30, 30, 0); }},
        {"dark", [](TImageProc& p) { p.AdjustBrightnessContrastSaturation(-15, 20, 0); }},
        {"saturated", [](TImageProc& p) { p.AdjustBrightnessContrastSaturation(0, 5, 65); }},
        {"pale", [](TImageProc& p) { p.AdjustBrightnessContrastSaturation(0, 15, -35); }},
        {"colorful", [](TImageProc& p) { p.AdjustLumSatHistogram(0.5, 0.4); }},
        {"natural", [](TImageProc& p) { p.AdjustLumSatHistogram(0.1, 0.1); }},
        {"normalize", [](TImageProc& p) { p.HistAutoEqualize(); }},
        {"white-balance", [](TImageProc& p) { p.WhiteBalance_AutoWhite(); }},
        {"detail", [](TImageProc& p) { p.WallisFilter(2, 2, 50, 50, 50, 10, 50, false); }},
        {"lighting", [](TImageProc& p) { p.AutoImageEnhance3(80, 0.35); }},
        {"rotate-left", [](TImageProc& p) { p.Rotate(90); }},
        {"rotate-right", [](TImageProc& p) { p.Rotate(-90); }},
        {"rotate-180", [](TImageProc& p) { p.Rotate(180); }},
        {"mirror", [](TImageProc& p) { p.Flip(0); }},
        {"upside-down", [](TImageProc& p) { p.Flip(1); }},
    };
    auto source = RandomImage(24, 17, px24RGB, 5);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.alias);
        const TEffect* e = FindEffect(c.alias);
        ASSERT_NE(e, nullptr);
        EXPECT_TRUE(EffectAvailable(*e));
        bool applied = false;
        const std::vector<uint8_t> got = After(*source, [&](TImageProc& p) { applied = ApplyEffect(p, *e); });
        EXPECT_TRUE(applied);
        EXPECT_EQ(got, After(*source, c.op));
    }
}

TEST(EffectTable, DarkPreviewUsesContrast40)
{
    auto source = RandomImage(24, 17, px24RGB, 6);
    const TEffect& dark = *FindEffect("dark");
    EXPECT_EQ(After(*source, [&](TImageProc& p) { ApplyEffect(p, dark, true); }),
              After(*source, [](TImageProc& p) { p.AdjustBrightnessContrastSaturation(-15, 40, 0); }));
    const TEffect& bright = *FindEffect("bright");
    EXPECT_EQ(After(*source, [&](TImageProc& p) { ApplyEffect(p, bright, true); }),
              After(*source, [&](TImageProc& p) { ApplyEffect(p, bright, false); }));
}
