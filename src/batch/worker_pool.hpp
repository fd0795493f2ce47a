#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace batch {

// A fixed set of threads that run one task together: run(task) calls
// task(worker) once for every worker 0 .. size() - 1 and returns when all
// have returned. The calling thread is worker 0, so a pool of one starts no
// thread at all. Workers sleep between runs; nothing is allocated per run.
// One run at a time: callers serialise their calls.
class WorkerPool {
public:
    explicit WorkerPool(std::size_t workers);
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    std::size_t size() const { return threads_.size() + 1; }

    // A task that throws ends its own share of the run; once every worker is
    // back, the first such error is thrown again here as game::Fault.
    template <class Task>
    void run(Task& task) {
        run_erased(&task, [](void* context, std::size_t worker) { (*static_cast<Task*>(context))(worker); });
    }

    // Called by every worker of a run, returns once all have called it: what
    // each wrote before is then visible to all. A task that calls it must
    // reach it on every path, or the run never ends.
    void arrive_and_wait();

private:
    using Trampoline = void (*)(void*, std::size_t);

    void run_erased(void* context, Trampoline trampoline);
    void work(std::size_t worker);
    void run_share(std::size_t worker);

    std::vector<std::thread> threads_;
    std::atomic<std::uint64_t> generation_{0};  // bumped to start a run
    std::atomic<std::size_t> pending_{0};       // helper threads still in the run
    std::atomic<bool> failed_{false};
    std::atomic<std::size_t> arrived_{0};       // workers at the current barrier
    std::atomic<std::uint64_t> barriers_{0};    // barriers passed
    std::string failure_;                       // written by the first failing worker only
    void* context_ = nullptr;
    Trampoline trampoline_ = nullptr;
    bool stopping_ = false;
};

}  // namespace batch
