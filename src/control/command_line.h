#pragma once
#include "control/run_state.h"

namespace vornel {

inline constexpr const char* kArgumentWarning =
    "Bad Frequency (min=1 sec) or Depth (max=998 backups) argument!";

// Reads the command line into the run state: mode, and the mode's arguments.
// Bad watch-mode numbers get the warning box and end the program.
void ReadCommandLine(RunState& rs);

// Places the working directory and the control file; clears a stale control
// file except for command K, which is there to take it in.
void PlaceWorkingDirectory(RunState& rs);

}  // namespace vornel
