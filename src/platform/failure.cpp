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
        case kKeysDropped:
            return "XyWrite's host runs as administrator and Vornel does not, so Windows drops the keys Vornel "
                   "types. Run XyWrite's host and Vornel the same way";
        case kKeysRefused:
            return "Windows took none of the keys (a program that blocks input); nothing was pressed";
        case kOtherAccount:
            return "A Vornel started as another user (with an administrator's password) holds VN\\. Run "
                   "XyWrite's host and every Vornel as the same user";
        default: return "Application-defined or object-defined error";
    }
}

Failure MakeFailure(std::int32_t number) {
    return Failure{number, kSource, DescriptionOf(number), "", 0};
}

void Raise(std::int32_t number) { throw MakeFailure(number); }

void Raise(std::int32_t number, const std::string& description) {
    Failure failure = MakeFailure(number);
    failure.description = description;
    throw failure;
}

void RaiseInUse() {
    Failure failure = MakeFailure(kPermissionDenied);
    failure.inUse = true;
    throw failure;
}

}  // namespace vornel
