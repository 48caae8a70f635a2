#include "trigger/player.h"

#include <algorithm>
#include <vector>

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

KeyEvent Event(Long code, std::uint8_t scan, std::uint32_t flags) {
    return KeyEvent{ToByte(code), scan, flags | (IsExtendedKey(code) ? kKeyEventExtended : 0)};
}

std::uint8_t ScanCode(Platform& platform, Long code) {
    return ToByte(platform.MapVirtualKeyA(code, 0));
}

// A letter key, 41 (A) to 5A (Z): the only keys whose case Caps Lock flips.
bool IsLetterKey(const std::string& code) {
    if (code.size() != 2 || !IsHexDigit(code[1])) return false;
    return (code[0] == '4' && code[1] != '0') || (code[0] == '5' && (code[1] <= '9' || code[1] == 'A'));
}

// For each code, by its index (p - 1) / 2: whether the first code after it
// that is neither a modifier nor a toggle is a letter, where a Shift would
// turn Caps Lock's capital back into a small letter. Worked out from the end
// in one pass, so a long row of modifiers costs no more than its length.
std::vector<bool> LettersFollowing(const std::string& sequence, Small n) {
    std::vector<bool> after(static_cast<std::size_t>(n / 2 + 1), false);
    bool letter = false;
    for (Long q = n - (n % 2 == 0 ? 1 : 0); q >= 1; q -= 2) {
        after[static_cast<std::size_t>((q - 1) / 2)] = letter;
        const std::string code = Upper(Mid(sequence, q, 2));
        if (!InList(kToggleKeys, code) && !InList(kModifierKeys, code)) letter = IsLetterKey(code);
    }
    return after;
}

// True when the code goes on the held list; false when it is to be skipped.
// Only called for codes in the toggle or modifier list.
bool ShouldHold(const KeyboardState& keys, const std::string& code, bool beforeLetter) {
    if (InList(kToggleKeys, code)) return !IsDownOrOn(keys, HexValue(code));
    if (IsDown(keys, HexValue(code))) return false;
    if (InList(kShiftKeys, code) && beforeLetter && IsDownOrOn(keys, kCapsLock)) return false;
    return true;
}

// Windows shows a generic modifier pressed as its left key too, and a left or
// right one as the generic key; the chord's own presses count the same way.
void MarkHeld(KeyboardState& keys, Long code) {
    keys[static_cast<std::size_t>(code)] |= 0x80;
    switch (code) {
        case 0x10: keys[0xA0] |= 0x80; break;
        case 0x11: keys[0xA2] |= 0x80; break;
        case 0x12: keys[0xA4] |= 0x80; break;
        case 0xA0: case 0xA1: keys[0x10] |= 0x80; break;
        case 0xA2: case 0xA3: keys[0x11] |= 0x80; break;
        case 0xA4: case 0xA5: keys[0x12] |= 0x80; break;
        default: break;
    }
}

// Windows took only the first `taken` events: every key among them still
// down goes up again, newest first, so that the user's next letters are not
// read as Ctrl or Alt chords. The let-ups may be refused too (the desktop is
// still locked): what was not taken is tried once more. False when a key
// may still be down.
bool LetUpWhatWasPressed(Platform& platform, const std::vector<KeyEvent>& events, std::size_t taken) {
    std::vector<KeyEvent> down;
    for (std::size_t i = 0; i < taken; ++i) {
        const KeyEvent& e = events[i];
        if (e.flags & kKeyEventKeyUp)
            std::erase_if(down, [&](const KeyEvent& d) { return d.vk == e.vk; });
        else
            down.push_back(e);
    }
    std::vector<KeyEvent> ups;
    for (auto it = down.rbegin(); it != down.rend(); ++it) ups.push_back(KeyEvent{it->vk, it->scan, it->flags | kKeyEventKeyUp});
    for (int attempt = 0; attempt < 2 && !ups.empty(); ++attempt)
        ups.erase(ups.begin(), ups.begin() + static_cast<std::ptrdiff_t>(std::min(platform.SendInput(ups), ups.size())));
    return ups.empty();
}

// Sends the events a pause apart; how many Windows took, from the first. A
// row so long that its pauses would fill a good part of a pass goes out with
// shorter ones, and past that in one piece.
std::size_t SendPaced(Platform& platform, const std::vector<KeyEvent>& events) {
    if (events.size() > static_cast<std::size_t>(kKeyPausesAtMost)) return platform.SendInput(events);
    const std::int32_t pause = std::min(kKeyPause, kKeyPausesAtMost / static_cast<std::int32_t>(events.size()));
    std::size_t taken = 0;
    for (const KeyEvent& e : events) {
        if (taken > 0) platform.Sleep(pause);
        if (platform.SendInput({e}) == 0) break;
        ++taken;
    }
    return taken;
}

}  // namespace

// Every event of the chord is worked out first, from the keys as they are
// now, and only then sent, so a bad code fails before anything is sent and
// no key is left down. The events go out one at a time, a short pause apart:
// a DOS host writes its shift flags as each event reaches it, but hands the
// keys to the DOS program's own keyboard handler later, so a chord sent in
// one piece reached XyWrite as F12 alone, its Ctrl and Shift already up.
bool Play(RunState& rs, const std::string& sequence, WindowHandle window) {
    Platform& platform = rs.platform;
    if (!sequence.empty() && platform.KeyDeliveryTo(window) == KeyDelivery::Dropped) {
        SetCheckpoint(rs, 8);
        Raise(kKeysDropped);
    }
    std::vector<KeyEvent> events;
    std::string held;
    std::vector<Long> holding;  // what this chord has pressed so far
    const Small n = ToSmall(Len(sequence));
    const std::vector<bool> letterAfter = LettersFollowing(sequence, n);
    for (Small p = 1; p <= n; p = AddSmall(p, 2)) {
        const std::string code = Upper(Mid(sequence, p, 2));
        bool releaseLater = false;
        KeyboardState keys{};
        platform.GetKeyboardState(keys);
        for (const Long pressed : holding) MarkHeld(keys, pressed);
        SetCheckpoint(rs, 8);
        bool skip = false;
        if (InList(kToggleKeys, code) || InList(kModifierKeys, code)) {
            if (ShouldHold(keys, code, letterAfter[static_cast<std::size_t>((p - 1) / 2)])) {
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
            events.push_back(Event(value, scan, 0));
            if (releaseLater)
                holding.push_back(value);
            else
                events.push_back(Event(value, scan, kKeyEventKeyUp));
        }
        SetCheckpoint(rs, 9);
    }
    if (!held.empty()) {
        SetCheckpoint(rs, 16);
        const Small m = ToSmall(Len(held));
        for (Small q = 1; q <= m; q = AddSmall(q, 2)) {
            const Long value = HexValue(Mid(held, q, 2));
            events.push_back(Event(value, ScanCode(platform, value), kKeyEventKeyUp));
        }
    }
    if (events.empty()) return true;
    const std::size_t taken = SendPaced(platform, events);
    if (taken == 0) return false;  // nothing pressed: nothing to let up
    if (taken < events.size()) 
        Raise(kKeysRefused, LetUpWhatWasPressed(platform, events, taken) ? kKeysCutAllUp : kKeysCutSomeDown);
    return true;
}

}  // namespace vornel
