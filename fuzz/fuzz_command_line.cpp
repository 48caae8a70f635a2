// Any bytes as the command line, with a small store present.
#include "fuzz/harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    FuzzedDataProvider data(bytes, size);
    vornel::MemoryPlatform p;
    vornel::fuzz::Prepare(p, data);
    vornel::fuzz::PutSomeSnapshots(p, data);
    if (data.ConsumeBool()) p.PutFile(vornel::fuzz::kDir + "DOC.DAT", data.ConsumeBool() ? "2 3" : "3 998");
    p.commandLine = data.ConsumeRemainingBytesAsString();
    vornel::fuzz::RunAndCheck(p);
    return 0;
}
