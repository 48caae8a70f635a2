#include "control/setup_findings.h"

#include "control/setup_check.h"

namespace vornel {

namespace {

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

std::string Seconds(std::int64_t milliseconds) {
    return std::to_string(milliseconds / 1000) + "." + Right("00" + std::to_string(milliseconds % 1000 / 10), 2) + " s";
}

std::string WholeSeconds(std::int64_t milliseconds) { return std::to_string(milliseconds / 1000) + " seconds"; }

struct Entry {
    Finding key;
    bool blocks;                          // keeps T from saying "Ready."
    std::string (*what)(const Facts&);    // the verdict, for a finding that blocks
    std::string (*line)(const Facts&);    // what T found, and what to do
};

using F = const Facts&;
std::string None(F) { return ""; }

const Entry kTable[] = {
    {Finding::NoVn, true, [](F) -> std::string { return "There is no folder VN beside vornel.exe."; },
     [](F f) {
         return "vornel.exe is in " + f.programDirectory + ", and every file Vornel and the macro share lives in VN\\ "
                "beside it: make the folder " + f.vn + " (Vornel never makes it), then run T again.";
     }},
    {Finding::NoWordProcessor, true,
     [](F) -> std::string { return "No window titled XYWRITE... came to the front in 15 seconds."; },
     [](F f) {
         const std::string why =
             f.title.empty() ? "No window was in front (a locked desktop, or every window minimized)."
             : Find(Upper(f.title, f.codePage), "XYWRITE") > 1
                 ? "The window in front was " + Quoted(f.title) + ": XYWRITE stands in its title, but not at the start."
                 : "The window in front was " + Quoted(f.title) + ": its title does not begin with XYWRITE.";
         return why + " Give XyWrite's window a title that begins with XyWrite (see \"Setting up your DOS host\" in "
                      "README.md), then run T again and click into XyWrite.";
     }},
    {Finding::InFront, false, None, [](F f) { return "XyWrite is in front: " + Quoted(f.title) + "."; }},
    {Finding::StartedByHost, false, None,
     [](F) -> std::string {
         return "T was started by the program whose window is in front (XyWrite's host), as the macro starts U and R.";
     }},
    {Finding::StartedOutside, false, None,
     [](F) -> std::string { return "T was started from outside XyWrite (Win+R, a shortcut)."; }},
    {Finding::StarterUnknown, false, None,
     [](F) -> std::string {
         return "T could not tell who started it: the program that did has ended already (a command processor that "
                "did not wait for T, as a host's may).";
     }},
    {Finding::KeysDropped, true, [](F) -> std::string { return "Windows would drop Vornel's keys."; },
     [](F) -> std::string {
         return "XyWrite's host runs as administrator and Vornel does not: Windows drops every key Vornel types. Run "
                "XyWrite's host and Vornel the same way.";
     }},
    {Finding::KeysMayReach, false, None,
     [](F) -> std::string {
         return "Windows may or may not pass Vornel's keys to this window (a console window, or a program Vornel may "
                "not look at): the keys show it.";
     }},
    {Finding::KeysReach, false, None, [](F) -> std::string { return "Windows passes Vornel's keys to this window."; }},
    {Finding::NoKeys, false, None,
     [](F) -> std::string {
         return "No keys were given, so none were typed: run vornel T with your chord (vornel T 11107B) to check the "
                "macro too.";
     }},
    {Finding::NotHex, true, [](F) -> std::string { return "The keys are not hexadecimal codes."; },
     [](F f) {
         return "The keys " + f.keys + " are not a row of two-digit hexadecimal key codes (11 Ctrl, 10 Shift, 7B F12): "
                "nothing was typed. Watch mode would fail with 13.";
     }},
    {Finding::NotTypedNoVn, false, None,
     [](F) -> std::string { return "The keys were not typed: the macro would have no VN\\ to write into."; }},
    {Finding::ControlBefore, false, None,
     [](F) -> std::string {
         return "VORNEL.CTL was there before the keys (a save no pass has taken in yet): T leaves it and waits for the "
                "macro to write it anew.";
     }},
    {Finding::KeysRefused, true, [](F) -> std::string { return "Windows took none of the keys."; },
     [](F f) {
         return "Windows took none of the keys " + f.keys + " (the screen was locked, a secure desktop was up, or a "
                "program blocks input): nothing was typed. Run T again.";
     }},
    {Finding::StayedOpen, true, [](F) -> std::string { return "VORNEL.CTL stayed open 5 seconds."; },
     [](F f) {
         return "The macro began VORNEL.CTL " + Seconds(f.openAt) + " after the keys and still had it open 5 seconds "
                "later: watch mode leaves a control file that is being written for a later pass, so it files late or "
                "not at all. Have the macro close VORNEL.CTL as soon as it has written the name.";
     }},
    {Finding::HostWaits, true, [](F) -> std::string { return "XyWrite's host waits for the programs it starts."; },
     [](F f) {
         return "No VORNEL.CTL came while T ran (" + WholeSeconds(f.waited) + "): the host waits for a Windows program "
                "it starts, so XyWrite cannot answer the chord until Vornel has ended. Nor can it save while a U runs: "
                "have the macro save the document as DOC.BAK and write VORNEL.CTL before it starts vornel U DOC (see "
                "\"The first U: save, then start it\" in README.md). Two other things look the same from here: a chord "
                "bound to nothing (T started from Win+R tells), and a macro still busy " + WholeSeconds(f.waited) +
                " after it started T (a wait for DOC.VRN after it): start T from a macro line that ends at once.";
     }},
    {Finding::NoAnswerWatching, true, [](F) -> std::string { return "No VORNEL.CTL came after the keys."; },
     [](F f) {
         return "No new VORNEL.CTL within " + WholeSeconds(f.waited) + " of the keys. Watch mode runs on this VN\\ and "
                "may have taken it in first: look for a new snapshot, or stop it (vornel Q) and run T again.";
     }},
    {Finding::NoNewAnswer, true,
     [](F) -> std::string {
         return "No new VORNEL.CTL came after the keys: T could not tell whether the macro works.";
     },
     [](F f) {
         return "The VORNEL.CTL that was there before the keys " + f.keys + " was left unchanged for " +
                WholeSeconds(f.waited) + ": the chord is not bound to the macro, or the macro writes VORNEL.CTL "
                "somewhere else than " + f.vn + ".";
     }},
    {Finding::NoAnswer, true, [](F) -> std::string { return "No VORNEL.CTL came after the keys."; },
     [](F f) {
         return "No VORNEL.CTL within " + WholeSeconds(f.waited) + " of the keys " + f.keys + ": the chord is not "
                "bound to the macro, or the macro writes VORNEL.CTL somewhere else than " + f.vn + ".";
     }},
    {Finding::TakenFirst, true,
     [](F) -> std::string { return "A watch mode took the macro's answer in before T could read it."; },
     [](F f) {
         return "A VORNEL.CTL came " + Seconds(f.waited) + " after the keys, but it was gone when T came to read it: a "
                "watch mode (or a U) on this VN\\ took it in first. Stop watch mode (vornel Q) and run T again.";
     }},
    {Finding::Came, false, None,
     [](F f) { return "VORNEL.CTL came " + Seconds(f.waited) + " after the keys " + f.keys + "."; }},
    {Finding::HostNoWait, false, None,
     [](F) -> std::string {
         return "The host does not wait for the programs it starts: the macro answered while T ran.";
     }},
    {Finding::Busy, true,
     [](F) -> std::string { return "XyWrite was busy after it started T, so T could not time the save."; },
     [](F f) {
         return "VORNEL.CTL came " + Seconds(f.waited) + " after the keys. The host went on while T ran, but XyWrite "
                "read the chord only once the macro that started T was done (a wait for DOC.VRN after it, say): that "
                "says nothing of how fast the save is. Time it with T from Win+R, or from a macro line that starts T "
                "and ends at once, with nothing after it.";
     }},
    {Finding::LateOrBusy, true,
     [](F) -> std::string {
         return "VORNEL.CTL came late: the macro is slow, or XyWrite was busy after it started T.";
     },
     [](F f) {
         return "VORNEL.CTL came " + Seconds(f.waited) + " after the keys, later than the 1.5 seconds a pass gives "
                "the macro. T could not tell who started it, so two readings fit: the macro is slow (watch mode would "
                "file each save a pass late), or a host started T through a command processor that did not wait, and "
                "XyWrite read the chord only once the macro that started T was done. T from Win+R tells them apart: "
                "an answer there within 1.5 seconds means the save is quick.";
     }},
    {Finding::Late, true, [](F) -> std::string { return "The macro answered late, after the 1.5 seconds Vornel gives it."; },
     [](F f) {
         return "VORNEL.CTL came " + Seconds(f.waited) + " after the keys, but a pass reads VN\\ 1.5 s after the "
                "chord: watch mode files each save a pass late, and a first U's capture misses it. Have the macro save "
                "DOC.BAK and write VORNEL.CTL first, before anything else it does.";
     }},
    {Finding::ControlEmpty, true, [](F) -> std::string { return "VORNEL.CTL is empty."; },
     [](F) -> std::string {
         return "VORNEL.CTL is empty: the macro must write the document's name and one character after it (LETTER and "
                "one more).";
     }},
    {Finding::ControlCrLf, true, [](F) -> std::string { return "VORNEL.CTL ends in a line end (CR LF)."; },
     [](F) -> std::string {
         return "VORNEL.CTL holds the name and a line end, CR LF: Vornel cuts one character, so the name would end in "
                "CR and be refused (52). Have the macro write the name and one character, no line end.";
     }},
    {Finding::ControlNoName, true, [](F) -> std::string { return "VORNEL.CTL holds no name."; },
     [](F) -> std::string {
         return "VORNEL.CTL holds one character and no name: the macro must write the document's name before it.";
     }},
    {Finding::ControlPath, true, [](F) -> std::string { return "VORNEL.CTL holds a path, not a name."; },
     [](F f) {
         return "VORNEL.CTL names " + Quoted(f.written) + ": the macro writes the document's path, but it must write "
                "its name alone (LETTER), the stem of its files in VN\\.";
     }},
    {Finding::ControlCutInTwo, true, [](F f) { return "VORNEL.CTL holds " + f.text + " and no character after it."; },
     [](F f) {
         return "VORNEL.CTL holds " + Quoted(f.text) + ": Vornel takes the last byte for the character after the name, "
                "and that cuts the last character of the name in two. Have the macro write one more character after "
                "the name (a Ctrl-Z or a blank).";
     }},
    {Finding::ControlRefused, true, [](F) -> std::string { return "The name in VORNEL.CTL is refused (52)."; },
     [](F f) {
         return "VORNEL.CTL names " + Quoted(f.written) + ": a name with a control character, or * ? \" < > |, or one "
                "that is . or .., cannot be a file's name. Watch mode would fail with 52.";
     }},
    {Finding::NameDot, true, [](F) -> std::string { return "The name in VORNEL.CTL has a dot."; },
     [](F f) {
         return "VORNEL.CTL names " + Quoted(f.written) + ": a stem has no dot (LETTER, not LETTER.TXT). XyWrite IV "
                "makes only 8.3 calls, so it cannot see " + f.written + ".VRN.";
     }},
    {Finding::NameLong, true, [](F) -> std::string { return "The name in VORNEL.CTL is longer than 8 characters."; },
     [](F f) {
         return "VORNEL.CTL names " + Quoted(f.written) + ": XyWrite IV makes only 8.3 calls, so the stem must have 8 "
                "characters at most, or it cannot see " + f.written + ".VRN.";
     }},
    {Finding::ReadOem, false, None,
     [](F f) { return "The name is read in the DOS (OEM) code page: its files are under " + Quoted(f.name) + "."; }},
    {Finding::ReadAnsi, false, None,
     [](F) -> std::string { return "The name is read in the ANSI code page, as it stands."; }},
    {Finding::ReadNeither, false, None,
     [](F) -> std::string { return "Neither the ANSI nor the DOS (OEM) reading of the name finds its files."; }},
    {Finding::NoCharacterAfter, true,
     [](F f) { return "VORNEL.CTL holds " + f.text + " and no character after it."; },
     [](F f) {
         return "VORNEL.CTL holds " + Quoted(f.text) + ", and " + f.text + ".BAK is there, but Vornel takes the last "
                "character for the one after the name and reads " + Quoted(f.written) + ": have the macro write one "
                "more character after the name (a Ctrl-Z or a blank).";
     }},
    {Finding::NoTransfer, true,
     [](F f) { return "VORNEL.CTL names " + f.name + ", but there is no " + f.name + ".BAK."; },
     [](F f) {
         return "VORNEL.CTL names " + Quoted(f.name) + ", but " + f.vn + " holds no " + f.name + ".BAK: the macro "
                "must save the document as " + f.name + ".BAK in that folder.";
     }},
    {Finding::TransferOpen, true,
     [](F f) { return f.name + ".BAK was still being written after VORNEL.CTL came."; },
     [](F f) {
         return "The macro wrote VORNEL.CTL while " + f.name + ".BAK was still open: watch mode leaves a save that is "
                "being written in place and files nothing from it. Have the macro close " + f.name + ".BAK before it "
                "writes VORNEL.CTL.";
     }},
    {Finding::TransferOld, true, [](F f) { return f.name + ".BAK is the one from before the keys."; },
     [](F f) {
         return "The macro wrote VORNEL.CTL, but " + f.name + ".BAK is unchanged since before the keys: the macro must "
                "save the document as " + f.name + ".BAK in " + f.vn + " before it writes VORNEL.CTL.";
     }},
    {Finding::WouldFile, false, None,
     [](F f) {
         return "VORNEL.CTL names " + Quoted(f.name) + ", and " + f.name + ".BAK is there (" +
                std::to_string(f.transferSize) + " bytes): watch mode would file it.";
     }},
    {Finding::VnIs, false, None, [](F f) { return "VN\\ is " + f.resolvedVn + "."; }},
    {Finding::CodePages, false, None,
     [](F f) { return "Code pages: ANSI " + Digits(f.ansi) + ", DOS (OEM) " + Digits(f.oem) + "."; }},
    {Finding::WatchRuns, false, None, [](F) -> std::string { return "Watch mode runs on this VN\\."; }},
    {Finding::NoWatch, false, None, [](F) -> std::string { return "No watch mode runs on this VN\\."; }},
};

}  // namespace

std::string SetupReport(const std::set<Finding>& found, const Facts& facts) {
    std::string verdict, lines;
    for (const Entry& e : kTable) {
        if (!found.count(e.key)) continue;
        if (e.blocks && verdict.empty()) verdict = e.what(facts);
        lines += '\n';
        lines += e.line(facts);
    }
    if (verdict.empty() && found.count(Finding::NoKeys))
        verdict = std::string(kSetupReady) + " so far: no keys were given, so the macro was not tried.";
    if (verdict.empty() && found.count(Finding::Came))
        lines += "\nNext: start watch mode with vornel " + facts.keys + " 5 20 (your seconds between passes and "
                 "snapshots kept)" +
                 (!found.count(Finding::StartedOutside)
                      ? std::string(".")
                      : ", and run vornel T " + facts.keys + " once more from the macro, the way it will start U: "
                        "that shows whether the host can start Vornel and whether it waits for it.");
    return (verdict.empty() ? std::string(kSetupReady) + "." : verdict) + "\n" + lines;
}

}  // namespace vornel
