#include "trigger/player.h"

namespace vornel {

namespace {

bool InList(const char* list, const std::string& code) { return Find(list, code) > 0; }

bool IsDown(const KeyboardState& keys, Long code) { return (keys[static_cast<std::size_t>(code)] & 0x80) != 0; }
bool IsDownOrOn(const KeyboardState& keys, Long code) {
    return (keys[static_cast<std::size_t>(code)] & 0x81) != 0;
}

// Keys whose scan code carries the E0 prefix on a real keyboard. Sent without
// the extended flag, a console or DOS program reads Home as keypad 7 (typing
// "7" with Num Lock on) and right Ctrl as the left one.
bool IsExtendedKey(Long code) {
    switch (code) {
        case 0x21: case 0x22: case 0x23: case 0x24:  // Page Up, Page Down, End, Home
        case 0x25: case 0x26: case 0x27: case 0x28:  // the arrows
        case 0x2C: case 0x2D: case 0x2E:             // Print Screen, Insert, Delete
        case 0xA3: case 0xA5:                        // right Ctrl, right Alt
        case 0x5B: case 0x5C: case 0x5D:             // Windows keys, Applications
        case 0x6F: case 0x90:                        // keypad Divide, Num Lock
            return true;
        default: return false;
    }
}

void Send(Platform& platform, Long code, std::uint8_t scan, std::uint32_t flags) {
    platform.keybd_event(ToByte(code), scan, flags | (IsExtendedKey(code) ? kKeyEventExtended : 0), 0);
}

std::uint8_t ScanCode(Platform& platform, Long code) {
    return ToByte(platform.MapVirtualKeyA(code, 0));
}

// True when the code goes on the held list; false when it is to be skipped.
// Only called for codes in the toggle or modifier list.
bool ShouldHold(const KeyboardState& keys, const std::string& code) {
    if (InList(kToggleKeys, code)) return !IsDownOrOn(keys, HexValue(code));
    if (IsDown(keys, HexValue(code))) return false;
    if (InList(kShiftKeys, code) && IsDownOrOn(keys, kCapsLock)) return false;
    return true;
}

}  // namespace

void Play(RunState& rs, const std::string& sequence) {
    Platform& platform = rs.platform;
    std::string held;
    const Small n = ToSmall(Len(sequence));
    for (Small p = 1; p <= n; p = AddSmall(p, 2)) {
        const std::string code = Upper(Mid(sequence, p, 2));
        bool releaseLater = false;
        KeyboardState keys{};
        platform.GetKeyboardState(keys);
        SetCheckpoint(rs, 8);
        bool skip = false;
        if (InList(kToggleKeys, code) || InList(kModifierKeys, code)) {
            if (ShouldHold(keys, code)) {
                // Held codes are kept two characters wide, so a one-digit code
                // cannot shift the list and leave its neighbours pressed.
                held = Right("0" + code, 2) + held;
                releaseLater = true;
            } else {
                skip = true;
            }
        }
        if (!skip) {
            const Long value = HexValue(code);
            const std::uint8_t scan = ScanCode(platform, value);
            Send(platform, value, scan, 0);
            if (!releaseLater) Send(platform, value, scan, kKeyEventKeyUp);
        }
        SetCheckpoint(rs, 9);
    }
    if (!held.empty()) {
        SetCheckpoint(rs, 16);
        const Small m = ToSmall(Len(held));
        for (Small q = 1; q <= m; q = AddSmall(q, 2)) {
            const Long value = HexValue(Mid(held, q, 2));
            Send(platform, value, ScanCode(platform, value), kKeyEventKeyUp);
        }
    }
}

}  // namespace vornel
