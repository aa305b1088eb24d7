#include "imaging/ops/EffectTable.h"

#include "imaging/ImageProc.h"

const char* const EffectTabCaptions[3] = {"Основное", "Улучшение", "Поворот"};

const std::vector<TEffect>& EffectTable()
{
    static const std::vector<TEffect> table = {
        {0, 0, "Яркое", "bright"},
        {0, 1, "Тёмное", "dark"},
        {0, 2, "Насыщенное", "saturated"},
        {0, 3, "Бледное", "pale"},
        {0, 4, "Красочное", "colorful"},
        {1, 0, "Натуральный цвет", "natural"},
        {1, 1, "Нормализация", "normalize"},
        {1, 2, "Баланс белого", "white-balance"},
        {1, 3, "Детализация", "detail"},
        {1, 4, "Освещённость", "lighting"},
        {2, 0, "", "rotate-left"},
        {2, 1, "", "rotate-right"},
        {2, 2, "", "rotate-180"},
        {2, 3, "", "mirror"},
        {2, 4, "", "upside-down"},
    };
    return table;
}

const TEffect* FindEffect(std::string_view name)
{
    if (name.empty())
        return nullptr;
    for (const TEffect& e : EffectTable())
        if (name == e.Alias || name == e.Caption)
            return &e;
    return nullptr;
}

bool EffectAvailable(const TEffect& effect)
{
    return effect.Tab >= 0 && effect.Tab < 3 && effect.Index >= 0 && effect.Index < 5;
}

bool ApplyEffect(TImageProc& proc, const TEffect& effect, bool preview)
{
    if (!EffectAvailable(effect))
        return false;
    switch (effect.Tab * 5 + effect.Index) {
    case 0: proc.AdjustBrightnessContrastSaturation(30, 30, 0); break;
    case 1: proc.AdjustBrightnessContrastSaturation(-15, preview ? 40 : 20, 0); break;
    case 2: proc.AdjustBrightnessContrastSaturation(0, 5, 65); break;
    case 3: proc.AdjustBrightnessContrastSaturation(0, 15, -35); break;
    case 4: proc.AdjustLumSatHistogram(0.5, 0.4); break;
    case 5: proc.AdjustLumSatHistogram(0.1, 0.1); break;
    case 6: proc.HistAutoEqualize(); break;
    case 7: proc.WhiteBalance_AutoWhite(); break;
    case 8: proc.WallisFilter(2, 2, 50, 50, 50, 10, 50, false); break;
    case 9: proc.AutoImageEnhance3(80, 0.35); break;
    case 10: proc.Rotate(90, true, 0, -1); break;
    case 11: proc.Rotate(-90, true, 0, -1); break;
    case 12: proc.Rotate(180, true, 0, -1); break;
    case 13: proc.Flip(0); break;
    case 14: proc.Flip(1); break;
    default: return false;
    }
    return true;
}
