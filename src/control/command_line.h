#pragma once
#include "control/run_state.h"

namespace vornel {

inline constexpr const char* kArgumentWarning =
    "Bad Frequency (min=1 sec) or Depth (max=998 backups) argument!";

// What a start without arguments (a double click) shows, touching nothing.
inline constexpr const char* kUsage =
    "Vornel runs with a command line, in one of these forms:\n"
    "\n"
    "vornel 11107B 5 20\twatch mode: every 5 seconds, when XyWrite is in front, type the keys "
    "11 10 7B (Ctrl+Shift+F12) and file the copy its macro saves; keep 20 snapshots\n"
    "vornel K 20\tfile the copy the macro has just saved, once\n"
    "vornel U LETTER\tstep back one snapshot of LETTER into VN\\LETTER.VRN\n"
    "vornel R LETTER\tstep forward one snapshot of LETTER\n"
    "vornel Q\tstop watch mode\n"
    "vornel T 11107B\tcheck the setup: click into XyWrite within 15 seconds; the keys are typed once and what "
    "the macro writes is checked\n"
    "\n"
    "README.md beside vornel.exe explains the rest.";

// Reads the command line into the run state: mode, and the mode's arguments.
// Bad watch-mode numbers get the warning box and end the program; so does an
// empty command line, with the command forms.
void ReadCommandLine(RunState& rs);

// Places the working directory and the control file.
void PlaceWorkingDirectory(RunState& rs);

// Looks for a stale control file and deletes it, except for command K, which
// is there to take it in. Looked for in every mode, so that a missing
// working directory fails here, before a key is typed or a file touched.
// One written less than kFreshSave ms ago is a save on its way, not stale:
// a macro on a host that does not wait for vornel.exe saves as it starts U,
// often before this run is under way, and the next intake takes it in.
inline constexpr Long kFreshSave = 5000;
void ClearStaleControlFile(RunState& rs);

}  // namespace vornel
