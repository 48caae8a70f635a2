// Peak memory of one intake and of one step, for a document of the given size
// in MiB, measured with getrusage in a process of its own. The intake compares
// a copy of the same size that differs only in its last byte, so that it reads
// both files to the end. Prints each peak's growth against the limit of 1 MiB,
// whatever the size; exits 1 when one is above it.
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "control/run_state.h"
#include "platform/memory/memory_platform.h"
#include "platform/posix/posix_platform.h"
#include "store/intake.h"
#include "store/stepping.h"

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

class StepPlatform : public vornel::PosixPlatform {
public:
    using PosixPlatform::PosixPlatform;
    [[noreturn]] void End() override { throw vornel::ProgramEnded{}; }
};

// Prints what the peak grew by over the process as it stood; false when above 1 MiB.
bool Report(const char* what, long mib, long baseline) {
    const long used = PeakKiB() - baseline;
    const long limit = 1024;
    std::printf("%s of %ld MiB: peak grew by %ld KiB, limit %ld KiB%s\n", what, mib, used, limit,
                used > limit ? "  MISSED" : "");
    return used <= limit;
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
    StepPlatform platform("", root);
    vornel::RunState rs(platform);
    rs.workingDirectory = root + "\\VN\\";
    rs.controlFilePath = rs.workingDirectory + "VORNEL.CTL";
    rs.depth = 8;
    vornel::Intake(rs);
    bool ok = Report("intake", mib, baseline);
    // The step copies the newest snapshot, the whole document, to DOC.VRN.
    rs.mode = vornel::kStepBack;
    rs.documentName = "DOC";
    rs.pointer = 3;
    try {
        vornel::Step(rs, false);
    } catch (const vornel::ProgramEnded&) {
    }
    ok = Report("step", mib, baseline) && ok;
    std::filesystem::remove_all(root);
    return ok ? 0 : 1;
}
