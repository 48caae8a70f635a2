#include "control/setup_check.h"

#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <vector>

#include "control/setup_findings.h"
#include "control/turns.h"
#include "control/watch_cycle.h"
#include "store/intake.h"
#include "store/inventory.h"
#include "store/names.h"
#include "trigger/player.h"

namespace vornel {

namespace {

// The findings that hold, and what T saw for their words.
struct Found {
    std::set<Finding> holds;
    Facts facts;
    Found& operator+=(Finding f) {
        holds.insert(f);
        return *this;
    }
};

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

// What is wrong with the control file's text as a name, before any file is looked at.
std::optional<Finding> TextProblem(const std::string& text, Long codePage) {
    if (text.empty()) return Finding::ControlEmpty;
    if (Len(text) >= 2 && Right(text, 2) == "\r\n") return Finding::ControlCrLf;
    const std::string name = NameInControlFile(text);
    if (name.empty()) return Finding::ControlNoName;
    if (IsPath(name, codePage)) return Finding::ControlPath;
    if (!IsPlainStem(name, codePage) && IsPlainStem(text, codePage) && EndsInDoubleByte(text, codePage))
        return Finding::ControlCutInTwo;
    if (!IsPlainStem(name, codePage)) return Finding::ControlRefused;
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

// The macro's answer as the intake would take it in; `before` is what was
// there before the keys: an answer must be this T's own.
void JudgeTheAnswer(Found& found, RunState& rs, const Look& look, const Before& before) {
    Facts& f = found.facts;
    f.text = look.text;
    f.written = look.text.empty() ? std::string() : NameInControlFile(look.text);
    f.name = look.name;
    if (const auto problem = TextProblem(look.text, rs.codePage)) {
        found += *problem;
        return;
    }
    if (Find(f.written, ".") > 0) found += Finding::NameDot;
    else if (Len(f.written) > 8) found += Finding::NameLong;
    if (std::any_of(f.written.begin(), f.written.end(), [](char c) { return static_cast<unsigned char>(c) > 127; }))
        found += f.name != f.written ? Finding::ReadOem : look.transfer ? Finding::ReadAnsi : Finding::ReadNeither;
    if (!look.transfer) {
        found += look.whole ? Finding::NoCharacterAfter : Finding::NoTransfer;
        return;
    }
    if (look.transferOpen) {
        found += Finding::TransferOpen;
        return;
    }
    const auto old = before.saves.find(Upper(f.name + ".BAK", rs.codePage));
    found += old != before.saves.end() && old->second == *look.transfer ? Finding::TransferOld : Finding::WouldFile;
    f.transferSize = look.transfer->size;
}

// No answer while T waited: what that means depends on who started T.
Finding NoAnswer(RunState& rs, Starter starter, const Before& before) {
    if (starter == Starter::Window) return Finding::HostWaits;
    if (rs.platform.WatchRunning(rs.workingDirectory)) return Finding::NoAnswerWatching;
    return before.control ? Finding::NoNewAnswer : Finding::NoAnswer;
}

// Types the keys once, as watch mode does, and waits for the macro's answer:
// a VORNEL.CTL that was not there before the keys, or one written anew. A
// control file T finds open is given 5 seconds from when T first saw it so.
void TryTheKeys(Found& found, RunState& rs, WindowHandle window, Starter starter) {
    Platform& platform = rs.platform;
    Facts& f = found.facts;
    const Before before = LookBeforeTheKeys(rs);
    if (before.control) found += Finding::ControlBefore;
    if (!Play(rs, rs.trigger, window)) {
        found += Finding::KeysRefused;
        return;
    }
    // Timed by the clock: a sum of the sleeps would call an answer that came
    // late "in time". The macro that started T may still be busy before
    // XyWrite reads the chord: then T waits longer.
    const std::int64_t keysAt = platform.Milliseconds();
    const Long answerWait = starter == Starter::Outside ? kSetupAnswerWait : kSetupHostAnswerWait;
    std::optional<std::int64_t> openSince;
    Look look;
    for (;;) {
        const std::optional<FileStamp> now = platform.StampOf(rs.controlFilePath);
        const bool changed = now && now != before.control;
        bool open = changed && platform.BeingWritten(rs.controlFilePath);
        f.waited = platform.Milliseconds() - keysAt;
        if (changed && !open) {
            look = LookAtTheAnswer(rs);
            if (!look.open) break;
            open = true;  // opened again between the two looks: a save still going on
        }
        if (!open) openSince.reset();
        else if (!openSince) openSince = f.openAt = f.waited;
        if (openSince && f.waited - *openSince >= kSetupAnswerWait) {
            found += Finding::StayedOpen;
            return;
        }
        if (!openSince && f.waited >= answerWait) {
            found += NoAnswer(rs, starter, before);
            return;
        }
        platform.Sleep(kSetupAnswerPoll);
    }
    if (!look.control) {
        found += Finding::TakenFirst;
        return;
    }
    found += Finding::Came;
    if (starter == Starter::Window) found += Finding::HostNoWait;
    if (f.waited > kSavePause)
        found += starter == Starter::Window ? Finding::Busy
                 : starter == Starter::CannotTell ? Finding::LateOrBusy : Finding::Late;
    JudgeTheAnswer(found, rs, look, before);
}

// The folder VN beside vornel.exe; T makes none.
bool HasWorkingDirectory(RunState& rs) {
    const std::string folder = rs.programDirectory + "\\VN";
    return rs.platform.NameTaken(folder) && !FileExists(rs.platform, folder);
}

}  // namespace

// In one pass, in a fixed order: VN\, the window in front, who started T,
// the keys and the answer, then where things are.
void CheckSetup(RunState& rs) {
    Platform& platform = rs.platform;
    Found found;
    Facts& f = found.facts;
    f.programDirectory = rs.programDirectory, f.vn = rs.workingDirectory, f.keys = rs.trigger;
    f.codePage = rs.codePage;
    const bool vn = HasWorkingDirectory(rs);
    if (!vn) found += Finding::NoVn;
    const WindowHandle window = WaitForWordProcessor(rs, f.title);
    if (window == 0) {
        found += Finding::NoWordProcessor;
    } else {
        found += Finding::InFront;
        const Starter starter = platform.StartedBy(window);
        found += starter == Starter::Window    ? Finding::StartedByHost
                 : starter == Starter::Outside ? Finding::StartedOutside
                                               : Finding::StarterUnknown;
        const KeyDelivery delivery = platform.KeyDeliveryTo(window);
        found += delivery == KeyDelivery::Dropped      ? Finding::KeysDropped
                 : delivery == KeyDelivery::CannotTell ? Finding::KeysMayReach
                                                       : Finding::KeysReach;
        if (rs.trigger.empty()) found += Finding::NoKeys;
        else if (!std::all_of(rs.trigger.begin(), rs.trigger.end(), IsHexDigit)) found += Finding::NotHex;
        else if (!vn) found += Finding::NotTypedNoVn;
        else if (delivery != KeyDelivery::Dropped) TryTheKeys(found, rs, window, starter);
    }
    const CodePages pages = platform.GetCodePages();
    f.ansi = pages.ansi, f.oem = pages.oem;
    found += Finding::CodePages;
    if (vn) {
        f.resolvedVn = platform.ResolvedPath(rs.workingDirectory);
        found += Finding::VnIs;
        found += platform.WatchRunning(rs.workingDirectory) ? Finding::WatchRuns : Finding::NoWatch;
    }
    platform.MessageBox(SetupReport(found.holds, f), 0, std::string(kProgramTitle), "", 0, BoxFocus::Front);
    EndProgram(platform);
}

}  // namespace vornel
