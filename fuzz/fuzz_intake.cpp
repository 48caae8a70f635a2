// The control file's and the transfer file's contents, taken in by command K
// or a watch-mode pass.
#include "fuzz/harness.h"

#include <algorithm>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    using vornel::fuzz::kDir;
    FuzzedDataProvider data(bytes, size);
    vornel::MemoryPlatform p;
    vornel::fuzz::Prepare(p, data);
    vornel::fuzz::PutSomeSnapshots(p, data);
    const int depth = data.ConsumeIntegralInRange(-1, 20);
    const bool watch = data.ConsumeBool();
    const bool resave = data.ConsumeBool();  // XyWrite saves the newest snapshot's text again
    std::string control = data.ConsumeRandomLengthString(40);
    if (resave) control = "DOC\x1a";
    std::string transfer = data.ConsumeRandomLengthString(200);
    const auto store = vornel::fuzz::SnapshotsOf(p, "DOC");
    if (resave && !store.empty()) transfer = store.rbegin()->second;
    p.PutFile(kDir + "VORNEL.CTL", control);
    p.PutFile(kDir + "DOC.BAK", transfer);
    // Also a transfer file under whatever name the control file gives, when it is a plain one.
    if (!control.empty() && control.find_first_of("\\/") == std::string::npos)
        p.PutFile(kDir + control.substr(0, control.size() - 1) + ".BAK", transfer);
    if (watch) {
        p.onForegroundQuery = [&](long) {
            p.PutFile(kDir + "VORNEL.CTL", control);
            p.PutFile(kDir + "DOC.BAK", transfer);
        };
        p.commandLine = "41 1 " + std::to_string(depth);
    } else {
        p.commandLine = "K " + std::to_string(depth);
    }
    // An unchanged save (the copy equals the newest file under three digits)
    // never files a copy and never retires a snapshot, whatever lies beside it.
    const std::string doc = control.empty() ? "" : control.substr(0, control.size() - 1);
    const auto before = vornel::fuzz::SnapshotsOf(p, doc);
    const bool unchanged = !before.empty() && before.rbegin()->second == transfer;
    vornel::fuzz::RunAndCheck(p);
    // The depth holds: a store above it never grows, one below never passes it.
    if (depth >= 1)
        vornel::fuzz::Require(vornel::fuzz::SnapshotsOf(p, doc).size() <= std::max<std::size_t>(depth, before.size()),
                              "the store keeps its depth", doc);
    if (unchanged)
        vornel::fuzz::Require(vornel::fuzz::SnapshotsOf(p, doc) == before, "an unchanged save changes nothing", doc);
    return 0;
}
