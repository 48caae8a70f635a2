#pragma once
#include "control/run_state.h"

namespace vornel {

inline constexpr Long kTitleBufferSize = 255;
inline constexpr Long kSavePause = 1500;  // ms the word processor gets to save
// ms between two looks for the save during that pause, which ends as soon as
// the save is all there.
inline constexpr Long kSaveLook = 40;
// ms command U rests between looks for the word processor: short enough to
// catch it at once, long enough not to take a core from it meanwhile.
inline constexpr Long kFrontPollPause = 10;
inline constexpr const char* kWordProcessorTitle = "XYWRITE";

// A pass whose keys Windows takes none of (the screen was locked between the
// title test and the keys) is a pass without the word processor in front;
// this many in a row, with its title still in front, is something that
// blocks input all day, and the user is told.
inline constexpr Small kRefusedPassLimit = 10;

// The title test: the word processor is in front when the title begins with
// XYWRITE, in any mix of letter cases.
bool IsWordProcessorTitle(const std::string& title, Long codePage);

// The main loop. Watch mode: forever, one pass per interval. Command K: one
// pass, then the end. Command U: returns after the first pass that found the
// word processor in front.
void RunWatchCycle(RunState& rs);

// Command Q: asks the watch mode running on this working directory to end,
// between two passes, and waits until it has: as long as a pass can take
// (the wait for its turn, the save, and a hold on each file its intake
// touches). Touches no file and shows nothing, also when no watch mode runs;
// a watch mode that is still running after that gets a box that says what
// to do.
inline constexpr Long kStopWait = 60000;
std::string StillWatching();  // that box's text
[[noreturn]] void StopWatchMode(RunState& rs);

}  // namespace vornel
