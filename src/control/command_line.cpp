#include "control/command_line.h"

namespace vornel {

namespace {

void ReadWatchArguments(RunState& rs) {
    std::string& text = rs.commandText;
    rs.trigger = Left(text, Find(text, " ") - 1);
    text = Mid(text, Find(text, " ") + 1);
    rs.interval = ToLong(LeadingNumber(Left(text, Find(text, " ") - 1)) * 1000.0);
    rs.depth = ToSmall(LeadingNumber(Mid(text, Find(text, " ") + 1)));
    if (rs.depth < 1 || rs.depth > 998 || rs.interval < 1) {
        rs.platform.Beep();
        rs.platform.MessageBox(kArgumentWarning, 0, std::nullopt, "", 0, BoxFocus::Front);
        EndProgram(rs.platform);
    }
}

}  // namespace

void ReadCommandLine(RunState& rs) {
    rs.commandText = Upper(Trim(rs.platform.CommandLine()), rs.codePage);
    // Started by a double click, not by a macro or a shortcut: say how it is
    // used instead of stepping back an empty name.
    if (rs.commandText.find_first_not_of(" \t") == std::string::npos) {
        rs.platform.MessageBox(kUsage, 0, std::string(kProgramTitle), "", 0, BoxFocus::Front);
        EndProgram(rs.platform);
    }
    rs.mode = ToSmall(Find("U R K ", Left(rs.commandText, 2)));
    if (rs.mode == kWatch && Left(rs.commandText, 1) == "Q") {
        rs.mode = kStopWatch;
        return;
    }
    // No trigger sequence begins with T (its codes are hexadecimal). The keys
    // may be written with blanks between the codes.
    if (rs.mode == kWatch && (rs.commandText == "T" || Left(rs.commandText, 2) == "T ")) {
        rs.mode = kCheckSetup;
        for (const char c : Mid(rs.commandText, 2))
            if (c != ' ') rs.trigger += c;
        return;
    }
    if (rs.mode == kWatch) {
        ReadWatchArguments(rs);
        return;
    }
    rs.documentName = Mid(rs.commandText, 3);
    if (rs.mode == kSingleIntake) rs.depth = ToSmall(LeadingNumber(rs.documentName));
}

void PlaceWorkingDirectory(RunState& rs) {
    rs.programDirectory = rs.platform.ProgramDirectory();
    rs.workingDirectory = rs.programDirectory + "\\VN\\";
    rs.controlFilePath = rs.workingDirectory + "VORNEL.CTL";
}

void ClearStaleControlFile(RunState& rs) {
    const bool there = FileExists(rs.platform, rs.controlFilePath);
    if (rs.mode >= kSingleIntake || !there) return;
    // One the word processor is writing this moment, or wrote just now, is a
    // save on its way, not stale: the next intake takes it.
    const std::optional<std::int64_t> ago = rs.platform.WrittenAgo(rs.controlFilePath);
    if (ago && *ago >= kFreshSave && !rs.platform.BeingWritten(rs.controlFilePath))
        rs.platform.DeleteFile(rs.controlFilePath);
}

}  // namespace vornel
