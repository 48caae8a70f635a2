#include "control/setup_check.h"

#include <gtest/gtest.h>

#include <cctype>
#include <optional>

#include "support/sim.h"

namespace vornel::test {
namespace {

// Command T, one row per finding: what is in front, what Windows does with
// the keys, what the macro writes (nothing, when the chord is bound to
// nothing), and the verdict the box leads with.
struct SetupCase {
    const char* name;
    std::string command;
    std::string title;
    KeyDelivery delivery;
    std::optional<std::string> control;  // what the macro writes into VORNEL.CTL on the chord
    std::vector<std::pair<std::string, std::string>> files;  // in VN\ before T starts
    bool watchRunning;
    std::string verdict;  // the box's first line
    std::string detail;   // a line that must stand in the rest
};

const std::vector<std::pair<std::string, std::string>> kSaved = {{"DOC.BAK", "text"}};

const SetupCase kCases[] = {
    {"ready", "T 11107B", "XyWrite - DOC", KeyDelivery::Reaches, "DOC\x1a", kSaved, false, "Ready.",
     "VORNEL.CTL names \"DOC\", and DOC.BAK is there (4 bytes): watch mode would file it."},
    {"keys typed with blanks", "t 11 10 7b", "XYWRITE", KeyDelivery::Reaches, "DOC\x1a", kSaved, false, "Ready.",
     "VORNEL.CTL came 0.00 s after the keys 11107B."},
    {"no keys given", "T", "XYWRITE", KeyDelivery::Reaches, std::nullopt, {}, false,
     "Ready so far: no keys were given, so the macro was not tried.", "XyWrite is in front: \"XYWRITE\"."},
    {"another window in front", "T 11107B", "Notepad - x", KeyDelivery::Reaches, "DOC\x1a", kSaved, false,
     "No window titled XYWRITE... came to the front in 15 seconds.",
     "The window in front was \"Notepad - x\": its title does not begin with XYWRITE."},
    {"XyWrite not at the start", "T 11107B", "vDos - XyWrite", KeyDelivery::Reaches, std::nullopt, {}, false,
     "No window titled XYWRITE... came to the front in 15 seconds.", "but not at the start"},
    {"no window at all", "T 11107B", "", KeyDelivery::Reaches, std::nullopt, {}, false,
     "No window titled XYWRITE... came to the front in 15 seconds.", "No window was in front"},
    {"keys that are no codes", "T 11G7", "XYWRITE", KeyDelivery::Reaches, "DOC\x1a", kSaved, false,
     "The keys are not hexadecimal codes.", "nothing was typed"},
    {"keys Windows would drop", "T 11107B", "XYWRITE", KeyDelivery::Dropped, "DOC\x1a", kSaved, false,
     "Windows would drop Vornel's keys.", "Run XyWrite's host and Vornel the same way."},
    {"a console: typed all the same", "T 11107B", "XYWRITE", KeyDelivery::CannotTell, "DOC\x1a", kSaved, false,
     "Ready.", "the keys show it"},
    {"chord bound to nothing", "T 11107B", "XYWRITE", KeyDelivery::Reaches, std::nullopt, kSaved, false,
     "No VORNEL.CTL came after the keys.", "the chord is not bound to the macro"},
    {"watch mode took it first", "T 11107B", "XYWRITE", KeyDelivery::Reaches, std::nullopt, kSaved, true,
     "No VORNEL.CTL came after the keys.", "Watch mode runs on this VN\\ and may have taken it in first"},
    {"CR LF", "T 11107B", "XYWRITE", KeyDelivery::Reaches, "DOC\r\n", kSaved, false,
     "VORNEL.CTL ends in a line end (CR LF).", "no line end"},
    {"empty", "T 11107B", "XYWRITE", KeyDelivery::Reaches, "", kSaved, false, "VORNEL.CTL is empty.", "one character"},
    {"no name", "T 11107B", "XYWRITE", KeyDelivery::Reaches, "\x1a", kSaved, false, "VORNEL.CTL holds no name.",
     "one character and no name"},
    {"a path", "T 11107B", "XYWRITE", KeyDelivery::Reaches, "C:\\XY\\VN\\DOC\x1a", kSaved, false,
     "VORNEL.CTL holds a path, not a name.", "starttranspath=false"},
    {"a dot in the stem", "T 11107B", "XYWRITE", KeyDelivery::Reaches, "DOC.TXT\x1a", {{"DOC.TXT.BAK", "t"}},
     false, "The name in VORNEL.CTL has a dot.", "cannot see DOC.TXT.VRN"},
    {"longer than 8", "T 11107B", "XYWRITE", KeyDelivery::Reaches, "LONGLETTER\x1a", {{"LONGLETTER.BAK", "t"}},
     false, "The name in VORNEL.CTL is longer than 8 characters.", "8 characters at most"},
    {"refused with 52", "T 11107B", "XYWRITE", KeyDelivery::Reaches, "A*B\x1a", kSaved, false,
     "The name in VORNEL.CTL is refused (52).", "Watch mode would fail with 52."},
    {"no transfer file", "T 11107B", "XYWRITE", KeyDelivery::Reaches, "DOC\x1a", {}, false,
     "VORNEL.CTL names DOC, but there is no DOC.BAK.", "must save the document as DOC.BAK"},
    {"a name in the DOS code page", "T 11107B", "XYWRITE", KeyDelivery::Reaches, "\x8ERGER\x1a",
     {{"\xC4RGER.BAK", "t"}}, false, "Ready.", "read in the DOS (OEM) code page"},
    {"a name in the ANSI code page", "T 11107B", "XYWRITE", KeyDelivery::Reaches, "\xC4RGER\x1a",
     {{"\xC4RGER.BAK", "t"}}, false, "Ready.", "read in the ANSI code page"},
    {"a control file left from before", "T 11107B", "XYWRITE", KeyDelivery::Reaches, std::nullopt,
     {{"DOC.BAK", "text"}, {"VORNEL.CTL", "DOC\x1a"}}, false, "Ready.", "was there before the keys"},
};

class SetupCheck : public ::testing::TestWithParam<SetupCase> {};

TEST_P(SetupCheck, LeadsWithTheFirstThingToFixAndTouchesNothing) {
    const SetupCase& c = GetParam();
    MemoryPlatform p;
    p.titles = {c.title};
    p.maxForegroundQueries = 5000;  // 15 s of 10 ms looks
    p.delivery = c.delivery;
    if (c.watchRunning) p.machine()->watches[kDir] = 99;
    for (const auto& [name, bytes] : c.files) p.PutFile(kDir + name, bytes);
    bool wrote = p.Has(kDir + "VORNEL.CTL");
    p.onKeyEvent = [&](const KeyEvent& e) {  // the macro, on the chord's last key
        if (e.vk != 0x7B || (e.flags & kKeyEventKeyUp) || !c.control) return;
        p.PutFile(kDir + "VORNEL.CTL", *c.control);
        wrote = true;
    };
    ASSERT_EQ(RunProgram(p, c.command), Ended::ByEnd);
    ASSERT_EQ(p.boxes.size(), 1u);
    const Box& box = p.boxes[0];
    EXPECT_EQ(box.caption, "Vornel");
    EXPECT_EQ(box.focus, BoxFocus::Front);
    EXPECT_FALSE(box.heldAnything);
    EXPECT_EQ(box.text.substr(0, box.text.find('\n')), c.verdict);
    EXPECT_NE(box.text.find(c.detail), std::string::npos) << box.text;
    EXPECT_NE(box.text.find("Code pages: ANSI 1252, DOS (OEM) 437."), std::string::npos);
    EXPECT_NE(box.text.find(c.watchRunning ? "Watch mode runs on this VN\\." : "No watch mode runs on this VN\\."),
              std::string::npos);
    // Files nothing, deletes nothing: VN\ stays as the macro left it.
    for (const auto& [name, bytes] : c.files) EXPECT_EQ(p.Content(kDir + name), bytes) << name;
    for (const Operation& o : p.log) EXPECT_FALSE(ChangesFiles(o.op)) << "touched " << o.path;
    EXPECT_EQ(p.Has(kDir + "VORNEL.CTL"), wrote) << "the macro's control file is left for the next pass";
}

INSTANTIATE_TEST_SUITE_P(Findings, SetupCheck, ::testing::ValuesIn(kCases), [](const auto& info) {
    std::string name;
    for (const char ch : std::string(info.param.name)) name += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
    return name;
});

}  // namespace
}  // namespace vornel::test
