#pragma once
#include "control/run_state.h"

namespace vornel {

// The document's name in the control file's text: all but its last
// character, which the macro adds after the name (a Ctrl-Z, a blank).
std::string NameInControlFile(const std::string& text);

// The file operations one intake makes that another program's brief hold
// can delay (each waited out up to kHoldWait): the control file's read and
// delete, two sizes and a comparison, two retired snapshots, and the copy's
// rename or delete. A renumbering, once numbers reach 999, adds its renames.
inline constexpr int kIntakeHeldOperations = 8;

// Whether the word processor's save is all there: the control file closed,
// and the transfer file it names there and closed. A look that changes
// nothing; a control file whose text names no file the intake could take is
// there for the intake to say what is wrong with it.
bool SaveArrived(RunState& rs);

// Takes the transfer file named by the control file in as the document's next
// snapshot when it differs from the newest one, keeping at most depth snapshots.
void Intake(RunState& rs);

}  // namespace vornel
