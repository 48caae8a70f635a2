#pragma once
#include "platform/platform.h"

namespace vornel {

// The program's only entry. Never returns: every run ends through Platform::End.
[[noreturn]] void Start(Platform& platform);

}  // namespace vornel
