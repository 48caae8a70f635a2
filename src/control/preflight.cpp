#include "control/preflight.h"

#include "control/turns.h"
#include "control/watch_cycle.h"
#include "store/inventory.h"
#include "store/stepping.h"

namespace vornel {

void Preflight(RunState& rs) {
    {
        const DirectoryTurn turn(rs);
        SettleNameReading(rs);
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
        // Stepping at once keeps the turn: nobody can step in between.
        if (rs.mode == kStepForward || rs.state > 1) Step(rs, true);
    }
    RunWatchCycle(rs);  // command U's capture pass, which takes a turn for its intake
    const DirectoryTurn turn(rs);
    // Another run may have stepped meanwhile: go on from its step, so that
    // two presses make two steps. With no state file the start's pointer stands.
    ReadStateFile(rs);
    Step(rs, false);
}

}  // namespace vornel
