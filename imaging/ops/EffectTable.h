#pragma once
// The fifteen one-click effects of the editor's gallery: three tabs of five,
// each one call of a processing operation with fixed arguments. The editor's
// previews and the command line's `effect` both go through this table.
#include <string>
#include <string_view>
#include <vector>

class TImageProc;

struct TEffect {
    int Tab = 0;         // 0 "Основное", 1 "Улучшение", 2 "Поворот"
    int Index = 0;       // position of the preview, 0..4
    const char* Caption; // shown under the preview; empty on the turn tab
    const char* Alias;   // ASCII name for the command line
};

// The tab captions, in order.
extern const char* const EffectTabCaptions[3];

// All fifteen, tab by tab.
const std::vector<TEffect>& EffectTable();

// By caption or alias (exact match); nullptr when unknown.
const TEffect* FindEffect(std::string_view name);

// Whether the operation behind the effect exists in this build.
bool EffectAvailable(const TEffect& effect);

// Applies the effect through `proc`. `preview` takes the preview arguments
// (they differ for "Тёмное" only). Returns false, changing nothing, when the
// effect is not available.
bool ApplyEffect(TImageProc& proc, const TEffect& effect, bool preview = false);
