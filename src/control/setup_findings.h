#pragma once
// What command T can find, as one table: each finding's key, whether it
// keeps T from saying "Ready.", and its words. The checks only say which
// findings hold; the table's order decides the verdict and the lines.
#include <cstdint>
#include <set>
#include <string>

#include "platform/text.h"

namespace vornel {

enum class Finding {
    // The setup around XyWrite.
    NoVn, NoWordProcessor, InFront, StartedByHost, StartedOutside, StarterUnknown,
    KeysDropped, KeysMayReach, KeysReach, NoKeys, NotHex, NotTypedNoVn,
    // The keys and the wait for the macro's answer.
    ControlBefore, KeysRefused, StayedOpen, HostWaits, NoAnswerWatching, NoNewAnswer, NoAnswer, TakenFirst,
    Came, HostNoWait, Busy, LateOrBusy, Late,
    // The answer, as the intake would take it in.
    ControlEmpty, ControlCrLf, ControlNoName, ControlPath, ControlCutInTwo, ControlRefused,
    NameDot, NameLong, ReadOem, ReadAnsi, ReadNeither,
    NoCharacterAfter, NoTransfer, TransferOpen, TransferOld, WouldFile,
    // Where things are.
    VnIs, CodePages, WatchRuns, NoWatch,
};

// What T saw, for the words.
struct Facts {
    std::string programDirectory, vn, resolvedVn;
    std::string title;             // the window in front, or the last one seen
    std::string keys;              // the chord, as typed
    std::int64_t waited = 0;       // ms from the keys to the answer, or as long as T waited for one
    std::int64_t openAt = 0;       // ms from the keys to when T first saw VORNEL.CTL open
    std::string text;              // what VORNEL.CTL holds
    std::string written;           // the name in it
    std::string name;              // the name in the reading that finds its files
    std::int64_t transferSize = 0;
    std::int32_t ansi = 0, oem = 0;
    Long codePage = 1252;
};

// The box's text: the first finding that blocks, by the table's order (or
// "Ready."), then a line for each finding that holds, in the table's order.
std::string SetupReport(const std::set<Finding>& found, const Facts& facts);

}  // namespace vornel
