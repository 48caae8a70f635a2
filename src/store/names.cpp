#include "store/names.h"

namespace vornel {

std::string Fmt3(Small n) {
    std::string digits = Digits(n);
    while (Len(digits) < 3) digits = "0" + digits;
    return digits;
}

void CheckDocumentName(const std::string& name) {
    if (name == "." || name == "..") Raise(kBadFileName);
    for (const char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 32 || std::string("\\/:*?\"<>|").find(c) != std::string::npos) Raise(kBadFileName);
    }
}

std::string TransferPath(const RunState& rs) { return rs.workingDirectory + rs.documentName + ".BAK"; }

std::string SnapshotPath(const RunState& rs, const std::string& digits) {
    return rs.workingDirectory + rs.documentName + "." + digits;
}

std::string StatePath(const RunState& rs) { return rs.workingDirectory + rs.documentName + ".DAT"; }
std::string ResultPath(const RunState& rs) { return rs.workingDirectory + rs.documentName + ".VRN"; }
std::string TemporaryPath(const RunState& rs) { return rs.workingDirectory + rs.documentName + ".VN~"; }

}  // namespace vornel
