#include "store/inventory.h"

#include <algorithm>

#include "platform/wildcard.h"
#include "store/names.h"

namespace vornel {

namespace {

// Only "name.xyz" belongs to the document: DOC.TXT.009 is a snapshot of the
// document DOC.TXT, and DOC.1000 or DOC.BAK.OLD are nobody's snapshots.
bool IsSnapshotName(const std::string& listed, const std::string& documentName, Long codePage) {
    const std::size_t stem = documentName.size();
    return listed.size() == stem + 4 && listed[stem] == '.' &&
           SameName(listed.substr(0, stem), documentName, codePage);
}

bool IsThreeDigits(const std::string& s) {
    return s.size() == 3 && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

void Inventory(RunState& rs) {
    CheckDocumentName(rs.documentName, rs.codePage);
    SetCheckpoint(rs, 15);
    rs.count = 0;
    rs.lowest = 1000;
    rs.highest = 0;
    rs.newest = -1;
    std::string name = rs.platform.ListFirst(rs.workingDirectory + rs.documentName + ".*");
    while (!name.empty()) {
        const std::string last = Right(name, 3);
        if (IsSnapshotName(name, rs.documentName, rs.codePage) && IsNumeric(last)) {
            // A name reading above 999 (DOC.1E3, DOC.9E9) is nobody's snapshot:
            // counted, it would stand for a newest that can never be compared.
            const double read = LeadingNumber(last);
            if (read < 999.5) {
                rs.count = AddSmall(rs.count, 1);
                const Small value = ToSmall(read);
                if (value > rs.highest) rs.highest = value;
                if (value < rs.lowest) rs.lowest = value;
                // Three plain digits are the name Fmt3 gives that number.
                if (value > rs.newest && IsThreeDigits(last)) rs.newest = value;
            }
        }
        name = rs.platform.ListNext();
    }
    rs.exists = 1;
    if (rs.count == 0) {
        rs.exists = 0;
        rs.count = 1;
        rs.lowest = 1;
        rs.highest = 1;
    }
}

namespace {

bool HasFiles(RunState& rs, const std::string& name) {
    return !rs.platform.ListFirst(rs.workingDirectory + name + ".*").empty();
}

}  // namespace

void SettleNameReading(RunState& rs) {
    const std::string& name = rs.documentName;
    if (std::none_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) > 127; })) return;
    CheckDocumentName(name, rs.codePage);  // refused before any file is touched
    if (HasFiles(rs, name)) return;
    const std::string oem = rs.platform.OemReading(name);
    if (oem.empty() || oem == name) return;
    CheckDocumentName(oem, rs.codePage);
    if (HasFiles(rs, oem)) rs.documentName = oem;
}

bool SnapshotExists(RunState& rs, Long n) {
    return n >= 0 && n <= 999 && FileExists(rs.platform, SnapshotPath(rs, Fmt3(static_cast<Small>(n))));
}

}  // namespace vornel
