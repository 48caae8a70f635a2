#pragma once
#include <string>

#include "control/run_state.h"

namespace vornel {

inline constexpr const char* kToggleKeys = "14|90|91|2D";
inline constexpr const char* kModifierKeys = "10|11|A0|A1|A2|A3|12|A4|A5|14|90|91|2D|5B|5C|FF";
inline constexpr const char* kShiftKeys = "10|A0|A1";
inline constexpr Long kCapsLock = 0x14;

// Types a row of two-digit hexadecimal virtual-key codes into the window in
// front. Modifiers and toggles are held until the end and released newest
// first; keys the user already holds or has toggled on are left alone.
// Keys that Windows would drop, or drops, are a failure, never a silent pass:
// then nothing is typed, or every key pressed is let up again.
void Play(RunState& rs, const std::string& sequence, WindowHandle window = 0);

}  // namespace vornel
