#pragma once
#include "control/run_state.h"

namespace vornel {

// Counts the current document's snapshots and finds the lowest and highest
// numbers; with none found: count 1, lowest 1, highest 1, exists 0.
void Inventory(RunState& rs);

// True when a snapshot is filed under the three-digit number n (0 to 999).
bool SnapshotExists(RunState& rs, Long n);

}  // namespace vornel
