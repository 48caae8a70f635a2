#include "control/watch_cycle.h"

#include "store/intake.h"
#include "trigger/player.h"

namespace vornel {

void RunWatchCycle(RunState& rs) {
    Platform& platform = rs.platform;
    SetCheckpoint(rs, 6);
    for (;;) {
        if (rs.mode == kWatch) platform.Sleep(rs.interval);
        const WindowHandle window = platform.GetForegroundWindow();
        std::string title = Padded(kTitleBufferSize, ' ');
        platform.GetWindowTextA(window, title, kTitleBufferSize);
        SetCheckpoint(rs, 7);
        if (Find(Upper(title), kWordProcessorTitle) == 1) {
            if (rs.mode < kSingleIntake) {
                Play(rs, rs.trigger);
                platform.Sleep(kSavePause);
            }
            SetCheckpoint(rs, 10);
            Intake(rs);
            SetCheckpoint(rs, 14);
            if (rs.mode >= kStepBack && rs.mode <= 4) return;
        }
        if (rs.mode == kSingleIntake) EndProgram(platform);
        if (rs.mode != kWatch) platform.Sleep(kFrontPollPause);  // command U, still waiting
    }
}

}  // namespace vornel
