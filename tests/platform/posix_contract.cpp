#include <stdlib.h>
#include <fcntl.h>
#include <unistd.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "platform/file_contract.h"
#include "platform/posix/posix_platform.h"

namespace vornel::test {
namespace {

struct PosixBackend : FileBackend {
    PosixBackend() : posix("", "") {
        char templ[] = "/tmp/vornel-contract-XXXXXX";
        root = ::mkdtemp(templ);
    }
    ~PosixBackend() override { std::filesystem::remove_all(root); }
    Platform& platform() override { return posix; }
    std::string dir() override { return root + "\\"; }
    void MakeDirectory(const std::string& name) override { ::mkdir((root + "/" + name).c_str(), 0755); }
    void MakeHidden(const std::string& name, const std::string& bytes) override {
        // Dot files are the hidden files here; give it a dot name that the pattern matches.
        std::ofstream(root + "/." + name) << bytes;
    }
    void MakeReadOnly(const std::string& name, const std::string& bytes) override {
        std::ofstream(root + "/" + name) << bytes;
        ::chmod((root + "/" + name).c_str(), 0444);
    }
    bool IsReadOnly(const std::string& name) override {
        struct stat st {};
        return ::stat((root + "/" + name).c_str(), &st) == 0 && (st.st_mode & 0222) == 0;
    }
    std::string MissingDirectory() override { return dir() + "GONE\\"; }
    void SetTime(const std::string& name, std::int64_t seconds) override {
        const timespec times[2] = {{seconds, 0}, {seconds, 0}};
        ::utimensat(AT_FDCWD, (root + "/" + name).c_str(), times, 0);
    }
    std::int64_t TimeOf(const std::string& name) override {
        struct stat st {};
        ::stat((root + "/" + name).c_str(), &st);
        return st.st_mtim.tv_sec;
    }
    // POSIX renames over an open file: the hold changes nothing.
    void HoldSharingAll(const std::string& name, bool held) override {
        if (held) holder = ::open((root + "/" + name).c_str(), O_RDONLY);
        else if (holder >= 0) ::close(holder), holder = -1;
    }
    std::optional<bool> ReplacesHeldFiles() override { return true; }
    std::unique_ptr<Platform> Another() override { return std::make_unique<PosixPlatform>("", ""); }
    int holder = -1;
    std::string root;
    PosixPlatform posix;
};

INSTANTIATE_TEST_SUITE_P(Posix, FileContract,
                         ::testing::Values(Backend{"Posix", [] { return std::make_unique<PosixBackend>(); }}),
                         BackendName);

}  // namespace
}  // namespace vornel::test
