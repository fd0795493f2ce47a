#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <thread>
#include <vector>

#include "common/interrupt.hpp"

namespace common {

// A fixed set of threads that run one task together: run(task) calls
// task(worker) once for every worker 0 .. size() - 1 and returns when all
// have returned. The calling thread is worker 0, so a pool of one starts no
// thread at all. Workers sleep between runs; nothing is allocated per run.
// One run at a time: callers serialise their calls. The batch, the arena and
// root-parallel search all run on pools of this kind.
class WorkerPool {
public:
    // Starts workers - 1 threads. If the system refuses one, those already
    // started are stopped and joined, and the std::system_error propagates.
    explicit WorkerPool(std::size_t workers);
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    std::size_t size() const { return threads_.size() + 1; }

    // A task that throws ends its own share of the run; once every worker is
    // back, the first failure is thrown again here, as it was thrown. With an
    // interrupt, worker 0 keeps polling it while it waits for the others, so
    // that the caller's check still runs when worker 0's share ends first.
    template <class Task>
    void run(Task& task, Interrupt* interrupt = nullptr) {
        run_erased(&task, [](void* context, std::size_t worker) { (*static_cast<Task*>(context))(worker); },
                   interrupt);
    }

    // Called by every worker of a run, returns once all have called it: what
    // each wrote before is then visible to all. A task that calls it must
    // reach it on every path, or the run never ends.
    void arrive_and_wait();

private:
    using Trampoline = void (*)(void*, std::size_t);

    void run_erased(void* context, Trampoline trampoline, Interrupt* interrupt);
    void work(std::size_t worker);
    void run_share(std::size_t worker);
    void stop_threads();

    std::vector<std::thread> threads_;
    std::atomic<std::uint64_t> generation_{0};  // bumped to start a run
    std::atomic<std::size_t> pending_{0};       // helper threads still in the run
    std::atomic<bool> failed_{false};
    std::atomic<std::size_t> arrived_{0};       // workers at the current barrier
    std::atomic<std::uint64_t> barriers_{0};    // barriers passed
    std::exception_ptr failure_;                // written by the first failing worker only
    void* context_ = nullptr;
    Trampoline trampoline_ = nullptr;
    bool stopping_ = false;
};

}  // namespace common
