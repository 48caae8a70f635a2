#include "store/names.h"

namespace vornel {

std::string Fmt3(Small n) {
    std::string digits = Digits(n);
    while (Len(digits) < 3) digits = "0" + digits;
    return digits;
}

bool IsPlainStem(const std::string& name, Long codePage) {
    if (name == "." || name == "..") return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto u = static_cast<unsigned char>(name[i]);
        if (IsLeadByte(codePage, u)) {
            // A lead byte needs its trail byte; none (the name cut short) or a
            // control character there makes no character at all.
            if (++i == name.size() || static_cast<unsigned char>(name[i]) < 0x40) return false;
            continue;
        }
        if (u < 32 || std::string("\\/:*?\"<>|").find(name[i]) != std::string::npos) return false;
    }
    return true;
}

bool IsPath(const std::string& name, Long codePage) { return FirstOf(name, "\\/:", codePage) != std::string::npos; }

void CheckDocumentName(const std::string& name, Long codePage) {
    if (!IsPlainStem(name, codePage)) Raise(kBadFileName);
}

std::string TransferPath(const RunState& rs) { return TransferPath(rs, rs.documentName); }
std::string TransferPath(const RunState& rs, const std::string& name) { return rs.workingDirectory + name + ".BAK"; }

std::string SnapshotPath(const RunState& rs, const std::string& digits) {
    return rs.workingDirectory + rs.documentName + "." + digits;
}

std::string StatePath(const RunState& rs) { return rs.workingDirectory + rs.documentName + ".DAT"; }
std::string ResultPath(const RunState& rs) { return rs.workingDirectory + rs.documentName + ".VRN"; }
std::string TemporaryPath(const RunState& rs) { return rs.workingDirectory + rs.documentName + ".VN~"; }

}  // namespace vornel
