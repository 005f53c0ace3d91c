#include "base/ScreenMetrics.h"

#include <atomic>

namespace qrp {
namespace {
std::atomic<int> g_screenPpi{96};
}

int ScreenPixelsPerInch() { return g_screenPpi.load(std::memory_order_relaxed); }

void SetScreenPixelsPerInch(int ppi)
{
    if (ppi > 0)
        g_screenPpi.store(ppi, std::memory_order_relaxed);
}

} // namespace qrp
