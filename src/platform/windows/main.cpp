// vornel.exe: a GUI-subsystem program with no window of its own, so that a
// shell-out from the word processor flashes no console.
#include "platform/windows/windows_api.h"

#include "control/start.h"
#include "platform/windows/win32_platform.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    vornel::Win32Platform platform;
    vornel::Start(platform);
}
