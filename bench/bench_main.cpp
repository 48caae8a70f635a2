// Speed of the store on real files (the POSIX substitute), each against a
// floor that does the same work written plainly. Prints each ratio at the end.
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>

#include "control/run_state.h"
#include "control/start.h"
#include "platform/memory/memory_platform.h"
#include "platform/posix/posix_platform.h"
#include "store/intake.h"
#include "store/inventory.h"

namespace {

using vornel::RunState;

class BenchPlatform : public vornel::PosixPlatform {
public:
    using PosixPlatform::PosixPlatform;
    [[noreturn]] void End() override { throw vornel::ProgramEnded{}; }
};

std::string MakeRoot() {
    static const std::string base = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp";
    std::string templ = base + "/vornel-bench-XXXXXX";
    const std::string root = ::mkdtemp(templ.data());
    ::mkdir((root + "/VN").c_str(), 0755);
    return root;
}

// Writes size bytes of text in 1 MiB pieces, so that no large buffer is held.
void WriteSized(const std::string& path, std::size_t size, char last) {
    FILE* f = std::fopen(path.c_str(), "wb");
    std::string piece(1 << 20, 'x');
    for (std::size_t done = 0; done < size; done += piece.size()) {
        const std::size_t n = std::min(piece.size(), size - done);
        if (done + n == size) piece[n - 1] = last;
        std::fwrite(piece.data(), 1, n, f);
    }
    std::fclose(f);
}

void WriteText(const std::string& path, const std::string& text) {
    FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
}

std::string PlainRead(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    struct stat st {};
    ::fstat(fd, &st);
    std::string bytes(static_cast<std::size_t>(st.st_size), '\0');
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t got = ::read(fd, bytes.data() + done, bytes.size() - done);
        if (got <= 0) break;
        done += static_cast<std::size_t>(got);
    }
    ::close(fd);
    return bytes;
}

void PlainCopy(const std::string& from, const std::string& to) {
    const int in = ::open(from.c_str(), O_RDONLY);
    const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    static std::string buffer(1 << 20, '\0');
    ssize_t got;
    while ((got = ::read(in, buffer.data(), buffer.size())) > 0) {
        if (::write(out, buffer.data(), static_cast<std::size_t>(got)) != got) break;
    }
    ::close(in);
    ::close(out);
}

// --- intake ---

struct IntakeDir {
    IntakeDir(std::size_t size, bool changed) : root(MakeRoot()), vn(root + "/VN/"), changed(changed) {
        WriteSized(vn + "DOC.001", size, 'x');
        WriteSized(vn + "DOC.BAK", size, changed ? 'y' : 'x');
        ::sync();  // no writeback of the setup behind the timed rounds
    }
    ~IntakeDir() { std::filesystem::remove_all(root); }
    // Puts the transfer file back where the last round took it from.
    void Restore() {
        if (changed) ::rename((vn + "DOC.002").c_str(), (vn + "DOC.BAK").c_str());
        else std::filesystem::copy_file(vn + "DOC.001", vn + "DOC.BAK");
    }
    std::string root, vn;
    bool changed;
};

void BM_Intake(benchmark::State& state) {
    IntakeDir dir(static_cast<std::size_t>(state.range(0)) << 20, state.range(1) != 0);
    BenchPlatform platform("", dir.root);
    for (auto _ : state) {
        state.PauseTiming();
        WriteText(dir.vn + "VORNEL.CTL", "DOC\x1a");
        state.ResumeTiming();
        RunState rs(platform);
        rs.workingDirectory = dir.root + "\\VN\\";
        rs.controlFilePath = rs.workingDirectory + "VORNEL.CTL";
        rs.depth = 8;
        vornel::Intake(rs);
        state.PauseTiming();
        dir.Restore();
        state.ResumeTiming();
    }
}

void BM_IntakeFloor(benchmark::State& state) {
    IntakeDir dir(static_cast<std::size_t>(state.range(0)) << 20, state.range(1) != 0);
    for (auto _ : state) {
        state.PauseTiming();
        WriteText(dir.vn + "VORNEL.CTL", "DOC\x1a");
        state.ResumeTiming();
        const std::string transfer = PlainRead(dir.vn + "DOC.BAK");
        const std::string newest = PlainRead(dir.vn + "DOC.001");
        const bool same = transfer.size() == newest.size() && std::memcmp(transfer.data(), newest.data(), newest.size()) == 0;
        if (same) ::unlink((dir.vn + "DOC.BAK").c_str());
        else ::rename((dir.vn + "DOC.BAK").c_str(), (dir.vn + "DOC.002").c_str());
        state.PauseTiming();
        dir.Restore();
        ::unlink((dir.vn + "VORNEL.CTL").c_str());
        state.ResumeTiming();
    }
}

// --- inventory ---

struct CrowdedDir {
    CrowdedDir(std::size_t snapshotSize) : root(MakeRoot()), vn(root + "/VN/") {
        char name[32];
        for (int n = 1; n <= 998; ++n) {
            std::snprintf(name, sizeof name, "DOC.%03d", n);
            WriteSized(vn + name, snapshotSize, 'x');
        }
    }
    void AddOthers(int count) {
        char name[32];
        for (int n = 0; n < count; ++n) {
            std::snprintf(name, sizeof name, "NOTE%05d.TXT", n);
            WriteText(vn + name, "n");
        }
    }
    ~CrowdedDir() { std::filesystem::remove_all(root); }
    void Settle() { ::sync(); }
    std::string root, vn;
};

CrowdedDir& InventoryDir() {
    static CrowdedDir* dir = [] {
        auto* d = new CrowdedDir(16);
        d->AddOthers(10000);
        d->Settle();
        return d;
    }();
    return *dir;
}

void BM_Inventory(benchmark::State& state) {
    CrowdedDir& dir = InventoryDir();
    for (auto _ : state) {
        BenchPlatform platform("", dir.root);  // every run of the program starts afresh
        RunState rs(platform);
        rs.workingDirectory = dir.root + "\\VN\\";
        rs.documentName = "DOC";
        vornel::Inventory(rs);
        benchmark::DoNotOptimize(rs.highest);
    }
}

void BM_InventoryFloor(benchmark::State& state) {
    CrowdedDir& dir = InventoryDir();
    for (auto _ : state) {
        DIR* d = ::opendir(dir.vn.c_str());
        long entries = 0;
        while (::readdir(d)) ++entries;
        ::closedir(d);
        benchmark::DoNotOptimize(entries);
    }
}

// --- step ---

constexpr std::size_t kStepSnapshot = 1 << 20;

CrowdedDir& StepDir() {
    static CrowdedDir* dir = [] {
        auto* d = new CrowdedDir(kStepSnapshot);
        d->Settle();
        return d;
    }();
    return *dir;
}

void BM_Step(benchmark::State& state) {
    CrowdedDir& dir = StepDir();
    for (auto _ : state) {
        state.PauseTiming();
        WriteText(dir.vn + "DOC.DAT", "2 500");
        state.ResumeTiming();
        BenchPlatform platform("U DOC", dir.root);
        try {
            vornel::Start(platform);
        } catch (const vornel::ProgramEnded&) {
        }
    }
}

void BM_StepFloor(benchmark::State& state) {
    CrowdedDir& dir = StepDir();
    for (auto _ : state) PlainCopy(dir.vn + "DOC.499", dir.vn + "DOC.VRN");
}

// The best of several repetitions: file-system timings are noisy, and the
// least disturbed run is the one that shows what the code costs.
double Fastest(const std::vector<double>& times) { return *std::min_element(times.begin(), times.end()); }
#define VORNEL_BENCH(b)                                                                                       \
    BENCHMARK(b)->Unit(benchmark::kMicrosecond)->Repetitions(9)->ComputeStatistics("min", Fastest)->ReportAggregatesOnly(true)
VORNEL_BENCH(BM_Intake)->Args({1, 1})->Args({1, 0})->Args({64, 1})->Args({64, 0});
VORNEL_BENCH(BM_IntakeFloor)->Args({1, 1})->Args({1, 0})->Args({64, 1})->Args({64, 0});
VORNEL_BENCH(BM_Inventory);
VORNEL_BENCH(BM_InventoryFloor);
VORNEL_BENCH(BM_Step);
VORNEL_BENCH(BM_StepFloor);

// Collects each run's time so the ratios can be printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (run.aggregate_name == "min") times[run.run_name.function_name + (run.run_name.args.empty() ? "" : "/" + run.run_name.args)] =
                    run.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const struct {
        const char* label;
        const char* name;
        const char* floor;
        double target;
    } pairs[] = {
        {"intake 1 MiB changed", "BM_Intake/1/1", "BM_IntakeFloor/1/1", 1.10},
        {"intake 1 MiB unchanged", "BM_Intake/1/0", "BM_IntakeFloor/1/0", 1.10},
        {"intake 64 MiB changed", "BM_Intake/64/1", "BM_IntakeFloor/64/1", 1.10},
        {"intake 64 MiB unchanged", "BM_Intake/64/0", "BM_IntakeFloor/64/0", 1.10},
        {"inventory, 998 of 10998 files", "BM_Inventory", "BM_InventoryFloor", 1.20},
        {"step U, 998 snapshots", "BM_Step", "BM_StepFloor", 1.20},
    };
    int missed = 0;
    std::printf("\n%-32s %10s %10s %7s %7s\n", "ratio to floor", "time", "floor", "ratio", "target");
    for (const auto& p : pairs) {
        if (!reporter.times.count(p.name) || !reporter.times.count(p.floor)) continue;
        const double ratio = reporter.times[p.name] / reporter.times[p.floor];
        missed += ratio > p.target;
        std::printf("%-32s %10.1f %10.1f %7.2f %7.2f%s\n", p.label, reporter.times[p.name], reporter.times[p.floor], ratio,
                    p.target, ratio > p.target ? "  MISSED" : "");
    }
    return missed == 0 ? 0 : 1;
}
