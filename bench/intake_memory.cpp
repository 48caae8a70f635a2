// Peak memory of one intake of a document of the given size in MiB, measured
// with getrusage in a process of its own. Prints the peak and the limit
// 2 x size + 2 MiB; exits 1 when the peak is above it.
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "control/run_state.h"
#include "platform/posix/posix_platform.h"
#include "store/intake.h"

namespace {

long PeakKiB() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

void WriteSized(const std::string& path, std::size_t size, char last) {
    FILE* f = std::fopen(path.c_str(), "wb");
    static char piece[1 << 16];
    std::fill(std::begin(piece), std::end(piece), 'x');
    for (std::size_t done = 0; done < size; done += sizeof piece) {
        const std::size_t n = std::min(sizeof piece, size - done);
        if (done + n == size) piece[n - 1] = last;
        std::fwrite(piece, 1, n, f);
    }
    std::fclose(f);
}

}  // namespace

int main(int argc, char** argv) {
    const long mib = argc > 1 ? std::atol(argv[1]) : 64;
    const std::size_t size = static_cast<std::size_t>(mib) << 20;
    char templ[] = "/tmp/vornel-memory-XXXXXX";
    const std::string root = ::mkdtemp(templ);
    const std::string vn = root + "/VN/";
    ::mkdir(vn.c_str(), 0755);
    WriteSized(vn + "DOC.001", size, 'x');
    WriteSized(vn + "DOC.BAK", size, 'y');
    {
        FILE* f = std::fopen((vn + "VORNEL.CTL").c_str(), "wb");
        std::fputs("DOC.", f);
        std::fclose(f);
    }
    const long baseline = PeakKiB();
    vornel::PosixPlatform platform("", root);
    vornel::RunState rs(platform);
    rs.workingDirectory = root + "\\VN\\";
    rs.controlFilePath = rs.workingDirectory + "VORNEL.CTL";
    rs.depth = 8;
    vornel::Intake(rs);
    const long peak = PeakKiB();
    std::filesystem::remove_all(root);
    // The intake's own share: what the peak grew by over the process as it stood.
    const long used = peak - baseline;
    const long limit = 2 * mib * 1024 + 2048;
    std::printf("intake of %ld MiB: peak grew by %ld KiB (from %ld to %ld KiB), limit 2 x size + 2 MiB = %ld KiB%s\n",
                mib, used, baseline, peak, limit, used > limit ? "  MISSED" : "");
    return used > limit ? 1 : 0;
}
