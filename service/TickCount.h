#pragma once

#include <cstdint>

/// The timer's ticks in an interval of `interval` minutes.
std::int64_t TicksPerInterval(std::int32_t interval);
/// How many ticks the timer can sleep through, TickCounter counted, before the one that runs
/// the cycle; 1 when that is the next.
std::int32_t TicksUntilRun(std::int64_t ticksPerRun);
/// Counts a tick in TickCounter; true when it is one that runs the cycle, which restarts the
/// count at 1. Throws Overflow rather than wrap.
bool CountTick(std::int64_t ticksPerRun);
