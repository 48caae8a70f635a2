#pragma once
#include "control/run_state.h"

namespace vornel {

// The last step from the state file ("2 17": state from the first character,
// pointer from the third on); false, with nothing read, when there is none.
bool ReadStateFile(RunState& rs);

// One step back (U) or forward (R): the chosen snapshot is copied to the
// result file and the state file records it. Never returns.
[[noreturn]] void Step(RunState& rs, bool inventoryIsFresh);

}  // namespace vornel
