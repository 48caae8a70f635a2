#include "platform/failure.h"

namespace vornel {

static const char* DescriptionOf(std::int32_t number) {
    switch (number) {
        case kInvalidArgument: return "Invalid procedure call or argument";
        case kOverflow: return "Overflow";
        case kRunHolding: return "Another Vornel run is holding VN\\ (waited 30 seconds)";
        case kOutOfMemory: return "Out of memory";
        case kTypeMismatch: return "Type mismatch";
        case kBadFileName: return "Bad file name or number";
        case kFileNotFound: return "File not found";
        case kFileExists: return "File already exists";
        case kDiskFull: return "Disk full";
        case kPermissionDenied: return "Permission denied";
        case kPathAccess: return "Path/File access error";
        case kPathNotFound: return "Path not found";
        default: return "Application-defined or object-defined error";
    }
}

Failure MakeFailure(std::int32_t number) {
    return Failure{number, kSource, DescriptionOf(number), "", 0};
}

void Raise(std::int32_t number) { throw MakeFailure(number); }

void RaiseInUse() {
    Failure failure = MakeFailure(kPermissionDenied);
    failure.inUse = true;
    throw failure;
}

}  // namespace vornel
