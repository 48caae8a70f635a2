#include "trigger/player.h"

#include <gtest/gtest.h>

#include "support/sim.h"

namespace vornel::test {
namespace {

KeyEvent Down(int vk, int scan) { return KeyEvent{static_cast<std::uint8_t>(vk), static_cast<std::uint8_t>(scan), 0}; }
KeyEvent Up(int vk, int scan) { return KeyEvent{static_cast<std::uint8_t>(vk), static_cast<std::uint8_t>(scan), 2}; }
KeyEvent ExtDown(int vk) { return KeyEvent{static_cast<std::uint8_t>(vk), 0, 1}; }
KeyEvent ExtUp(int vk) { return KeyEvent{static_cast<std::uint8_t>(vk), 0, 3}; }

// Scan codes of the simulation (Windows' own for these keys).
const KeyEvent kCtrlDown = Down(0x11, 0x1D), kCtrlUp = Up(0x11, 0x1D);
const KeyEvent kShiftDown = Down(0x10, 0x2A), kShiftUp = Up(0x10, 0x2A);
const KeyEvent kADown = Down(0x41, 0x1E), kAUp = Up(0x41, 0x1E);
const KeyEvent kCapsDown = Down(0x14, 0x3A), kCapsUp = Up(0x14, 0x3A);

struct PlayCase {
    const char* name;
    const char* sequence;
    std::vector<std::pair<int, int>> keys;  // keyboard state entries: code, bits
    std::vector<KeyEvent> events;
    int checkpoint;
};

class PlayerTest : public ::testing::TestWithParam<PlayCase> {};

TEST_P(PlayerTest, SendsExactlyTheseEvents) {
    const PlayCase& c = GetParam();
    MemoryPlatform p;
    for (auto [code, bits] : c.keys) p.keyboard[static_cast<std::size_t>(code)] = static_cast<std::uint8_t>(bits);
    RunState rs(p);
    rs.checkpoint = 7;
    Play(rs, c.sequence);
    EXPECT_EQ(p.keyEvents, c.events);
    // One event at a time, 10 ms apart (less in a row of more than 25): a
    // DOS host must see each one before the next.
    std::vector<std::vector<KeyEvent>> one;
    for (const KeyEvent& e : c.events) one.push_back({e});
    EXPECT_EQ(p.keyBatches, one);
    const std::int32_t pause = c.events.size() <= 25 ? kKeyPause : 250 / static_cast<std::int32_t>(c.events.size());
    EXPECT_EQ(p.sleeps, std::vector<std::int32_t>(c.events.empty() ? 0 : c.events.size() - 1, pause));
    EXPECT_EQ(rs.checkpoint, c.checkpoint);
}

INSTANTIATE_TEST_SUITE_P(
    Trigger, PlayerTest,
    ::testing::Values(
        PlayCase{"Empty", "", {}, {}, 7},
        PlayCase{"CtrlShiftA", "111041", {}, {kCtrlDown, kShiftDown, kADown, kAUp, kShiftUp, kCtrlUp}, 16},
        PlayCase{"CtrlShiftAWithCapsLockOn", "111041", {{0x14, 0x01}}, {kCtrlDown, kADown, kAUp, kCtrlUp}, 16},
        PlayCase{"CtrlShiftAWithCapsLockHeld", "111041", {{0x14, 0x80}}, {kCtrlDown, kADown, kAUp, kCtrlUp}, 16},
        // Caps Lock flips only a letter's case: before any other key Shift stays.
        PlayCase{"CtrlShiftF12WithCapsLockOn", "11107B", {{0x14, 0x01}},
                 {kCtrlDown, kShiftDown, Down(0x7B, 0x58), Up(0x7B, 0x58), kShiftUp, kCtrlUp}, 16},
        PlayCase{"CtrlShiftDigitWithCapsLockOn", "111031", {{0x14, 0x01}},
                 {kCtrlDown, kShiftDown, Down(0x31, 0), Up(0x31, 0), kShiftUp, kCtrlUp}, 16},
        PlayCase{"ShiftLooksPastModifiersForTheLetter", "101141", {{0x14, 0x01}}, {kCtrlDown, kADown, kAUp, kCtrlUp}, 16},
        PlayCase{"ShiftWithNothingAfterItUnderCaps", "10", {{0x14, 0x01}}, {kShiftDown, kShiftUp}, 16},
        PlayCase{"CtrlShiftAWithCtrlHeld", "111041", {{0x11, 0x80}}, {kShiftDown, kADown, kAUp, kShiftUp}, 16},
        PlayCase{"CtrlToggledBitDoesNotCount", "1141", {{0x11, 0x01}}, {kCtrlDown, kADown, kAUp, kCtrlUp}, 16},
        PlayCase{"CapsLockOff", "14", {}, {kCapsDown, kCapsUp}, 16},
        PlayCase{"CapsLockOn", "14", {{0x14, 0x01}}, {}, 9},
        PlayCase{"CapsLockHeld", "14", {{0x14, 0x80}}, {}, 9},
        PlayCase{"LowerCaseInsert", "2d", {}, {KeyEvent{0x2D, 0x52, 1}, KeyEvent{0x2D, 0x52, 3}}, 16},
        PlayCase{"InsertOn", "2d41", {{0x2D, 0x01}}, {kADown, kAUp}, 9},
        PlayCase{"FFIsAModifier", "FF41", {}, {Down(0xFF, 0), kADown, kAUp, Up(0xFF, 0)}, 16},
        PlayCase{"FFDown", "FF41", {{0xFF, 0x80}}, {kADown, kAUp}, 9},
        PlayCase{"OddLengthBackspace", "41418", {}, {kADown, kAUp, kADown, kAUp, Down(0x08, 0x0E), Up(0x08, 0x0E)}, 9},
        PlayCase{"OneDigitEnterFollowsTheToggleRule", "41D", {}, {kADown, kAUp, Down(0x0D, 0x1C), Up(0x0D, 0x1C)}, 16},
        PlayCase{"OneDigitEnterDown", "41D", {{0x0D, 0x80}}, {kADown, kAUp}, 9},
        PlayCase{"HeldReleasedNewestFirst", "11121041", {},
                 {kCtrlDown, Down(0x12, 0x38), kShiftDown, kADown, kAUp, kShiftUp, Up(0x12, 0x38), kCtrlUp}, 16},
        // A held one-digit code must not shift the held list: Ctrl and Enter both come up.
        PlayCase{"HeldOneDigitAfterCtrl", "11D", {}, {kCtrlDown, Down(0x0D, 0x1C), Up(0x0D, 0x1C), kCtrlUp}, 16},
        PlayCase{"ShiftSkippedUnderCapsButLeftShiftKept", "A241", {{0x14, 0x01}},
                 {Down(0xA2, 0x1D), kADown, kAUp, Up(0xA2, 0x1D)}, 16},
        // What the chord holds counts as down for the codes after it, the
        // generic key and its left or right one alike, as Windows shows them.
        PlayCase{"SameModifierTwiceIsHeldOnce", "1111", {}, {kCtrlDown, kCtrlUp}, 16},
        PlayCase{"LeftShiftAfterShiftIsHeldAlready", "10A041", {}, {kShiftDown, kADown, kAUp, kShiftUp}, 16},
        PlayCase{"ShiftAfterRightShiftIsHeldAlready", "A11041", {}, {Down(0xA1, 0x36), kADown, kAUp, Up(0xA1, 0x36)}, 16},
        PlayCase{"CapsLockPressedByTheChordDropsShift", "141041", {}, {kCapsDown, kADown, kAUp, kCapsUp}, 16},
        // Extended keys carry flag 1 on both events; their neighbours keep 0 and 2.
        PlayCase{"CtrlLeft", "1125", {}, {kCtrlDown, ExtDown(0x25), ExtUp(0x25), kCtrlUp}, 16},
        PlayCase{"ExtendedPressedAtOnce", "21222324262728202C2E2F5D6F6E",
                 {},
                 {ExtDown(0x21), ExtUp(0x21), ExtDown(0x22), ExtUp(0x22), ExtDown(0x23), ExtUp(0x23),
                  ExtDown(0x24), ExtUp(0x24), ExtDown(0x26), ExtUp(0x26), ExtDown(0x27), ExtUp(0x27),
                  ExtDown(0x28), ExtUp(0x28), Down(0x20, 0), Up(0x20, 0), ExtDown(0x2C), ExtUp(0x2C),
                  ExtDown(0x2E), ExtUp(0x2E), Down(0x2F, 0), Up(0x2F, 0), ExtDown(0x5D), ExtUp(0x5D),
                  ExtDown(0x6F), ExtUp(0x6F), Down(0x6E, 0), Up(0x6E, 0)},
                 9},
        PlayCase{"RightModifiersHeldAsExtended", "A3A5A25C41", {},
                 {ExtDown(0xA3), ExtDown(0xA5), Down(0xA2, 0x1D), ExtDown(0x5C), kADown, kAUp, ExtUp(0x5C),
                  Up(0xA2, 0x1D), ExtUp(0xA5), ExtUp(0xA3)},
                 16},
        PlayCase{"NumLockHeldAsExtended", "90", {}, {KeyEvent{0x90, 0x45, 1}, KeyEvent{0x90, 0x45, 3}}, 16},
        PlayCase{"OneDigitCodesAreNeverExtended", "412", {}, {kADown, kAUp, Down(0x02, 0), Up(0x02, 0)}, 16}),
    [](const auto& info) { return std::string(info.param.name); });

// The pauses of one row add up to a quarter second at most; a row so long
// that even 1 ms apart would pass that goes out in one piece.
TEST(Trigger, ALongRowIsPacedWithinAQuarterSecond) {
    const struct { std::size_t codes; std::size_t batches; std::int32_t pause; } cases[] = {
        {12, 24, 10},  // 24 events: 23 pauses of 10 ms
        {13, 26, 9},   // 26 events: 250 / 26
        {125, 250, 1},
        {126, 1, 0},   // 252 events, one piece
    };
    for (const auto& c : cases) {
        MemoryPlatform p;
        RunState rs(p);
        std::string row;
        for (std::size_t i = 0; i < c.codes; ++i) row += "41";
        Play(rs, row);
        EXPECT_EQ(p.keyEvents.size(), 2 * c.codes) << c.codes;
        EXPECT_EQ(p.keyBatches.size(), c.batches) << c.codes;
        EXPECT_EQ(p.sleeps, std::vector<std::int32_t>(c.pause == 0 ? 0 : c.batches - 1, c.pause)) << c.codes;
        EXPECT_LE(p.Milliseconds(), 250) << c.codes;
    }
}

TEST(Trigger, ABadCodeFailsAtCheckpointEightBeforeAnythingIsSent) {
    MemoryPlatform p;
    p.titles = {"XYWRITE"};
    RunProgram(p, "41G1 5 3");
    EXPECT_TRUE(p.keyEvents.empty());
    ASSERT_EQ(p.boxes.size(), 1u);
    EXPECT_EQ(p.boxes[0].text, ErrorBox(13, "Type mismatch", 8));
    // "4|" stands in the toggle list's text: it fails at its state lookup.
    for (const char* sequence : {"11ZZ", "4|"}) {
        MemoryPlatform q;
        RunState rs(q);
        EXPECT_THROW(Play(rs, sequence), Failure);
        EXPECT_TRUE(q.keyEvents.empty()) << sequence << ": no key is left down";
        EXPECT_EQ(rs.checkpoint, 8);
    }
}

// Keys Windows would drop (XyWrite's host elevated) are a failure before
// anything is sent. Keys Windows takes none of (a locked desktop) press
// nothing and are no failure here: the watch cycle decides. Keys it takes
// only some of are a failure, and whatever the chord pressed is let up
// again, tried twice; the description says whether that worked, so no Ctrl
// or Shift is left down unannounced to turn the user's next letters into
// commands.
TEST(Trigger, KeysWindowsDropsAreAFailureAndNoKeyStaysDown) {
    const std::vector<KeyEvent> kAll = {kCtrlDown, kShiftDown, kADown, kAUp, kShiftUp, kCtrlUp};
    const struct {
        const char* name;
        KeyDelivery delivery;
        std::vector<std::size_t> taken;  // of each SendInput in turn: one event each, then the let-up
        bool typed;
        int failure, checkpoint;
        std::vector<KeyEvent> received;
        const char* description;
    } cases[] = {
        {"host elevated", KeyDelivery::Dropped, {}, false, kKeysDropped, 8, {}, ""},
        {"cannot tell: typed as ever", KeyDelivery::CannotTell, {}, true, 0, 16, kAll, ""},
        {"none taken: nothing pressed", KeyDelivery::Reaches, {0}, false, 0, 16, {}, ""},
        {"cut after A down", KeyDelivery::Reaches, {1, 1, 1, 0}, false, kKeysRefused, 16, kAll, kKeysCutAllUp},
        {"cut after A up", KeyDelivery::Reaches, {1, 1, 1, 1, 0}, false, kKeysRefused, 16, kAll, kKeysCutAllUp},
        {"cut after Shift up", KeyDelivery::Reaches, {1, 1, 1, 1, 1, 0}, false, kKeysRefused, 16, kAll, kKeysCutAllUp},
        {"let-ups refused once", KeyDelivery::Reaches, {1, 1, 1, 0, 0}, false, kKeysRefused, 16, kAll, kKeysCutAllUp},
        {"let-ups cut, the rest taken", KeyDelivery::Reaches, {1, 1, 1, 0, 1}, false, kKeysRefused, 16, kAll,
         kKeysCutAllUp},
        {"let-ups refused twice", KeyDelivery::Reaches, {1, 1, 1, 0, 0, 0}, false, kKeysRefused, 16,
         {kCtrlDown, kShiftDown, kADown}, kKeysCutSomeDown},
    };
    for (const auto& c : cases) {
        MemoryPlatform p;
        p.delivery = c.delivery;
        p.inputTaken = c.taken;
        RunState rs(p);
        int failure = 0;
        bool typed = false;
        std::string description;
        try {
            typed = Play(rs, "111041");
        } catch (const Failure& f) {
            failure = f.number;
            description = f.description;
        }
        EXPECT_EQ(failure, c.failure) << c.name;
        EXPECT_EQ(typed, c.typed) << c.name;
        EXPECT_EQ(rs.checkpoint, c.checkpoint) << c.name;
        EXPECT_EQ(p.keyEvents, c.received) << c.name;
        if (c.failure == kKeysRefused) EXPECT_EQ(description, c.description) << c.name;
    }
    MemoryPlatform p;  // through the watch cycle: the box says what to do
    p.titles = {"XYWRITE - DOC"};
    p.delivery = KeyDelivery::Dropped;
    RunProgram(p, "111041 1 3");
    ASSERT_EQ(p.boxes.size(), 1u);
    EXPECT_EQ(p.boxes[0].text, ErrorBox(80, MakeFailure(kKeysDropped).description, 8));
    EXPECT_NE(p.boxes[0].text.find("Run XyWrite's host and Vornel the same way"), std::string::npos);
}

TEST(Trigger, KeyboardStateIsReadBeforeEveryCode) {
    MemoryPlatform p;
    RunState rs(p);
    // The user presses Ctrl after the first look at the keyboard.
    p.machine()->onOperation = [&](int) {
        if (p.counts[static_cast<int>(Op::KeyState)] == 1) p.keyboard[0x11] = 0x80;
    };
    Play(rs, "4111");
    EXPECT_EQ(p.keyEvents, (std::vector<KeyEvent>{kADown, kAUp}));
    EXPECT_EQ(p.counts[static_cast<int>(Op::KeyState)], 2);
}

TEST(Trigger, OverlongSequencesOverflow) {
    MemoryPlatform p;
    RunState rs(p);
    EXPECT_THROW(Play(rs, std::string(32768, '8')), Failure);
    EXPECT_TRUE(p.keyEvents.empty());
    MemoryPlatform q;
    RunState rq(q);
    try {
        Play(rq, std::string(32767, '8'));  // the last code's position cannot step on
        FAIL();
    } catch (const Failure& f) {
        EXPECT_EQ(f.number, kOverflow);
    }
    EXPECT_TRUE(q.keyEvents.empty());
}

}  // namespace
}  // namespace vornel::test
