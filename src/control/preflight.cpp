#include "control/preflight.h"

#include "control/watch_cycle.h"
#include "store/inventory.h"
#include "store/stepping.h"

namespace vornel {

void Preflight(RunState& rs) {
    Inventory(rs);
    if (rs.exists == 0) EndProgram(rs.platform);
    SetCheckpoint(rs, 4);
    if (!ReadStateFile(rs)) {
        if (rs.mode == kStepForward) {
            rs.platform.Beep();  // no step back yet: nothing to step forward to
            EndProgram(rs.platform);
        }
        rs.state = 0;
        rs.pointer = rs.highest;
    }
    if (rs.mode == kStepForward || rs.state > 1) Step(rs, true);
    RunWatchCycle(rs);  // command U's capture pass
    Step(rs, false);
}

}  // namespace vornel
