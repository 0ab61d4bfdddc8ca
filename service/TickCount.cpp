#include "service/TickCount.h"

#include <algorithm>
#include <limits>

#include "platform/RuntimeError.h"
#include "settings/modPublic.h"

namespace {

std::int32_t Checked32(std::int64_t ticks) {
    if (ticks > std::numeric_limits<std::int32_t>::max() ||
        ticks < std::numeric_limits<std::int32_t>::min()) {
        throw platform::errors::OverflowError();
    }
    return static_cast<std::int32_t>(ticks);
}

}  // namespace

std::int64_t TicksPerInterval(std::int32_t interval) {
    return std::int64_t{interval} * 60;
}

std::int32_t TicksUntilRun(std::int64_t ticksPerRun) {
    // Out of range, the tick itself reports the overflow.
    if (TickCounter == 0 || ticksPerRun > std::numeric_limits<std::int32_t>::max()) {
        return 1;
    }
    return static_cast<std::int32_t>(std::max<std::int64_t>(1, ticksPerRun - TickCounter));
}

bool CountTick(std::int64_t ticksPerRun) {
    if (TickCounter != 0) {
        if (TickCounter == std::numeric_limits<std::int32_t>::max()) {
            throw platform::errors::OverflowError();
        }
        ++TickCounter;
        if (TickCounter < Checked32(ticksPerRun)) {
            return false;
        }
    }
    TickCounter = 1;
    return true;
}
