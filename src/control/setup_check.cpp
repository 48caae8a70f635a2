#include "control/setup_check.h"

#include <algorithm>
#include <map>
#include <optional>
#include <utility>
#include <vector>

#include "control/turns.h"
#include "control/watch_cycle.h"
#include "store/intake.h"
#include "store/inventory.h"
#include "store/names.h"
#include "trigger/player.h"

namespace vornel {

namespace {

// What T found: the first thing to fix is the verdict; every finding is a line.
struct Findings {
    std::string verdict;
    std::vector<std::string> lines;

    void Fix(const std::string& what, const std::string& line) {
        if (verdict.empty()) verdict = what;
        lines.push_back(line);
    }
    void Note(const std::string& line) { lines.push_back(line); }
};

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// The title as GetWindowTextA left it in the blank buffer.
std::string TitleOf(const std::string& buffer) {
    const std::string title = buffer.substr(0, buffer.find('\0'));
    const auto end = title.find_last_not_of(' ');
    return end == std::string::npos ? std::string() : title.substr(0, end + 1);
}

// Polls, as the first U does, until a window whose title begins with XYWRITE
// is in front; 0 when none came in time, with the last title seen.
WindowHandle WaitForWordProcessor(RunState& rs, std::string& lastTitle) {
    const std::int64_t from = rs.platform.Milliseconds();
    for (;;) {
        const WindowHandle window = rs.platform.GetForegroundWindow();
        std::string buffer = Padded(kTitleBufferSize, ' ');
        rs.platform.GetWindowTextA(window, buffer, kTitleBufferSize);
        lastTitle = TitleOf(buffer);
        if (IsWordProcessorTitle(lastTitle, rs.codePage)) return window;
        if (window == 0) lastTitle.clear();
        if (rs.platform.Milliseconds() - from >= kSetupFrontWait) return 0;
        rs.platform.Sleep(kFrontPollPause);
    }
}

void NoWordProcessor(Findings& found, RunState& rs, const std::string& title) {
    std::string why;
    if (title.empty())
        why = "No window was in front (a locked desktop, or every window minimized).";
    else if (Find(Upper(title, rs.codePage), kWordProcessorTitle) > 1)
        why = "The window in front was " + Quoted(title) + ": XYWRITE stands in its title, but not at the start.";
    else
        why = "The window in front was " + Quoted(title) + ": its title does not begin with XYWRITE.";
    found.Fix("No window titled XYWRITE... came to the front in 15 seconds.",
              why + " Give XyWrite's window a title that begins with XyWrite (see \"Setting up your DOS host\" in "
                    "README.md), then run T again and click into XyWrite.");
}

void LooksAtDelivery(Findings& found, KeyDelivery delivery) {
    if (delivery == KeyDelivery::Dropped)
        found.Fix("Windows would drop Vornel's keys.",
                  "XyWrite's host runs as administrator and Vornel does not: Windows drops every key Vornel types. "
                  "Run XyWrite's host and Vornel the same way.");
    else if (delivery == KeyDelivery::CannotTell)
        found.Note("Windows may or may not pass Vornel's keys to this window (a console window, or a program Vornel "
                   "may not look at): the keys show it.");
    else
        found.Note("Windows passes Vornel's keys to this window.");
}

bool AboveAscii(const std::string& name) {
    return std::any_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) > 127; });
}

std::string Seconds(std::int64_t milliseconds) {
    return std::to_string(milliseconds / 1000) + "." + Right("00" + std::to_string(milliseconds % 1000 / 10), 2) + " s";
}

// What VN\ held of the macro's answer at one moment, all of it read in one
// turn: no intake can take the files between the look and the read.
struct Look {
    std::optional<FileStamp> control;   // VORNEL.CTL
    bool open = false;                  // still (or again) being written: not read
    std::string text;                   // what it holds
    std::string name;                   // the name in it, in the reading that finds its files; "" when unusable
    std::optional<FileStamp> transfer;  // <name>.BAK
    bool transferOpen = false;          // still being written: the intake would leave it
    std::optional<FileStamp> whole;     // <text>.BAK, when there is no <name>.BAK: as if no character followed the name
};

// What VN\ held before the keys: an answer must differ from it to be this T's own.
struct Before {
    std::optional<FileStamp> control;        // VORNEL.CTL
    std::map<std::string, FileStamp> saves;  // every .BAK, by its name upper-cased: a U's start clears the
                                             // control file, not the save
};

// Whether the text's last character takes two bytes, so that cutting one off
// leaves a lone lead byte.
bool EndsInDoubleByte(const std::string& text, Long codePage) {
    std::size_t at = 0, last = 0;
    while (at < text.size()) {
        last = at;
        at += IsLeadByte(codePage, static_cast<unsigned char>(text[at])) && at + 1 < text.size() ? 2 : 1;
    }
    return at - last == 2;
}

// What is wrong with the control file's text as a name, before any file is
// looked at: the verdict and its line, or nothing.
std::optional<std::pair<std::string, std::string>> TextProblem(const std::string& text, Long codePage) {
    if (text.empty())
        return {{"VORNEL.CTL is empty.", "VORNEL.CTL is empty: the macro must write the document's name and one "
                                         "character after it (LETTER and one more)."}};
    if (Len(text) >= 2 && Right(text, 2) == "\r\n")
        return {{"VORNEL.CTL ends in a line end (CR LF).",
                 "VORNEL.CTL holds the name and a line end, CR LF: Vornel cuts one character, so the name would "
                 "end in CR and be refused (52). Have the macro write the name and one character, no line end."}};
    const std::string name = NameInControlFile(text);
    if (name.empty())
        return {{"VORNEL.CTL holds no name.", "VORNEL.CTL holds one character and no name: the macro must write "
                                              "the document's name before it."}};
    if (IsPath(name, codePage))
        return {{"VORNEL.CTL holds a path, not a name.",
                 "VORNEL.CTL names " + Quoted(name) + ": the macro writes the document's path, but it must write "
                 "its name alone (LETTER), the stem of its files in VN\\."}};
    if (!IsPlainStem(name, codePage) && IsPlainStem(text, codePage) && EndsInDoubleByte(text, codePage))
        return {{"VORNEL.CTL holds " + text + " and no character after it.",
                 "VORNEL.CTL holds " + Quoted(text) + ": Vornel takes the last byte for the character after the "
                 "name, and that cuts the last character of the name in two. Have the macro write one more "
                 "character after the name (a Ctrl-Z or a blank)."}};
    if (!IsPlainStem(name, codePage))
        return {{"The name in VORNEL.CTL is refused (52).",
                 "VORNEL.CTL names " + Quoted(name) + ": a name with a control character, or * ? \" < > |, or "
                 "one that is . or .., cannot be a file's name. Watch mode would fail with 52."}};
    return std::nullopt;
}

Before LookBeforeTheKeys(RunState& rs) {
    Platform& platform = rs.platform;
    Before before;
    const DirectoryTurn turn(rs);
    std::vector<std::string> names;
    for (std::string n = platform.ListFirst(rs.workingDirectory + "*.BAK"); !n.empty(); n = platform.ListNext())
        names.push_back(n);
    for (const std::string& n : names)
        if (const auto stamp = platform.StampOf(rs.workingDirectory + n)) before.saves[Upper(n, rs.codePage)] = *stamp;
    before.control = platform.StampOf(rs.controlFilePath);
    return before;
}

Look LookAtTheAnswer(RunState& rs) {
    Platform& platform = rs.platform;
    Look look;
    const DirectoryTurn turn(rs);
    look.control = platform.StampOf(rs.controlFilePath);
    // One the macro is writing this moment is judged by its stamp alone: a
    // read now could refuse the macro's write.
    look.open = look.control && platform.BeingWritten(rs.controlFilePath);
    if (!look.control || look.open) return look;
    look.text = platform.ReadWhole(rs.controlFilePath);
    if (TextProblem(look.text, rs.codePage)) return look;
    rs.documentName = NameInControlFile(look.text);
    SettleNameReading(rs);
    look.name = rs.documentName;
    look.transfer = platform.StampOf(TransferPath(rs));
    look.transferOpen = look.transfer && platform.BeingWritten(TransferPath(rs));
    if (!look.transfer && IsPlainStem(look.text, rs.codePage))
        look.whole = platform.StampOf(rs.workingDirectory + look.text + ".BAK");
    return look;
}

// Judges the macro's answer as the intake would take it in. `before` is what
// was there before the keys: an answer must be this T's own.
void JudgesTheAnswer(Findings& found, RunState& rs, const Look& look, const Before& before) {
    const std::string vn = rs.workingDirectory;
    if (const auto problem = TextProblem(look.text, rs.codePage)) {
        found.Fix(problem->first, problem->second);
        return;
    }
    const std::string written = NameInControlFile(look.text);
    const std::string& name = look.name;
    if (Find(written, ".") > 0)
        found.Fix("The name in VORNEL.CTL has a dot.",
                  "VORNEL.CTL names " + Quoted(written) + ": a stem has no dot (LETTER, not LETTER.TXT). XyWrite IV "
                  "makes only 8.3 calls, so it cannot see " + written + ".VRN.");
    else if (Len(written) > 8)
        found.Fix("The name in VORNEL.CTL is longer than 8 characters.",
                  "VORNEL.CTL names " + Quoted(written) + ": XyWrite IV makes only 8.3 calls, so the stem must have 8 "
                  "characters at most, or it cannot see " + written + ".VRN.");
    if (AboveAscii(written)) {
        if (name != written)
            found.Note("The name is read in the DOS (OEM) code page: its files are under " + Quoted(name) + ".");
        else if (look.transfer)
            found.Note("The name is read in the ANSI code page, as it stands.");
        else
            found.Note("Neither the ANSI nor the DOS (OEM) reading of the name finds its files.");
    }
    if (!look.transfer) {
        if (look.whole)
            found.Fix("VORNEL.CTL holds " + look.text + " and no character after it.",
                      "VORNEL.CTL holds " + Quoted(look.text) + ", and " + look.text + ".BAK is there, but Vornel "
                      "takes the last character for the one after the name and reads " + Quoted(written) +
                      ": have the macro write one more character after the name (a Ctrl-Z or a blank).");
        else
            found.Fix("VORNEL.CTL names " + name + ", but there is no " + name + ".BAK.",
                      "VORNEL.CTL names " + Quoted(name) + ", but " + vn + " holds no " + name +
                      ".BAK: the macro must save the document as " + name + ".BAK in that folder.");
        return;
    }
    if (look.transferOpen) {
        found.Fix(name + ".BAK was still being written after VORNEL.CTL came.",
                  "The macro wrote VORNEL.CTL while " + name + ".BAK was still open: watch mode leaves a save that "
                  "is being written in place and files nothing from it. Have the macro close " + name + ".BAK "
                  "before it writes VORNEL.CTL.");
        return;
    }
    const auto old = before.saves.find(Upper(name + ".BAK", rs.codePage));
    if (old != before.saves.end() && old->second == *look.transfer) {
        found.Fix(name + ".BAK is the one from before the keys.",
                  "The macro wrote VORNEL.CTL, but " + name + ".BAK is unchanged since before the keys: the macro "
                  "must save the document as " + name + ".BAK in " + vn + " before it writes VORNEL.CTL.");
        return;
    }
    found.Note("VORNEL.CTL names " + Quoted(name) + ", and " + name + ".BAK is there (" +
               std::to_string(look.transfer->size) + " bytes): watch mode would file it.");
}

// No answer while T waited: what that means depends on who started T.
void NoAnswer(Findings& found, RunState& rs, bool fromHost, const Before& before) {
    if (fromHost) {
        found.Fix("XyWrite's host waits for the programs it starts.",
                  "No VORNEL.CTL came while T ran: the host waits for a Windows program it starts, so XyWrite cannot "
                  "answer the chord until Vornel has ended. A first U's capture can never see a save then: have the "
                  "macro save the document as DOC.BAK, write VORNEL.CTL and start vornel K <depth> before it starts "
                  "vornel U DOC (see \"The first U's capture\" in README.md). Two other things look the same from "
                  "here: a chord bound to nothing (T started from Win+R tells), and a macro still busy 15 seconds "
                  "after it started T (a wait for DOC.VRN after it): start T from a macro line that ends at once.");
    } else if (rs.platform.WatchRunning(rs.workingDirectory)) {
        found.Fix("No VORNEL.CTL came after the keys.",
                  "No new VORNEL.CTL within 5 seconds of the keys. Watch mode runs on this VN\\ and may have taken it "
                  "in first: look for a new snapshot, or stop it (vornel Q) and run T again.");
    } else if (before.control) {
        found.Fix("No new VORNEL.CTL came after the keys: T could not tell whether the macro works.",
                  "The VORNEL.CTL that was there before the keys " + rs.trigger + " was left unchanged for 5 seconds: "
                  "the chord is not bound to the macro, or the macro writes VORNEL.CTL somewhere else than " +
                  rs.workingDirectory + ".");
    } else {
        found.Fix("No VORNEL.CTL came after the keys.",
                  "No VORNEL.CTL within 5 seconds of the keys " + rs.trigger + ": the chord is not bound to the "
                  "macro, or the macro writes VORNEL.CTL somewhere else than " + rs.workingDirectory + ".");
    }
}

// Types the keys once, as watch mode does, and waits for the macro's answer:
// a VORNEL.CTL that was not there before the keys, or one written anew.
void TriesTheKeys(Findings& found, RunState& rs, WindowHandle window, Starter starter) {
    // Started by the host, or maybe: the macro that started T may still be
    // busy before XyWrite reads the chord.
    const bool fromHost = starter == Starter::Window, maybeHost = starter != Starter::Outside;
    Platform& platform = rs.platform;
    const Before before = LookBeforeTheKeys(rs);
    if (before.control)
        found.Note("VORNEL.CTL was there before the keys (a save no pass has taken in yet): T leaves it and waits "
                   "for the macro to write it anew.");
    if (!Play(rs, rs.trigger, window)) {
        found.Fix("Windows took none of the keys.",
                  "Windows took none of the keys " + rs.trigger + " (the screen was locked, a secure desktop was up, "
                  "or a program blocks input): nothing was typed. Run T again.");
        return;
    }
    // Timed by the clock: a sum of the sleeps would call an answer that came
    // late "in time".
    const std::int64_t keysAt = platform.Milliseconds();
    const Long answerWait = maybeHost ? kSetupHostAnswerWait : kSetupAnswerWait;
    std::int64_t waited = 0;
    Look look;
    for (;;) {
        const std::optional<FileStamp> now = platform.StampOf(rs.controlFilePath);
        const bool changed = now && now != before.control;
        bool open = changed && platform.BeingWritten(rs.controlFilePath);
        waited = platform.Milliseconds() - keysAt;
        if (changed && !open) {
            // Opened again between the two looks: a save still going on.
            look = LookAtTheAnswer(rs);
            if (!look.open) break;
            open = true;
        }
        if (waited >= kSetupAnswerWait && open) {
            found.Fix("VORNEL.CTL was still being written 5 seconds after the keys.",
                      "The macro began VORNEL.CTL but still had it open 5 seconds after the keys: watch mode leaves a "
                      "control file that is being written for a later pass, so it files late or not at all. Have the "
                      "macro close VORNEL.CTL as soon as it has written the name.");
            return;
        }
        if (waited >= answerWait) return NoAnswer(found, rs, fromHost, before);
        platform.Sleep(kSetupAnswerPoll);
    }
    if (!look.control) {
        found.Fix("A watch mode took the macro's answer in before T could read it.",
                  "A VORNEL.CTL came " + Seconds(waited) + " after the keys, but it was gone when T came to read it: "
                  "a watch mode (or a U) on this VN\\ took it in first. Stop watch mode (vornel Q) and run T again.");
        return;
    }
    found.Note("VORNEL.CTL came " + Seconds(waited) + " after the keys " + rs.trigger + ".");
    if (fromHost) found.Note("The host does not wait for the programs it starts: the macro answered while T ran.");
    if (waited > kSavePause && maybeHost)
        found.Fix("XyWrite was busy after it started T, so T could not time the save.",
                  "VORNEL.CTL came " + Seconds(waited) + " after the keys. The host went on while T ran, but XyWrite "
                  "read the chord only once the macro that started T was done (a wait for DOC.VRN after it, say): "
                  "that says nothing of how fast the save is. Time it with T from Win+R, or from a macro line that "
                  "starts T and ends at once, with nothing after it.");
    else if (waited > kSavePause)
        found.Fix("The macro answered late, after the 1.5 seconds Vornel gives it.",
                  "VORNEL.CTL came " + Seconds(waited) + " after the keys, but a pass reads VN\\ 1.5 s after the "
                  "chord: watch mode files each save a pass late, and a first U's capture misses it. Have the macro "
                  "save DOC.BAK and write VORNEL.CTL first, before anything else it does.");
    JudgesTheAnswer(found, rs, look, before);
}

// The folder VN beside vornel.exe; T makes none.
bool HasWorkingDirectory(RunState& rs) {
    const std::string folder = rs.programDirectory + "\\VN";
    return rs.platform.NameTaken(folder) && !FileExists(rs.platform, folder);
}

}  // namespace

void CheckSetup(RunState& rs) {
    Platform& platform = rs.platform;
    Findings found;
    const bool vn = HasWorkingDirectory(rs);
    if (!vn)
        found.Fix("There is no folder VN beside vornel.exe.",
                  "vornel.exe is in " + rs.programDirectory + ", and every file Vornel and the macro share lives in "
                  "VN\\ beside it: make the folder " + rs.workingDirectory + " (Vornel never makes it), then run T "
                  "again.");
    std::string title;
    const WindowHandle window = WaitForWordProcessor(rs, title);
    bool tried = false;
    Starter starter = Starter::Outside;
    if (window == 0) {
        NoWordProcessor(found, rs, title);
    } else {
        found.Note("XyWrite is in front: " + Quoted(title) + ".");
        starter = platform.StartedBy(window);
        found.Note(starter == Starter::Window
                       ? "T was started by the program whose window is in front (XyWrite's host), as the macro "
                         "starts U and R."
                   : starter == Starter::Outside
                       ? "T was started from outside XyWrite (Win+R, a shortcut)."
                       : "T could not tell who started it: the program that did has ended already (a command "
                         "processor that did not wait for T, as a host's may).");
        const KeyDelivery delivery = platform.KeyDeliveryTo(window);
        LooksAtDelivery(found, delivery);
        if (rs.trigger.empty())
            found.Note("No keys were given, so none were typed: run vornel T with your chord (vornel T 11107B) to "
                       "check the macro too.");
        else if (!std::all_of(rs.trigger.begin(), rs.trigger.end(), IsHexDigit))
            found.Fix("The keys are not hexadecimal codes.",
                      "The keys " + rs.trigger + " are not a row of two-digit hexadecimal key codes (11 Ctrl, 10 "
                      "Shift, 7B F12): nothing was typed. Watch mode would fail with 13.");
        else if (!vn)
            found.Note("The keys were not typed: the macro would have no VN\\ to write into.");
        else if (delivery != KeyDelivery::Dropped)
            TriesTheKeys(found, rs, window, starter), tried = true;
    }
    const CodePages pages = platform.GetCodePages();
    if (vn) found.Note("VN\\ is " + platform.ResolvedPath(rs.workingDirectory) + ".");
    found.Note("Code pages: ANSI " + Digits(pages.ansi) + ", DOS (OEM) " + Digits(pages.oem) + ".");
    if (vn)
        found.Note(platform.WatchRunning(rs.workingDirectory) ? "Watch mode runs on this VN\\."
                                                               : "No watch mode runs on this VN\\.");
    if (found.verdict.empty() && rs.trigger.empty())
        found.verdict = std::string(kSetupReady) + " so far: no keys were given, so the macro was not tried.";
    if (found.verdict.empty() && tried)
        found.Note("Next: start watch mode with vornel " + rs.trigger + " 5 20 (your seconds between passes and "
                   "snapshots kept)" +
                   (starter != Starter::Outside ? std::string(".")
                             : ", and run vornel T " + rs.trigger + " once more from the macro, the way it will "
                               "start U: that shows whether the host can start Vornel and whether it waits for it."));
    std::string text = found.verdict.empty() ? std::string(kSetupReady) + "." : found.verdict;
    text += "\n";
    for (const std::string& line : found.lines) text += "\n" + line;
    platform.MessageBox(text, 0, std::string(kProgramTitle), "", 0, BoxFocus::Front);
    EndProgram(platform);
}

}  // namespace vornel
