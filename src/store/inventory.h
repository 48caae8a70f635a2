#pragma once
#include "control/run_state.h"

namespace vornel {

// Counts the current document's snapshots and finds the lowest and highest
// numbers; with none found: count 1, lowest 1, highest 1, exists 0.
void Inventory(RunState& rs);

// A document name with bytes above 127 is read once, where it enters the
// store. A DOS host may hand the bytes on as they are (the ANSI code page
// reads them) or turn them into Unicode from its own code page (the OEM one):
// the name stays as it is when the document has files under it, or when
// neither reading finds any; otherwise it becomes its OEM reading, when the
// document has files under that.
void SettleNameReading(RunState& rs);

// True when a snapshot is filed under the three-digit number n (0 to 999).
bool SnapshotExists(RunState& rs, Long n);

}  // namespace vornel
