#pragma once
// What the Win32 files share with one another, and nothing outside them uses.
#include <optional>
#include <vector>

#include "platform/windows/windows_api.h"

namespace vornel {

[[noreturn]] void RaiseLastError();

// The process's token (win32_turns.cpp): a token's information of one kind,
// in a buffer aligned for the structure it holds; empty when it cannot be read.
std::vector<ULONGLONG> TokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS kind);
// A process's integrity level (the last sub-authority of its token's
// mandatory label: 0x2000 medium, 0x3000 high); nothing when it cannot be read.
std::optional<DWORD> IntegrityOf(HANDLE process);

}  // namespace vornel
