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
        rs.platform.MessageBox(kArgumentWarning, 0, std::nullopt, "", 0);
        EndProgram(rs.platform);
    }
}

}  // namespace

void ReadCommandLine(RunState& rs) {
    rs.commandText = Upper(Trim(rs.platform.CommandLine()));
    rs.mode = ToSmall(Find("U R K ", Left(rs.commandText, 2)));
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
    const bool stale = FileExists(rs.platform, rs.controlFilePath);
    // One the word processor is writing this moment is a save, not stale: the
    // next intake takes it.
    if (rs.mode < kSingleIntake && stale && !rs.platform.BeingWritten(rs.controlFilePath))
        rs.platform.DeleteFile(rs.controlFilePath);
}

}  // namespace vornel
