#pragma once
// Two runs of the program on one simulated machine, the way XyWrite's keys
// start them beside watch mode. The first runs alone up to its n-th platform
// operation; there the second starts and runs until it ends or finds VN\ held.
// A run that finds it held runs again when the other lets go or ends: every
// interleaving the lock allows, one start point at a time.
#include "platform/memory/memory_platform.h"

namespace vornel::test {

// Runs both to their ends; false when the second never got to start (the
// first ended in fewer operations).
bool RunOverlapped(MemoryPlatform& first, MemoryPlatform& second, long startAt);

}  // namespace vornel::test
