#pragma once
// Running the whole program on the in-memory platform.
#include <string>

#include "platform/memory/memory_platform.h"

namespace vornel::test {

inline const std::string kDir = "C:\\XY\\VN\\";  // working directory of MemoryPlatform

enum class Ended { ByEnd, Stopped };

// Runs the program from its entry point until it ends or the script runs out.
Ended RunProgram(MemoryPlatform& platform);
Ended RunProgram(MemoryPlatform& platform, const std::string& commandLine);

// The failure box text for a number and checkpoint, as the user reads it.
std::string ErrorBox(int number, const std::string& description, int checkpoint);

// Puts snapshots DOC.<first> .. DOC.<last> with contents "v<n>".
void PutSnapshots(MemoryPlatform& platform, const std::string& doc, int first, int last);
std::string Snapshot(const std::string& doc, int n);  // full path of DOC.nnn

}  // namespace vornel::test
