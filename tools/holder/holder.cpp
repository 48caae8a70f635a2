// Takes a working directory's lock the way a Vornel run does and keeps it
// until it is killed: for end-to-end tests of runs that find VN\ held, and of
// a holder that dies with the lock held.
//
//   holder.exe <vn-dir> <flag-file>
//
// Writes the flag file once it holds the lock.
#include <windows.h>

#include <cstdio>

#include "platform/windows/win32_platform.h"

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    vornel::Win32Platform platform;
    platform.LockDirectory(argv[1], 5000);
    if (FILE* f = std::fopen(argv[2], "wb")) std::fclose(f);
    for (;;) ::Sleep(1000);
}
