// Holds a file open for a while, the way a virus scanner, the indexer or a
// sync client does when a file has just been closed or renamed: for the
// end-to-end tests of runs that meet such a hold.
//
//   hold.exe <file> <milliseconds> <flag-file> [read|write|all]
//
// Opens the file for reading (shares reads only, so that it can be neither
// deleted, renamed nor replaced; "write" shares writes too; "all" shares
// read, write and delete, as scanners and sync clients do, which still keeps
// it from being replaced), writes the flag file once it holds it, lets go
// after the time. Exit code 1 when the file could not be opened.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    if (argc < 4) return 2;
    const char* mode = argc > 4 ? argv[4] : "read";
    DWORD share = FILE_SHARE_READ;
    if (std::strcmp(mode, "write") == 0) share |= FILE_SHARE_WRITE;
    if (std::strcmp(mode, "all") == 0) share |= FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    const HANDLE h = CreateFileA(argv[1], GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "cannot open %s: %lu\n", argv[1], GetLastError());
        return 1;
    }
    if (FILE* f = std::fopen(argv[3], "wb")) std::fclose(f);
    Sleep(static_cast<DWORD>(std::atoi(argv[2])));
    CloseHandle(h);
    return 0;
}
