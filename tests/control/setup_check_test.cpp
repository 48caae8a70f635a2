#include "control/setup_check.h"

#include <gtest/gtest.h>

#include <cctype>
#include <optional>

#include "support/sim.h"

namespace vornel::test {
namespace {

// Command T, one row per finding: what is in front, what Windows does with
// the keys, who started T, what the macro writes and when (nothing, when the
// chord is bound to nothing), and the verdict the box leads with.
struct SetupCase {
    const char* name;
    std::string command = "T 11107B";
    std::string title = "XYWRITE";
    KeyDelivery delivery = KeyDelivery::Reaches;
    std::optional<std::string> control;  // what the macro writes into VORNEL.CTL on the chord
    std::optional<std::string> bak;      // what it saves as DOC.BAK first, besides saving every .BAK of `files` anew
    bool noNewSave = false;              // it writes VORNEL.CTL only
    bool keepsOpen = false;              // and keeps VORNEL.CTL open for writing
    std::int32_t openFor = 0;            // or keeps it open this long, in ms
    bool bakOpen = false;                // and keeps DOC.BAK open for writing
    bool reopens = false;                // and opens VORNEL.CTL again as T comes to look, for one poll
    std::int32_t answerAfter = 0;        // ms after the chord the macro writes, by the sleeps T asks for
    std::int32_t overshoot = 0;          // ms each sleep lasts longer than asked
    std::vector<std::pair<std::string, std::string>> files;  // in VN\ before T starts
    bool watchRunning = false;
    Starter starter = Starter::Outside;  // Window: XyWrite's host started T, as the macro starts U
    bool noVn = false;       // no VN\ beside vornel.exe
    bool takenFirst = false; // a watch mode takes the answer in between T's look and its read
    std::vector<std::size_t> inputTaken;  // how many keys Windows takes (none: a locked desktop)
    std::int32_t ansi = 1252;             // the ANSI code page
    std::string verdict;     // the box's first line
    std::string detail;      // a line that must stand in the rest
    std::int64_t endsAt = -1;  // ms by the clock T's box comes at, give or take 100 ms
};

const std::vector<std::pair<std::string, std::string>> kSaved = {{"DOC.BAK", "text"}};
const std::vector<std::pair<std::string, std::string>> kLeftFromBefore = {{"DOC.BAK", "old"},
                                                                          {"VORNEL.CTL", "DOC\x1a"}};
const std::string kNoNewAnswer = "No new VORNEL.CTL came after the keys: T could not tell whether the macro works.";

const SetupCase kCases[] = {
    {.name = "ready", .control = "DOC\x1a", .files = kSaved, .verdict = "Ready.",
     .detail = "VORNEL.CTL names \"DOC\", and DOC.BAK is there (4 bytes): watch mode would file it."},
    {.name = "keys typed with blanks", .command = "t 11 10 7b", .control = "DOC\x1a", .files = kSaved,
     .verdict = "Ready.", .detail = "VORNEL.CTL came 0.00 s after the keys 11107B."},
    {.name = "no keys given", .command = "T", .verdict = "Ready so far: no keys were given, so the macro was not tried.",
     .detail = "XyWrite is in front: \"XYWRITE\"."},
    {.name = "another window in front", .title = "Notepad - x", .control = "DOC\x1a", .overshoot = 15, .files = kSaved,
     .verdict = "No window titled XYWRITE... came to the front in 15 seconds.",
     .detail = "The window in front was \"Notepad - x\": its title does not begin with XYWRITE."},
    {.name = "XyWrite not at the start", .title = "vDos - XyWrite",
     .verdict = "No window titled XYWRITE... came to the front in 15 seconds.", .detail = "but not at the start"},
    {.name = "no window at all", .title = "", .verdict = "No window titled XYWRITE... came to the front in 15 seconds.",
     .detail = "No window was in front"},
    {.name = "keys that are no codes", .command = "T 11G7", .control = "DOC\x1a", .files = kSaved,
     .verdict = "The keys are not hexadecimal codes.", .detail = "nothing was typed"},
    {.name = "keys Windows would drop", .delivery = KeyDelivery::Dropped, .control = "DOC\x1a", .files = kSaved,
     .verdict = "Windows would drop Vornel's keys.", .detail = "Run XyWrite's host and Vornel the same way."},
    {.name = "a console: typed all the same", .delivery = KeyDelivery::CannotTell, .control = "DOC\x1a",
     .files = kSaved, .verdict = "Ready.", .detail = "the keys show it"},
    {.name = "chord bound to nothing", .files = kSaved, .verdict = "No VORNEL.CTL came after the keys.",
     .detail = "the chord is not bound to the macro"},
    {.name = "a locked desktop takes no key", .control = "DOC\x1a", .files = kSaved, .inputTaken = {0},
     .verdict = "Windows took none of the keys.", .detail = "nothing was typed"},
    {.name = "watch mode took it first", .files = kSaved, .watchRunning = true,
     .verdict = "No VORNEL.CTL came after the keys.",
     .detail = "Watch mode runs on this VN\\ and may have taken it in first"},
    {.name = "taken in between the look and the read", .control = "DOC\x1a", .files = kSaved, .takenFirst = true,
     .verdict = "A watch mode took the macro's answer in before T could read it.", .detail = "vornel Q"},
    {.name = "CR LF", .control = "DOC\r\n", .files = kSaved, .verdict = "VORNEL.CTL ends in a line end (CR LF).",
     .detail = "no line end"},
    {.name = "empty", .control = "", .files = kSaved, .verdict = "VORNEL.CTL is empty.", .detail = "one character"},
    {.name = "no name", .control = "\x1a", .files = kSaved, .verdict = "VORNEL.CTL holds no name.",
     .detail = "one character and no name"},
    {.name = "no character after the name", .control = "DOC", .files = kSaved,
     .verdict = "VORNEL.CTL holds DOC and no character after it.", .detail = "one more character after the name"},
    {.name = "a path", .control = "C:\\XY\\VN\\DOC\x1a", .files = kSaved,
     .verdict = "VORNEL.CTL holds a path, not a name.", .detail = "the macro writes the document's path"},
    {.name = "a dot in the stem", .control = "DOC.TXT\x1a", .files = {{"DOC.TXT.BAK", "t"}},
     .verdict = "The name in VORNEL.CTL has a dot.", .detail = "cannot see DOC.TXT.VRN"},
    {.name = "longer than 8", .control = "LONGLETTER\x1a", .files = {{"LONGLETTER.BAK", "t"}},
     .verdict = "The name in VORNEL.CTL is longer than 8 characters.", .detail = "8 characters at most"},
    {.name = "refused with 52", .control = "A*B\x1a", .files = kSaved,
     .verdict = "The name in VORNEL.CTL is refused (52).", .detail = "Watch mode would fail with 52."},
    {.name = "no transfer file", .control = "DOC\x1a", .verdict = "VORNEL.CTL names DOC, but there is no DOC.BAK.",
     .detail = "must save the document as DOC.BAK"},
    {.name = "a name in the DOS code page", .control = "\x8ERGER\x1a", .files = {{"\xC4RGER.BAK", "t"}},
     .verdict = "Ready.", .detail = "read in the DOS (OEM) code page"},
    {.name = "a name in the ANSI code page", .control = "\xC4RGER\x1a", .files = {{"\xC4RGER.BAK", "t"}},
     .verdict = "Ready.", .detail = "read in the ANSI code page"},
    // The pass reads VN\ 1.5 s after the chord: an answer in time is ready, a later one is not.
    {.name = "an answer at 1.5 s", .control = "DOC\x1a", .answerAfter = 1500, .files = kSaved, .verdict = "Ready.",
     .detail = "VORNEL.CTL came 1.50 s after the keys"},
    {.name = "an answer after 1.5 s", .control = "DOC\x1a", .answerAfter = 1550, .files = kSaved,
     .verdict = "The macro answered late, after the 1.5 seconds Vornel gives it.",
     .detail = "a first U's capture misses it"},
    // Timed by the clock, not by adding up sleeps that each last longer than asked.
    {.name = "1.5 s of sleeps that took 1.95 s", .control = "DOC\x1a", .answerAfter = 1500, .overshoot = 15,
     .files = kSaved, .verdict = "The macro answered late, after the 1.5 seconds Vornel gives it.",
     .detail = "VORNEL.CTL came 1.95 s after the keys"},
    // The files of an earlier T are left for the next pass: only a change is this T's answer.
    {.name = "left from before, the macro answering", .control = "DOC\x1a", .bak = "new", .files = kLeftFromBefore,
     .verdict = "Ready.", .detail = "DOC.BAK is there (3 bytes)"},
    {.name = "left from before, the macro silent", .files = kLeftFromBefore, .verdict = kNoNewAnswer,
     .detail = "was left unchanged for 5 seconds"},
    {.name = "left from before, no new save", .control = "DOC\x1a", .noNewSave = true, .files = kLeftFromBefore,
     .verdict = "DOC.BAK is the one from before the keys.", .detail = "before it writes VORNEL.CTL"},
    {.name = "a control file kept open", .control = "DOC\x1a", .keepsOpen = true, .files = kSaved,
     .verdict = "VORNEL.CTL stayed open 5 seconds.", .detail = "began VORNEL.CTL 0.00 s after the keys", .endsAt = 5050},
    {.name = "a control file open 3 s from 1 s on", .control = "DOC\x1a", .openFor = 3000, .answerAfter = 1000,
     .files = kSaved, .verdict = "The macro answered late, after the 1.5 seconds Vornel gives it.",
     .detail = "VORNEL.CTL came 4.00 s after the keys"},
    {.name = "a control file opened again as T looks", .control = "DOC\x1a", .reopens = true, .files = kSaved,
     .verdict = "Ready.", .detail = "DOC.BAK is there (4 bytes)"},
    {.name = "a transfer file still open", .control = "DOC\x1a", .bakOpen = true, .files = kSaved,
     .verdict = "DOC.BAK was still being written after VORNEL.CTL came.", .detail = "files nothing from it"},
    // On Japanese Windows: ソ is 83 5C; cut one byte short, a lone lead byte is left.
    {.name = "a double-byte name and no character after it", .control = "\x83\x5C", .files = {{"\x83\x5C.BAK", "t"}},
     .ansi = 932, .verdict = "VORNEL.CTL holds \x83\x5C and no character after it.", .detail = "cuts the last character"},
    {.name = "a save from before, no new one", .control = "DOC\x1a", .noNewSave = true, .files = kSaved,
     .verdict = "DOC.BAK is the one from before the keys.", .detail = "before it writes VORNEL.CTL"},
    {.name = "no VN beside vornel.exe", .control = "DOC\x1a", .noVn = true,
     .verdict = "There is no folder VN beside vornel.exe.", .detail = "make the folder C:\\XY\\VN\\"},
    {.name = "no VN and no keys", .command = "T", .noVn = true, .verdict = "There is no folder VN beside vornel.exe.",
     .detail = "vornel.exe is in C:\\XY"},
    // Started by XyWrite's host, as U will be: whether the host waits shows in the answer.
    {.name = "a host that waits", .files = kSaved, .starter = Starter::Window,
     .verdict = "XyWrite's host waits for the programs it starts.", .detail = "write VORNEL.CTL before it starts vornel U DOC"},
    {.name = "a host that does not wait", .control = "DOC\x1a", .files = kSaved, .starter = Starter::Window,
     .verdict = "Ready.", .detail = "The host does not wait for the programs it starts"},
    // A command processor between the host and T that did not wait has ended: nobody can tell.
    {.name = "a starter that has ended", .control = "DOC\x1a", .files = kSaved, .starter = Starter::CannotTell,
     .verdict = "Ready.", .detail = "T could not tell who started it"},
    // The macro that started T goes on (a wait for DOC.VRN) before XyWrite reads the chord.
    {.name = "a busy macro on a host that does not wait", .control = "DOC\x1a", .answerAfter = 8000, .files = kSaved,
     .starter = Starter::Window, .verdict = "XyWrite was busy after it started T, so T could not time the save.",
     .detail = "VORNEL.CTL came 8.00 s after the keys"},
    // Caught once while the macro writes it, 8 s after the keys: open for 5 s
    // from when T saw it open, not from the keys.
    {.name = "a busy macro caught writing at 8 s", .control = "DOC\x1a", .openFor = 100, .answerAfter = 8000,
     .files = kSaved, .starter = Starter::Window,
     .verdict = "XyWrite was busy after it started T, so T could not time the save.",
     .detail = "VORNEL.CTL came 8.10 s after the keys"},
    // Begun just before the wait ends: T waits for it to close.
    {.name = "an answer begun at 4.5 s and closed at 6 s", .control = "DOC\x1a", .openFor = 1500, .answerAfter = 4500,
     .files = kSaved, .verdict = "The macro answered late, after the 1.5 seconds Vornel gives it.",
     .detail = "VORNEL.CTL came 6.00 s after the keys"},
    // Each wait as long as T waited: 5 s from outside, 15 s when a host may have started T.
    {.name = "no answer from outside", .files = kSaved, .verdict = "No VORNEL.CTL came after the keys.",
     .detail = "No VORNEL.CTL within 5 seconds of the keys 11107B", .endsAt = 5050},
    {.name = "no answer from a host", .files = kSaved, .starter = Starter::Window,
     .verdict = "XyWrite's host waits for the programs it starts.", .detail = "came while T ran (15 seconds)",
     .endsAt = 15050},
    {.name = "no answer, the starter ended", .files = kSaved, .starter = Starter::CannotTell,
     .verdict = "No VORNEL.CTL came after the keys.", .detail = "No VORNEL.CTL within 15 seconds of the keys",
     .endsAt = 15050},
    // A launcher that ended (cmd /c start) leaves both readings of a late answer.
    {.name = "a late answer, the starter ended", .control = "DOC\x1a", .answerAfter = 3000, .files = kSaved,
     .starter = Starter::CannotTell,
     .verdict = "VORNEL.CTL came late: the macro is slow, or XyWrite was busy after it started T.",
     .detail = "T from Win+R tells them apart"},
};

class SetupCheck : public ::testing::TestWithParam<SetupCase> {};

TEST_P(SetupCheck, LeadsWithTheFirstThingToFixAndTouchesNothing) {
    const SetupCase& c = GetParam();
    const std::string ctl = kDir + "VORNEL.CTL";
    MemoryPlatform p;
    p.titles = {c.title};
    p.maxForegroundQueries = 5000;  // 15 s of 10 ms looks
    p.delivery = c.delivery;
    p.starter = c.starter;
    p.inputTaken = c.inputTaken;
    p.sleepOvershoot = c.overshoot;
    p.codePages.ansi = c.ansi;
    if (c.noVn) p.DropDirectory(kDir);
    if (c.watchRunning) p.machine()->watches[kDir] = 99;
    for (const auto& [name, bytes] : c.files) p.PutFile(kDir + name, bytes);
    bool wrote = p.Has(ctl);
    bool typed = false;
    std::int32_t since = 0;
    const auto answer = [&] {  // the macro: a save, then the control file
        if (!c.control) return;
        for (const auto& [name, bytes] : c.files)
            if (!c.noNewSave && name.size() > 4 && name.substr(name.size() - 4) == ".BAK") p.PutFile(kDir + name, bytes);
        if (c.bak) p.PutFile(kDir + "DOC.BAK", *c.bak);
        if (c.bakOpen) p.PutBeingWritten(kDir + "DOC.BAK", "text");
        if (c.keepsOpen || c.openFor > 0)
            p.PutBeingWritten(ctl, *c.control);
        else
            p.PutFile(ctl, *c.control);
        wrote = true;
    };
    p.onKeyEvent = [&](const KeyEvent& e) {  // the chord's last key
        if (e.vk != 0x7B || (e.flags & kKeyEventKeyUp) || typed) return;
        typed = true;
        if (c.answerAfter == 0) answer();
    };
    bool reopened = false;
    std::int32_t openSince = -1;
    p.onSleep = [&](std::int32_t ms) {
        if (reopened && p.Has(ctl)) p.machine()->entries[ctl].beingWritten = false;
        if (typed && since < c.answerAfter + c.openFor) since += ms;
        if (typed && openSince < 0 && since >= c.answerAfter && since - ms < c.answerAfter) answer(), openSince = since;
        if (c.openFor > 0 && openSince >= 0 && since - openSince >= c.openFor && p.Has(ctl))
            p.machine()->entries[ctl].beingWritten = false;
    };
    if (c.reopens)  // T has taken its turn to look: the macro opens the file again
        p.machine()->onOperation = [&](int) {
            if (wrote && typed && !reopened && !p.log.empty() && p.log.back().op == Op::Lock && p.Has(ctl))
                p.machine()->entries[ctl].beingWritten = true, reopened = true;
        };
    if (c.takenFirst)  // between the look for a change and the turn that reads it
        p.machine()->onOperation = [&](int) {
            if (typed && !p.log.empty() && p.log.back().op == Op::BeingWritten && p.Has(ctl))
                p.machine()->entries.erase(ctl), wrote = false;
        };
    ASSERT_EQ(RunProgram(p, c.command), Ended::ByEnd);
    ASSERT_EQ(p.boxes.size(), 1u);
    const Box& box = p.boxes[0];
    EXPECT_EQ(box.caption, "Vornel");
    EXPECT_EQ(box.focus, BoxFocus::Front);
    EXPECT_FALSE(box.heldAnything);
    EXPECT_EQ(box.text.substr(0, box.text.find('\n')), c.verdict);
    EXPECT_NE(box.text.find(c.detail), std::string::npos) << box.text;
    if (c.verdict.rfind("No window titled", 0) == 0)
        EXPECT_LT(p.Milliseconds(), kSetupFrontWait + 100) << "15 seconds by the clock";
    if (c.endsAt >= 0) EXPECT_NEAR(static_cast<double>(p.Milliseconds()), static_cast<double>(c.endsAt), 100.0);
    EXPECT_NE(box.text.find("Code pages: ANSI " + std::to_string(c.ansi) + ", DOS (OEM) 437."), std::string::npos);
    if (!c.noVn)
        EXPECT_NE(box.text.find(c.watchRunning ? "Watch mode runs on this VN\\." : "No watch mode runs on this VN\\."),
                  std::string::npos);
    EXPECT_EQ(box.text.find("Next: start watch mode with vornel 11107B 5 20") != std::string::npos,
              c.verdict == "Ready.")
        << box.text;
    if (c.noVn) EXPECT_TRUE(p.keyEvents.empty()) << "the macro would have nowhere to write";
    // Files nothing, deletes nothing: VN\ stays as the macro left it.
    for (const Operation& o : p.log) EXPECT_FALSE(ChangesFiles(o.op)) << "touched " << o.path;
    EXPECT_EQ(p.Has(ctl), wrote) << "the macro's control file is left for the next pass";
    // The transfer file is never opened: the macro may be saving it this moment.
    for (const std::string& read : p.reads) EXPECT_EQ(read, ctl);
}

INSTANTIATE_TEST_SUITE_P(Findings, SetupCheck, ::testing::ValuesIn(kCases), [](const auto& info) {
    std::string name;
    for (const char ch : std::string(info.param.name)) name += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
    return name;
});

}  // namespace
}  // namespace vornel::test
