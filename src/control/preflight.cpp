#include "control/preflight.h"

#include "control/turns.h"
#include "control/watch_cycle.h"
#include "store/inventory.h"
#include "store/names.h"
#include "store/stepping.h"

namespace vornel {

namespace {

// A name that arrives as a path was most likely rewritten by the host on its
// way from the macro: DOSBox-X's starttranspath turns an argument that names
// a file on a mounted folder into that file's Windows path.
void CheckNameFromCommandLine(const RunState& rs) {
    if (!IsPath(rs.documentName, rs.codePage)) return;
    Raise(kBadFileName, MakeFailure(kBadFileName).description +
                            ": the document name is a path. The macro must pass the name alone (U LETTER); on "
                            "DOSBox-X, set starttranspath=false, or it passes an argument that names a DOS file as "
                            "that file's Windows path");
}

}  // namespace

void Preflight(RunState& rs) {
    CheckNameFromCommandLine(rs);
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
    // two presses make two steps. Else a capture that filed the document as
    // it stands is where the step back starts, so it lands on the version
    // before the edit; with nothing filed the start's pointer stands.
    if (!(ReadStateFile(rs) && rs.state > 1) && rs.filed >= 0) rs.pointer = rs.filed;
    Step(rs, false);
}

}  // namespace vornel
