#include "control/setup_check.h"

#include <algorithm>
#include <vector>

#include "control/turns.h"
#include "control/watch_cycle.h"
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
    for (Long waited = 0;; waited = AddLong(waited, kFrontPollPause)) {
        const WindowHandle window = rs.platform.GetForegroundWindow();
        std::string buffer = Padded(kTitleBufferSize, ' ');
        rs.platform.GetWindowTextA(window, buffer, kTitleBufferSize);
        lastTitle = TitleOf(buffer);
        if (Find(Upper(lastTitle, rs.codePage), kWordProcessorTitle) == 1) return window;
        if (window == 0) lastTitle.clear();
        if (waited >= kSetupFrontWait) return 0;
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

std::string Seconds(Long milliseconds) {
    return Digits(milliseconds / 1000) + "." + Right("00" + Digits(milliseconds % 1000 / 10), 2) + " s";
}

// What the macro wrote: the control file's text, and the transfer file it names.
void ReadsTheAnswer(Findings& found, RunState& rs, const std::string& text) {
    const std::string vn = rs.workingDirectory;
    if (text.empty()) {
        found.Fix("VORNEL.CTL is empty.", "VORNEL.CTL is empty: the macro must write the document's name and one "
                                          "character after it (LETTER and one more).");
        return;
    }
    if (Len(text) >= 2 && Right(text, 2) == "\r\n") {
        found.Fix("VORNEL.CTL ends in a line end (CR LF).",
                  "VORNEL.CTL holds the name and a line end, CR LF: Vornel cuts one character, so the name would "
                  "end in CR and be refused (52). Have the macro write the name and one character, no line end.");
        return;
    }
    const std::string name = Left(text, Len(text) - 1);
    if (name.empty()) {
        found.Fix("VORNEL.CTL holds no name.", "VORNEL.CTL holds one character and no name: the macro must write "
                                               "the document's name before it.");
        return;
    }
    if (FirstOf(name, "\\/:", rs.codePage) != std::string::npos) {
        found.Fix("VORNEL.CTL holds a path, not a name.",
                  "VORNEL.CTL names " + Quoted(name) + ", a path: it must hold the document's name alone "
                  "(LETTER), the stem of its files in VN\\. On DOSBox-X, set starttranspath=false.");
        return;
    }
    if (!IsPlainStem(name, rs.codePage)) {
        found.Fix("The name in VORNEL.CTL is refused (52).",
                  "VORNEL.CTL names " + Quoted(name) + ": a name with a control character, or * ? \" < > |, or "
                  "one that is . or .., cannot be a file's name. Watch mode would fail with 52.");
        return;
    }
    if (Find(name, ".") > 0)
        found.Fix("The name in VORNEL.CTL has a dot.",
                  "VORNEL.CTL names " + Quoted(name) + ": a stem has no dot (LETTER, not LETTER.TXT). XyWrite IV "
                  "makes only 8.3 calls, so it cannot see " + name + ".VRN.");
    else if (Len(name) > 8)
        found.Fix("The name in VORNEL.CTL is longer than 8 characters.",
                  "VORNEL.CTL names " + Quoted(name) + ": XyWrite IV makes only 8.3 calls, so the stem must have 8 "
                  "characters at most, or it cannot see " + name + ".VRN.");
    rs.documentName = name;
    {
        const DirectoryTurn turn(rs);
        SettleNameReading(rs);
        const bool saved = FileExists(rs.platform, TransferPath(rs));
        if (AboveAscii(name)) {
            if (rs.documentName != name)
                found.Note("The name is read in the DOS (OEM) code page: its files are under " +
                           Quoted(rs.documentName) + ".");
            else if (saved)
                found.Note("The name is read in the ANSI code page, as it stands.");
            else
                found.Note("Neither the ANSI nor the DOS (OEM) reading of the name finds its files.");
        }
        if (!saved) {
            found.Fix("VORNEL.CTL names " + rs.documentName + ", but there is no " + rs.documentName + ".BAK.",
                      "VORNEL.CTL names " + Quoted(rs.documentName) + ", but " + vn + " holds no " +
                      rs.documentName + ".BAK: the macro must save the document as " + rs.documentName +
                      ".BAK in that folder.");
            return;
        }
        const std::int64_t size = rs.platform.FileSize(TransferPath(rs));
        found.Note("VORNEL.CTL names " + Quoted(rs.documentName) + ", and " + rs.documentName + ".BAK is there (" +
                   std::to_string(size) + " bytes): watch mode would file it.");
    }
}

// Types the keys once, as watch mode does, and waits for the macro's answer.
void TriesTheKeys(Findings& found, RunState& rs, WindowHandle window) {
    Platform& platform = rs.platform;
    const bool before = FileExists(platform, rs.controlFilePath);
    if (before)
        found.Note("VORNEL.CTL was there before the keys (a save no pass has taken in yet): T leaves it, so what "
                   "follows may speak of that one.");
    Play(rs, rs.trigger, window);
    Long waited = 0;
    while (!(FileExists(platform, rs.controlFilePath) && !platform.BeingWritten(rs.controlFilePath))) {
        if (waited >= kSetupAnswerWait) {
            if (platform.WatchRunning(rs.workingDirectory))
                found.Fix("No VORNEL.CTL came after the keys.",
                          "No VORNEL.CTL within 5 seconds of the keys. Watch mode runs on this VN\\ and may have "
                          "taken it in first: look for a new snapshot, or stop it (vornel Q) and run T again.");
            else
                found.Fix("No VORNEL.CTL came after the keys.",
                          "No VORNEL.CTL within 5 seconds of the keys " + rs.trigger + ": the chord is not bound "
                          "to the macro, or the macro writes VORNEL.CTL somewhere else than " +
                          rs.workingDirectory + ".");
            return;
        }
        platform.Sleep(kSetupAnswerPoll);
        waited = AddLong(waited, kSetupAnswerPoll);
    }
    if (!before) found.Note("VORNEL.CTL came " + Seconds(waited) + " after the keys " + rs.trigger + ".");
    std::string text;
    {
        const DirectoryTurn turn(rs);
        text = platform.ReadWhole(rs.controlFilePath);
    }
    ReadsTheAnswer(found, rs, text);
}

}  // namespace

void CheckSetup(RunState& rs) {
    Platform& platform = rs.platform;
    Findings found;
    std::string title;
    const WindowHandle window = WaitForWordProcessor(rs, title);
    if (window == 0) {
        NoWordProcessor(found, rs, title);
    } else {
        found.Note("XyWrite is in front: " + Quoted(title) + ".");
        const KeyDelivery delivery = platform.KeyDeliveryTo(window);
        LooksAtDelivery(found, delivery);
        if (rs.trigger.empty())
            found.Note("No keys were given, so none were typed: run vornel T with your chord (vornel T 11107B) to "
                       "check the macro too.");
        else if (rs.trigger.find_first_not_of("0123456789ABCDEF") != std::string::npos)
            found.Fix("The keys are not hexadecimal codes.",
                      "The keys " + rs.trigger + " are not a row of two-digit hexadecimal key codes (11 Ctrl, 10 "
                      "Shift, 7B F12): nothing was typed. Watch mode would fail with 13.");
        else if (delivery != KeyDelivery::Dropped)
            TriesTheKeys(found, rs, window);
    }
    const CodePages pages = platform.GetCodePages();
    found.Note("VN\\ is " + platform.ResolvedPath(rs.workingDirectory) + ".");
    found.Note("Code pages: ANSI " + Digits(pages.ansi) + ", DOS (OEM) " + Digits(pages.oem) + ".");
    found.Note(platform.WatchRunning(rs.workingDirectory) ? "Watch mode runs on this VN\\."
                                                           : "No watch mode runs on this VN\\.");
    if (found.verdict.empty() && rs.trigger.empty())
        found.verdict = std::string(kSetupReady) + " so far: no keys were given, so the macro was not tried.";
    std::string text = found.verdict.empty() ? std::string(kSetupReady) + "." : found.verdict;
    text += "\n";
    for (const std::string& line : found.lines) text += "\n" + line;
    platform.MessageBox(text, 0, std::string(kProgramTitle), "", 0, BoxFocus::Front);
    EndProgram(platform);
}

}  // namespace vornel
