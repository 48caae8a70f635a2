#pragma once
#include <string>

#include "control/run_state.h"

namespace vornel {

inline constexpr const char* kToggleKeys = "14|90|91|2D";
inline constexpr const char* kModifierKeys = "10|11|A0|A1|A2|A3|12|A4|A5|14|90|91|2D|5B|5C|FF";
inline constexpr const char* kShiftKeys = "10|A0|A1";
inline constexpr Long kCapsLock = 0x14;

// The pause between two key events, and what the pauses of one row may add
// up to, in milliseconds.
inline constexpr std::int32_t kKeyPause = 10;
inline constexpr std::int32_t kKeyPausesAtMost = 250;

// Types a row of two-digit hexadecimal virtual-key codes into the window in
// front. Modifiers and toggles are held until the end and released newest
// first; keys the user already holds or has toggled on are left alone.
// Keys that Windows would drop are a failure, and nothing is typed. False
// when Windows took none of the keys (input belongs to a locked or secure
// desktop this moment): nothing was pressed. When it took only some, every
// key pressed is let up again and the failure says whether that worked.
bool Play(RunState& rs, const std::string& sequence, WindowHandle window = 0);

inline constexpr const char* kKeysCutAllUp =
    "Windows took only some of the keys (a locked desktop or a program that blocks input); every key Vornel "
    "pressed is up again";
inline constexpr const char* kKeysCutSomeDown =
    "Windows took only some of the keys (a locked desktop or a program that blocks input), and refused to let "
    "them up again: a key Vornel pressed may still be down. Press and let go of Ctrl, Shift and Alt once";

}  // namespace vornel
