#include "control/watch_cycle.h"

#include <algorithm>
#include <optional>

#include "control/turns.h"
#include "platform/patient_platform.h"
#include "store/intake.h"
#include "trigger/player.h"

namespace vornel {

static_assert(kStopWait >= kTurnWait + kSavePause + kIntakeHeldOperations * kHoldWait);

std::string StillWatching() {
    return "Watch mode on this VN\\ did not stop within " + Digits(kStopWait / 1000) +
           " seconds; it may be stuck. End vornel.exe in Task Manager (Details tab), then start watch mode again.";
}

namespace {

// The pause after the keys: over as soon as the macro's save has arrived,
// at kSavePause by the clock at the latest. Each look takes the turn, so no
// other run's intake takes the control file from under it.
void AwaitSave(RunState& rs) {
    Platform& platform = rs.platform;
    const std::int64_t start = platform.Milliseconds();
    for (;;) {
        {
            const DirectoryTurn turn(rs);
            if (SaveArrived(rs)) return;
        }
        const std::int64_t waited = platform.Milliseconds() - start;
        if (waited >= kSavePause) return;
        platform.Sleep(static_cast<std::int32_t>(std::min<std::int64_t>(kSaveLook, kSavePause - waited)));
    }
}

}  // namespace

bool IsWordProcessorTitle(const std::string& title, Long codePage) {
    return Find(Upper(title, codePage), kWordProcessorTitle) == 1;
}

void RunWatchCycle(RunState& rs) {
    Platform& platform = rs.platform;
    // A second watch mode on the same VN\ takes over from the first, which
    // ends between passes: two would type two chords per interval.
    std::optional<WatchClaim> claim;
    if (rs.mode == kWatch) {
        claim.emplace(rs);
        rs.boxFocus = BoxFocus::Behind;  // from here on nobody is waiting for this run
    }
    SetCheckpoint(rs, 6);
    for (;;) {
        if (rs.mode == kWatch && platform.SleepUnlessTakenOver(rs.interval)) EndProgram(platform);
        const WindowHandle window = platform.GetForegroundWindow();
        std::string title = Padded(kTitleBufferSize, ' ');
        platform.GetWindowTextA(window, title, kTitleBufferSize);
        SetCheckpoint(rs, 7);
        if (IsWordProcessorTitle(title, rs.codePage)) {
            if (rs.mode < kSingleIntake) {
                if (!Play(rs, rs.trigger, window)) {
                    if (++rs.refusedPasses >= kRefusedPassLimit)
                        Raise(kKeysRefused, "Windows took none of the keys on " + Digits(kRefusedPassLimit) +
                                                " passes in a row while XyWrite was in front (a program that blocks "
                                                "input); nothing was pressed");
                    continue;  // nothing typed, nothing to wait for: the next pass tries again
                }
                rs.refusedPasses = 0;
                SetCheckpoint(rs, 10);  // the looks for the save are the intake's first steps
                AwaitSave(rs);
            }
            SetCheckpoint(rs, 10);
            {
                const DirectoryTurn turn(rs);
                Intake(rs);
            }
            SetCheckpoint(rs, 14);
            if (rs.mode >= kStepBack && rs.mode <= 4) return;
        } else {
            rs.refusedPasses = 0;  // only refusals with the word processor in front, in a row, add up
        }
        if (rs.mode == kSingleIntake) EndProgram(platform);
        if (rs.mode != kWatch) platform.Sleep(kFrontPollPause);  // command U, still waiting
    }
}

void StopWatchMode(RunState& rs) {
    // Silent when it worked: the user wanted watching to stop, and it has.
    const bool stopped = rs.platform.ClaimWatch(rs.workingDirectory, kStopWait);
    rs.platform.ReleaseWatch(rs.workingDirectory);
    if (!stopped) rs.platform.MessageBox(StillWatching(), 0, std::string(kProgramTitle), "", 0, BoxFocus::Front);
    EndProgram(rs.platform);
}

}  // namespace vornel
