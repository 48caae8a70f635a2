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

constexpr std::size_t kChunk = 64 * 1024;

void PlainCopy(const std::string& from, const std::string& to, bool flush) {
    const int in = ::open(from.c_str(), O_RDONLY);
    const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    static std::string buffer(kChunk, '\0');
    ssize_t got;
    while ((got = ::read(in, buffer.data(), buffer.size())) > 0) {
        if (::write(out, buffer.data(), static_cast<std::size_t>(got)) != got) break;
    }
    if (flush) ::fsync(out);
    ::close(in);
    ::close(out);
}

void PlainWrite(const std::string& path, const std::string& text, bool flush) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    benchmark::DoNotOptimize(::write(fd, text.data(), text.size()));
    if (flush) ::fsync(fd);
    ::close(fd);
}

// --- intake ---

// What the saved copy is, against the newest snapshot.
enum Kind { kUnchanged = 0, kOtherSize = 1, kFirstChunkDiffers = 2 };

struct IntakeDir {
    IntakeDir(std::size_t size, int kind) : root(MakeRoot()), vn(root + "/VN/"), kind(kind) {
        WriteSized(vn + "DOC.001", size, 'x');
        WriteSized(vn + "DOC.BAK", size + (kind == kOtherSize), 'x');
        if (kind == kFirstChunkDiffers) {
            FILE* f = std::fopen((vn + "DOC.BAK").c_str(), "r+b");
            std::fputc('y', f);
            std::fclose(f);
        }
        ::sync();  // no writeback of the setup behind the timed rounds
    }
    ~IntakeDir() { std::filesystem::remove_all(root); }
    // Puts the transfer file back where the last round took it from.
    void Restore() {
        if (kind != kUnchanged) ::rename((vn + "DOC.002").c_str(), (vn + "DOC.BAK").c_str());
        else std::filesystem::copy_file(vn + "DOC.001", vn + "DOC.BAK");
    }
    std::string root, vn;
    int kind;
};

void BM_Intake(benchmark::State& state) {
    IntakeDir dir(static_cast<std::size_t>(state.range(0)) << 20, static_cast<int>(state.range(1)));
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

// The same work written plainly: the control file read and deleted, the
// directory listed, then only what the comparison needs of the two files.
void BM_IntakeFloor(benchmark::State& state) {
    IntakeDir dir(static_cast<std::size_t>(state.range(0)) << 20, static_cast<int>(state.range(1)));
    const std::string transfer = dir.vn + "DOC.BAK", newest = dir.vn + "DOC.001";
    static std::string a(kChunk, '\0'), b(kChunk, '\0');
    for (auto _ : state) {
        state.PauseTiming();
        WriteText(dir.vn + "VORNEL.CTL", "DOC\x1a");
        state.ResumeTiming();
        benchmark::DoNotOptimize(PlainRead(dir.vn + "VORNEL.CTL"));
        ::unlink((dir.vn + "VORNEL.CTL").c_str());
        DIR* d = ::opendir(dir.vn.c_str());
        while (const dirent* e = ::readdir(d)) benchmark::DoNotOptimize(e);
        ::closedir(d);
        bool same = false;
        if (dir.kind == kOtherSize) {  // query both sizes
            struct stat x {}, y {};
            ::stat(transfer.c_str(), &x);
            ::stat(newest.c_str(), &y);
            same = x.st_size == y.st_size;
        } else {  // read both, in chunks, to the first difference
            const int fx = ::open(transfer.c_str(), O_RDONLY), fy = ::open(newest.c_str(), O_RDONLY);
            for (;;) {
                const ssize_t gx = ::read(fx, a.data(), kChunk), gy = ::read(fy, b.data(), kChunk);
                same = gx == gy && std::memcmp(a.data(), b.data(), static_cast<std::size_t>(gx)) == 0;
                if (!same || gx < static_cast<ssize_t>(kChunk)) break;
            }
            ::close(fx);
            ::close(fy);
        }
        struct stat free {};
        if (same) ::unlink(transfer.c_str());
        else if (::lstat((dir.vn + "DOC.002").c_str(), &free) != 0)  // the new name is free
            ::rename(transfer.c_str(), (dir.vn + "DOC.002").c_str());
        state.PauseTiming();
        dir.Restore();
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

// A run that takes no turns: what the step would cost without the lock.
class UnlockedPlatform : public BenchPlatform {
public:
    using BenchPlatform::BenchPlatform;
    void LockDirectory(const std::string&, std::int32_t) override {}
    void UnlockDirectory(const std::string&) override {}
};

template <typename Runner>
void StepWith(benchmark::State& state) {
    CrowdedDir& dir = StepDir();
    for (auto _ : state) {
        state.PauseTiming();
        WriteText(dir.vn + "DOC.DAT", "2 500");
        state.ResumeTiming();
        Runner platform("U DOC", dir.root);
        try {
            vornel::Start(platform);
        } catch (const vornel::ProgramEnded&) {
        }
    }
}
void BM_Step(benchmark::State& state) { StepWith<BenchPlatform>(state); }
void BM_StepUnlocked(benchmark::State& state) { StepWith<UnlockedPlatform>(state); }

// The same work written plainly: the directory listed (the inventory), the
// state file read, the snapshot copied in chunks, flushed and moved into
// place, and the new state file written, flushed and moved into place. The
// unflushed floor tells what the flushes cost.
template <bool kFlush>
void StepFloor(benchmark::State& state) {
    CrowdedDir& dir = StepDir();
    for (auto _ : state) {
        state.PauseTiming();
        WriteText(dir.vn + "DOC.DAT", "2 500");
        state.ResumeTiming();
        DIR* d = ::opendir(dir.vn.c_str());
        while (const dirent* e = ::readdir(d)) benchmark::DoNotOptimize(e);
        ::closedir(d);
        benchmark::DoNotOptimize(PlainRead(dir.vn + "DOC.DAT"));
        PlainCopy(dir.vn + "DOC.499", dir.vn + "DOC.VN~", kFlush);
        ::rename((dir.vn + "DOC.VN~").c_str(), (dir.vn + "DOC.VRN").c_str());
        PlainWrite(dir.vn + "DOC.VN~", "2 499", kFlush);
        ::rename((dir.vn + "DOC.VN~").c_str(), (dir.vn + "DOC.DAT").c_str());
    }
}
void BM_StepFloor(benchmark::State& state) { StepFloor<true>(state); }
void BM_StepFloorUnflushed(benchmark::State& state) { StepFloor<false>(state); }

// The best of several repetitions: file-system timings are noisy, and the
// least disturbed run is the one that shows what the code costs.
double Fastest(const std::vector<double>& times) { return *std::min_element(times.begin(), times.end()); }
#define VORNEL_BENCH(b)                                                                                       \
    BENCHMARK(b)->Unit(benchmark::kMicrosecond)->Repetitions(9)->ComputeStatistics("min", Fastest)->ReportAggregatesOnly(true)
#define VORNEL_KINDS(b) b->Args({1, 1})->Args({1, 2})->Args({1, 0})->Args({64, 1})->Args({64, 2})->Args({64, 0})
VORNEL_KINDS(VORNEL_BENCH(BM_Intake));
VORNEL_KINDS(VORNEL_BENCH(BM_IntakeFloor));
VORNEL_BENCH(BM_Inventory);
VORNEL_BENCH(BM_InventoryFloor);
VORNEL_BENCH(BM_Step);
VORNEL_BENCH(BM_StepUnlocked);
VORNEL_BENCH(BM_StepFloor);
VORNEL_BENCH(BM_StepFloorUnflushed);

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
        {"intake 1 MiB, other size", "BM_Intake/1/1", "BM_IntakeFloor/1/1", 1.10},
        {"intake 1 MiB, first chunk differs", "BM_Intake/1/2", "BM_IntakeFloor/1/2", 1.10},
        {"intake 1 MiB, unchanged", "BM_Intake/1/0", "BM_IntakeFloor/1/0", 1.10},
        {"intake 64 MiB, other size", "BM_Intake/64/1", "BM_IntakeFloor/64/1", 1.10},
        {"intake 64 MiB, first chunk differs", "BM_Intake/64/2", "BM_IntakeFloor/64/2", 1.10},
        {"intake 64 MiB, unchanged", "BM_Intake/64/0", "BM_IntakeFloor/64/0", 1.10},
        {"inventory, 998 of 10998 files", "BM_Inventory", "BM_InventoryFloor", 1.20},
        {"step U, 998 snapshots", "BM_Step", "BM_StepFloor", 1.20},
        {"step U, its lock", "BM_Step", "BM_StepUnlocked", 1.10},
        // Informative: the flushes are the price of a DOC.VRN that is whole on disk.
        {"step floor, its flushes", "BM_StepFloor", "BM_StepFloorUnflushed", 1e9},
    };
    int missed = 0;
    std::printf("\n%-36s %10s %10s %7s %7s\n", "ratio to floor", "time", "floor", "ratio", "target");
    for (const auto& p : pairs) {
        if (!reporter.times.count(p.name) || !reporter.times.count(p.floor)) continue;
        const double ratio = reporter.times[p.name] / reporter.times[p.floor];
        missed += ratio > p.target;
        std::printf("%-36s %10.1f %10.1f %7.2f %7.2f%s\n", p.label, reporter.times[p.name], reporter.times[p.floor], ratio,
                    p.target, ratio > p.target ? "  MISSED" : "");
    }
    return missed == 0 ? 0 : 1;
}
