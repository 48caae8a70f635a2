// The state file's content, with a random set of snapshot numbers, stepped by U or R.
#include "fuzz/harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    using vornel::fuzz::kDir;
    FuzzedDataProvider data(bytes, size);
    vornel::MemoryPlatform p;
    vornel::fuzz::Prepare(p, data);
    vornel::fuzz::PutSomeSnapshots(p, data);
    if (data.ConsumeBool()) p.PutFile(kDir + "DOC.1E2", "odd");
    if (data.ConsumeBool()) p.PutFile(kDir + "DOC.-12", "negative");
    if (data.ConsumeBool()) p.PutFile(kDir + "DOC.VRN", "old result");
    p.commandLine = data.ConsumeBool() ? "U DOC" : "R DOC";
    p.PutFile(kDir + "DOC.DAT", data.ConsumeRemainingBytesAsString());
    vornel::fuzz::RunAndCheck(p);
    return 0;
}
