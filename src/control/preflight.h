#pragma once
#include "control/run_state.h"

namespace vornel {

// The driver of commands U and R: reads the inventory and the state file,
// captures first when command U has made no step yet, then steps. Never returns.
[[noreturn]] void Preflight(RunState& rs);

}  // namespace vornel
