#pragma once
#include "control/run_state.h"

namespace vornel {

// Commands U and R: read the inventory and the state file, capture first when
// command U has made no step yet, then step. Never returns.
[[noreturn]] void Preflight(RunState& rs);

// One step back (U) or forward (R): the chosen snapshot is copied to the
// result file and the state file records it. Never returns.
[[noreturn]] void Step(RunState& rs, bool inventoryIsFresh);

}  // namespace vornel
