#include "imaging/ops/Parallel.h"

#include <algorithm>

namespace ops {

namespace {
std::atomic<bool> g_singleThreaded{false};

// Below this much work per band a thread costs more than it saves.
constexpr int64_t kMinBytesPerBand = 256 * 1024;
constexpr int kMaxBands = 16;
}  // namespace

void SetSingleThreaded(bool on)
{
    g_singleThreaded.store(on);
}

bool SingleThreaded()
{
    return g_singleThreaded.load();
}

bool RowsShareable(const TImageBuffer& buffer)
{
    if (buffer.Location() == locTempFile)
        return false;
    const TImageBuffer* alpha = buffer.ExistingAlpha();
    return !alpha || alpha->Location() != locTempFile;
}

int PlanBands(int rows, int64_t bytesPerRow, bool shareable)
{
    if (SingleThreaded() || !shareable || rows < 2)
        return 1;
    int threads = int(std::thread::hardware_concurrency());
    if (threads <= 1)
        return 1;
    int64_t total = int64_t(rows) * std::max<int64_t>(bytesPerRow, 1);
    int64_t bySize = total / kMinBytesPerBand;
    int bands = int(std::min<int64_t>({int64_t(threads), int64_t(kMaxBands), int64_t(rows), bySize}));
    return std::max(bands, 1);
}

}  // namespace ops
