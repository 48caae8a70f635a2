#pragma once
// The one kind of run-time failure. Every operation that cannot do its job
// raises one of these; the failure handler is the only place that catches it.
#include <cstdint>
#include <string>

namespace vornel {

inline constexpr const char* kSource = "Vornel";

struct Failure {
    std::int32_t number = 0;
    std::string source;
    std::string description;
    std::string helpFile;
    std::int32_t helpContext = 0;
    // Another program has the file open for a moment (a virus scanner, the
    // indexer, a sync client): the same operation may work a little later.
    bool inUse = false;
};

// Failure numbers the program raises, with their fixed descriptions.
enum FailureNumber : std::int32_t {
    kInvalidArgument = 5,
    kRunHolding = 10,  // another Vornel run kept VN\ for longer than a turn may take
    kOutOfMemory = 7,
    kOverflow = 6,
    kTypeMismatch = 13,
    kBadFileName = 52,
    kFileNotFound = 53,
    kFileExists = 58,
    kDiskFull = 61,
    kPermissionDenied = 70,
    kPathAccess = 75,
    kPathNotFound = 76,  // the directory itself is missing (no VN\, a dropped drive)
    kKeysDropped = 80,   // the window in front runs with more rights: Windows would drop the keys
    kKeysRefused = 81,   // Windows took none or only some of the keys
    kOtherAccount = 82,  // a run under another account holds VN\'s turn or watch claim
};

// The failure for one of the numbers above, with source "Vornel".
Failure MakeFailure(std::int32_t number);
[[noreturn]] void Raise(std::int32_t number);
// The same number, with a description that says more than the fixed one.
[[noreturn]] void Raise(std::int32_t number, const std::string& description);
// 70, marked as a hold that another program will let go of.
[[noreturn]] void RaiseInUse();

}  // namespace vornel
