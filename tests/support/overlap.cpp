#include "support/overlap.h"

#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

#include "support/sim.h"

namespace vornel::test {
namespace {

// One thread per run, and a baton: only the run whose turn it is does
// anything, so every run of the test takes the same course.
class Turns {
public:
    Turns(MemoryPlatform& first, MemoryPlatform& second, long startAt)
        : runs_{&first, &second}, startAt_(startAt) {}

    bool Run() {
        const auto machine = runs_[0]->machine();
        machine->onOperation = [this](int run) { OnOperation(run); };
        machine->wait = [this](int run) { return Wait(run); };
        std::thread first([this] { Body(0); });
        first.join();
        if (second_.joinable()) second_.join();
        machine->onOperation = nullptr;
        machine->wait = nullptr;
        if (error_) std::rethrow_exception(error_);
        return started_;
    }

private:
    void Body(int self) {
        {
            std::unique_lock lock(m_);
            cv_.wait(lock, [&] { return turn_ == self; });
        }
        try {
            RunProgram(*runs_[self]);
        } catch (...) {
            error_ = std::current_exception();
        }
        std::unique_lock lock(m_);
        runs_[self]->LetGo();  // stopped from outside or ended: nothing stays held
        done_[self] = true;
        if (Runnable(1 - self)) turn_ = 1 - self;
        cv_.notify_all();
    }

    // Each operation of either run: the second starts at the first's n-th,
    // and a waiting run looks again whenever the other has done something.
    void OnOperation(int self) {
        std::unique_lock lock(m_);
        idle_ = 0;
        if (self == 0 && !started_ && ++operations_ >= startAt_) {
            started_ = true;
            second_ = std::thread([this] { Body(1); });
            Switch(lock, self);
        } else if (waiting_[1 - self]) {
            Switch(lock, self);
        }
    }

    // A run finds VN\ held: the other goes on. False (the wait times out)
    // when the other cannot, or when both only wait for each other.
    bool Wait(int self) {
        std::unique_lock lock(m_);
        if (!Runnable(1 - self) || ++idle_ > 8) return false;
        waiting_[self] = true;
        Switch(lock, self);
        waiting_[self] = false;
        return true;
    }

    void Switch(std::unique_lock<std::mutex>& lock, int self) {
        turn_ = 1 - self;
        cv_.notify_all();
        cv_.wait(lock, [&] { return turn_ == self; });
    }

    bool Runnable(int run) const { return !done_[run] && (run == 0 || started_); }

    MemoryPlatform* runs_[2];
    long startAt_;
    std::mutex m_;
    std::condition_variable cv_;
    int turn_ = 0;
    long operations_ = 0;
    int idle_ = 0;
    bool started_ = false;
    bool done_[2] = {false, false};
    bool waiting_[2] = {false, false};
    std::thread second_;
    std::exception_ptr error_;
};

}  // namespace

bool RunOverlapped(MemoryPlatform& first, MemoryPlatform& second, long startAt) {
    return Turns(first, second, startAt).Run();
}

}  // namespace vornel::test
