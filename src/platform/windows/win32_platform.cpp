// The program's frame: its command line, its folder, its end, and the
// failure numbers of Windows' errors. Files, turns, and windows and keys
// each have a file of their own beside this one.
#include "platform/windows/win32_platform.h"

#include "platform/text.h"
#include "platform/windows/win32_internal.h"

namespace vornel {

[[noreturn]] void RaiseLastError() { Raise(FailureForWin32Error(::GetLastError())); }

std::int32_t FailureForWin32Error(unsigned long error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND: return kFileNotFound;
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_NETPATH:
        case ERROR_BAD_NET_NAME: return kPathNotFound;
        case ERROR_ALREADY_EXISTS:
        case ERROR_FILE_EXISTS: return kFileExists;
        case ERROR_ACCESS_DENIED: return kPathAccess;
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION: return kPermissionDenied;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL: return kDiskFull;
        case ERROR_INVALID_NAME:
        case ERROR_BAD_PATHNAME:
        case ERROR_FILENAME_EXCED_RANGE:
        case ERROR_DIRECTORY: return kBadFileName;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY: return kOutOfMemory;
        default: return kPathAccess;
    }
}

std::string ArgumentsOf(const std::string& commandLine) {
    std::size_t i = 0;
    if (i < commandLine.size() && commandLine[i] == '"') {
        const auto close = commandLine.find('"', 1);
        i = close == std::string::npos ? commandLine.size() : close + 1;
    }
    while (i < commandLine.size() && commandLine[i] != ' ' && commandLine[i] != '\t') ++i;
    return commandLine.substr(i);
}

std::string Win32Platform::CommandLine() { return ArgumentsOf(::GetCommandLineA()); }

std::string Win32Platform::ProgramDirectory() {
    std::string path(MAX_PATH, '\0');
    for (;;) {
        const DWORD got = ::GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (got == 0) RaiseLastError();
        if (got < path.size()) {
            path.resize(got);
            break;
        }
        path.resize(path.size() * 2);
    }
    // Per character: in a folder named 表 the last 5C byte is no separator.
    const auto cut = LastOf(path, "\\", static_cast<Long>(::GetACP()));
    if (cut == std::string::npos) return path;
    // A drive's root keeps its separator, as "C:\".
    return path.substr(0, cut == 2 && path[1] == ':' ? cut + 1 : cut);
}

void Win32Platform::End() {
    CloseListing();
    LetGo();
    ::ExitProcess(0);
}

}  // namespace vornel
