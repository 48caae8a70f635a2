#pragma once
// The single record of a run, created at start and handed by reference
// through every step until the program ends.
#include <string>

#include "platform/platform.h"
#include "platform/text.h"

namespace vornel {

// Run modes: where the first two characters of the command text stand in
// "U R K "; a command text beginning with Q stops watch mode, and T (alone or
// before the keys) checks the setup.
enum Mode : Small { kWatch = 0, kStepBack = 1, kStepForward = 3, kSingleIntake = 5, kStopWatch = 7, kCheckSetup = 9 };

struct RunState {
    explicit RunState(Platform& p) : platform(p) {}

    Platform& platform;

    std::string commandText;
    Small mode = kWatch;
    std::string trigger;       // watch mode, and the keys command T tries
    Long interval = 0;         // milliseconds, watch mode only
    Small depth = 0;           // watch mode and command K
    std::string documentName;  // from the command line, later from the control file
    std::string programDirectory;
    std::string workingDirectory;
    std::string controlFilePath;
    // Names are upper-cased and checked per character in it (Upper, CheckDocumentName).
    Long codePage = 1252;

    // Inventory of the current document's snapshots.
    Small count = 0;
    Small lowest = 0;
    Small highest = 0;
    Long exists = 0;
    // The highest number filed under its own three digits (DOC.005, not
    // DOC.5E0): the newest snapshot there is to compare with; -1 when none.
    Small newest = -1;

    // Last step, from and for the state file.
    Long state = 0;
    Long pointer = 0;
    // The number the last intake filed the transfer file under; -1 when it filed nothing.
    Small filed = -1;

    // Watch mode's passes in a row whose keys Windows took none of.
    Small refusedPasses = 0;

    Small checkpoint = 0;  // how far the run has got; shown in the failure box
    // Watch mode's passes run in the background: their box must not take
    // the keys from whatever the user is typing into.
    BoxFocus boxFocus = BoxFocus::Front;
};

inline void SetCheckpoint(RunState& rs, Small n) { rs.checkpoint = n; }

}  // namespace vornel
