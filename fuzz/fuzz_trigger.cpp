// The trigger sequence, typed with a random keyboard state.
#include "fuzz/harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    FuzzedDataProvider data(bytes, size);
    vornel::MemoryPlatform p;
    vornel::fuzz::Prepare(p, data);
    for (auto& key : p.keyboard) key = data.ConsumeBool() ? data.ConsumeIntegral<std::uint8_t>() : 0;
    std::string trigger = data.ConsumeRemainingBytesAsString();
    for (char& c : trigger)
        if (c == ' ') c = '0';
    p.commandLine = (trigger.empty() ? "0" : trigger) + " 1 3";
    vornel::fuzz::RunAndCheck(p);
    // Every key pressed and held by a complete sequence comes up again.
    if (p.boxes.empty()) {
        int balance[256] = {};
        for (const auto& e : p.keyEvents) balance[e.vk] += (e.flags & vornel::kKeyEventKeyUp) ? -1 : 1;
        for (int b : balance)
            if (b != 0) __builtin_trap();
    }
    return 0;
}
