#pragma once
// Runs the whole program on the in-memory platform and checks what must hold
// after any input: it ended, it touched only names in its working directory,
// no snapshot vanished but what retention retires (two per intake at most),
// no number passed 999, command T touched no file, and any box is the
// argument warning, the usage, Q's or T's report, or a well-formed failure box.
#include <fuzzer/FuzzedDataProvider.h>

#include <map>
#include <string>

#include "platform/memory/memory_platform.h"

namespace vornel::fuzz {

inline const std::string kDir = "C:\\XY\\VN\\";

// A platform with XyWrite in front (or not), a few passes at most.
void Prepare(MemoryPlatform& p, FuzzedDataProvider& data);
// Puts some of DOC's snapshots, numbered from a spread of interesting values,
// and some stray names among them (DOC.1E3, DOC.&H1, DOC.TXT.009 ...).
void PutSomeSnapshots(MemoryPlatform& p, FuzzedDataProvider& data, const std::string& doc = "DOC");
// The document's files named with a dot and three digits, by upper-cased name.
std::map<std::string, std::string> SnapshotsOf(const MemoryPlatform& p, const std::string& doc);
void Require(bool holds, const char* what, const std::string& detail = "");
void RunAndCheck(MemoryPlatform& p);

}  // namespace vornel::fuzz
