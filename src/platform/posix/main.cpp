// The native build of the program on the POSIX substitute: the store and the
// command line work on real files; there is no window system to watch.
#include <climits>
#include <string>

#include <unistd.h>

#include "control/start.h"
#include "platform/posix/posix_platform.h"

int main(int argc, char** argv) {
    std::string arguments;
    for (int i = 1; i < argc; ++i) arguments += (i > 1 ? " " : "") + std::string(argv[i]);
    char self[PATH_MAX] = {};
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    std::string exe = n > 0 ? std::string(self, static_cast<std::size_t>(n)) : std::string(argv[0]);
    const auto cut = exe.find_last_of('/');
    vornel::PosixPlatform platform(arguments, cut == std::string::npos ? "." : exe.substr(0, cut));
    vornel::Start(platform);
}
