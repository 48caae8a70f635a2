#pragma once
// The names of a document's files in the working directory.
#include <string>

#include "control/run_state.h"

namespace vornel {

// A snapshot number as at least three digits: 7 -> "007", 1000 -> "1000".
std::string Fmt3(Small n);

// Refuses (failure 52) a document name that is not a plain file stem: one
// holding a path separator, a wildcard or a control character, or "." / "..".
// Read per character in the ANSI code page: the second byte of a double-byte
// character (\ in 表, | in ポ) is no separator.
void CheckDocumentName(const std::string& name, Long codePage);
// The same test, answered instead of raised.
bool IsPlainStem(const std::string& name, Long codePage);
// A name with a drive or folder in it (\ / :), read per character.
bool IsPath(const std::string& name, Long codePage);

std::string TransferPath(const RunState& rs);                            // DOC.BAK
std::string TransferPath(const RunState& rs, const std::string& name);  // NAME.BAK
std::string SnapshotPath(const RunState& rs, const std::string& digits);  // DOC.001
std::string StatePath(const RunState& rs);                               // DOC.DAT
std::string ResultPath(const RunState& rs);                              // DOC.VRN
// Where the step makes DOC.VRN and DOC.DAT before it moves them into place:
// no inventory counts it, and the word processor's side has no use for it.
std::string TemporaryPath(const RunState& rs);                           // DOC.VN~

}  // namespace vornel
