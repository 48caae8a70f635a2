#pragma once
#include "control/run_state.h"

namespace vornel {

inline constexpr Long kSetupFrontWait = 15000;  // ms T waits for the word processor to come to the front
inline constexpr Long kSetupAnswerWait = 5000;  // ms it waits for the macro's answer to the keys
// ms it waits when XyWrite's host started it: the macro that did may still be
// busy (a wait for DOC.VRN) before XyWrite reads the chord.
inline constexpr Long kSetupHostAnswerWait = 15000;
inline constexpr Long kSetupAnswerPoll = 50;    // ms between its looks for that answer
inline constexpr const char* kSetupReady = "Ready";

// Command T: checks, in one step, the chain a user sets up and watch mode
// cannot see: a window titled XYWRITE..., keys that reach it, a chord bound
// to a macro, and a macro that writes the right files into VN\. Types the
// keys (if given) once, reads what the macro wrote, and shows what it found
// in one box: the verdict first, then the rest. Files nothing, deletes
// nothing, and asks no watch mode to end. Never returns.
[[noreturn]] void CheckSetup(RunState& rs);

}  // namespace vornel
