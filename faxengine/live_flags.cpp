#include "faxengine/live_flags.h"

#include <atomic>

namespace faxengine {

namespace {
std::atomic<bool> gUseSm56Fix{false};
}

void setUseSm56Fix(bool on) { gUseSm56Fix.store(on, std::memory_order_relaxed); }
bool useSm56Fix() { return gUseSm56Fix.load(std::memory_order_relaxed); }

} // namespace faxengine
