#include "platform/patient_platform.h"

#include <algorithm>

namespace vornel {

// Short pauses first, since most holds are a scanner's few milliseconds; then
// a quarter of a second at a time.
template <typename Operation>
auto PatientPlatform::Patiently(Operation operation) -> decltype(operation()) {
    std::int32_t waited = 0;
    std::int32_t pause = 25;
    for (;;) {
        try {
            return operation();
        } catch (const Failure& failure) {
            if (!failure.inUse) throw;
            if (waited >= kHoldWait) Raise(kPermissionDenied);
        }
        inner_.Sleep(pause);
        waited += pause;
        pause = std::min<std::int32_t>(pause * 2, 250);
    }
}

void PatientPlatform::DeleteFile(const std::string& path) {
    Patiently([&] { inner_.DeleteFile(path); });
}

void PatientPlatform::RenameFile(const std::string& from, const std::string& to) {
    Patiently([&] { inner_.RenameFile(from, to); });
}

void PatientPlatform::CopyFile(const std::string& from, const std::string& to) {
    Patiently([&] { inner_.CopyFile(from, to); });
}

std::string PatientPlatform::ReadWhole(const std::string& path) {
    return Patiently([&] { return inner_.ReadWhole(path); });
}

void PatientPlatform::WriteWhole(const std::string& path, const std::string& bytes) {
    Patiently([&] { inner_.WriteWhole(path, bytes); });
}

// A move held past the wait fails like any other failed move: the file made
// aside goes, so no DOC.VN~ is left for the next run to trip over.
void PatientPlatform::ReplaceFile(const std::string& from, const std::string& to) {
    std::int32_t tries = 0;
    try {
        Patiently([&] {
            ++tries;
            inner_.ReplaceFile(from, to);
        });
    } catch (const Failure&) {
        if (tries > 1) {
            try {
                inner_.DeleteFile(from);
            } catch (const Failure&) {  // gone already, or held still: nothing more to do
            }
        }
        throw;
    }
}

std::int64_t PatientPlatform::FileSize(const std::string& path) {
    return Patiently([&] { return inner_.FileSize(path); });
}

bool PatientPlatform::SameBytes(const std::string& a, const std::string& b) {
    return Patiently([&] { return inner_.SameBytes(a, b); });
}

}  // namespace vornel
