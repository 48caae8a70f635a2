#pragma once
#include "control/run_state.h"

namespace vornel {

// Takes the transfer file named by the control file in as the document's next
// snapshot when it differs from the newest one, keeping at most depth snapshots.
void Intake(RunState& rs);

}  // namespace vornel
