// A working directory holding anything (other documents, odd extensions,
// directories, hidden files), then one run of U, R, K or a watch-mode pass.
#include "fuzz/harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    using vornel::fuzz::kDir;
    static const char* kNames[] = {
        "DOC.001", "DOC.002", "DOC.005", "DOC.999", "DOC.998", "DOC.1E2", "DOC.1000", "DOC.TXT.009",
        "DOC.TXT.010", "DOC.BAK.OLD", "DOC2.001", "DOC.BAK", "DOC.DAT", "DOC.VRN", "doc.003", "DOC.-12",
        "DOC", "DOC.", "DOC.0-1", "DOC.000", "DOC.9E9", "DOC.&H1", "DOC. 12", "VORNEL.CTL", "DOC.TXT",
        "DOC.TXT.BAK", "DOC..001", "DOC.5.5",
    };
    FuzzedDataProvider data(bytes, size);
    vornel::MemoryPlatform p;
    vornel::fuzz::Prepare(p, data);
    const int entries = data.ConsumeIntegralInRange(0, 24);
    for (int i = 0; i < entries; ++i) {
        const std::string name = data.ConsumeBool() ? data.PickValueInArray(kNames) : data.ConsumeRandomLengthString(12);
        if (name.empty() || name.find('\\') != std::string::npos) continue;
        switch (data.ConsumeIntegralInRange(0, 5)) {
            case 0: p.PutDirectory(kDir + name); break;
            case 1: p.PutHidden(kDir + name, "hidden " + name); break;
            default: p.PutFile(kDir + name, data.ConsumeRandomLengthString(8)); break;
        }
    }
    static const char* kCommands[] = {"U DOC", "R DOC", "K 3", "K 1", "K", "41 1 3", "41 1 1", "U DOC.TXT", "R DOC.TXT"};
    p.commandLine = data.PickValueInArray(kCommands);
    if (data.ConsumeBool()) {
        const std::string control = data.ConsumeBool() ? "DOC\x1a" : "DOC.TXT\x1a";
        p.onForegroundQuery = [&p, control](long) { p.PutFile(kDir + "VORNEL.CTL", control); };
    }
    vornel::fuzz::RunAndCheck(p);
    return 0;
}
