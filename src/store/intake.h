#pragma once
#include "control/run_state.h"

namespace vornel {

// The document's name in the control file's text: all but its last
// character, which the macro adds after the name (a Ctrl-Z, a blank).
std::string NameInControlFile(const std::string& text);

// Takes the transfer file named by the control file in as the document's next
// snapshot when it differs from the newest one, keeping at most depth snapshots.
void Intake(RunState& rs);

}  // namespace vornel
