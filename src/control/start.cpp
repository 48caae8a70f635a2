#include "control/start.h"

#include <new>

#include "control/command_line.h"
#include "control/failure_handler.h"
#include "control/preflight.h"
#include "control/setup_check.h"
#include "control/turns.h"
#include "control/watch_cycle.h"
#include "platform/patient_platform.h"

namespace vornel {

void Start(Platform& system) {
    // Another program's brief hold on a file in VN\ is waited out, for every
    // file operation of the run.
    PatientPlatform platform(system);
    RunState rs(platform);
    // The one failure handler of the run: armed first, never replaced.
    try {
        SetCheckpoint(rs, 1);
        rs.codePage = platform.GetCodePages().ansi;
        ReadCommandLine(rs);
        SetCheckpoint(rs, 2);
        PlaceWorkingDirectory(rs);
        if (rs.mode == kStopWatch) StopWatchMode(rs);
        if (rs.mode == kCheckSetup) CheckSetup(rs);  // before the stale control file goes: T touches nothing
        {
            const DirectoryTurn turn(rs);
            ClearStaleControlFile(rs);
        }
        SetCheckpoint(rs, 3);
        if (rs.mode >= kStepBack && rs.mode <= 4)
            Preflight(rs);
        else
            RunWatchCycle(rs);
        EndProgram(platform);
    } catch (const Failure& failure) {
        ReportFailure(rs, failure);
    } catch (const std::bad_alloc&) {
        ReportFailure(rs, MakeFailure(kOutOfMemory));
    }
}

}  // namespace vornel
