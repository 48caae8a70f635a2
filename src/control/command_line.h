#pragma once
#include "control/run_state.h"

namespace vornel {

inline constexpr const char* kArgumentWarning =
    "Bad Frequency (min=1 sec) or Depth (max=998 backups) argument!";

// Reads the command line into the run state: mode, and the mode's arguments.
// Bad watch-mode numbers get the warning box and end the program.
void ReadCommandLine(RunState& rs);

// Places the working directory and the control file.
void PlaceWorkingDirectory(RunState& rs);

// Looks for a stale control file and deletes it, except for command K, which
// is there to take it in. Looked for in every mode, so that a missing
// working directory fails here, before a key is typed or a file touched.
void ClearStaleControlFile(RunState& rs);

}  // namespace vornel
