#include "batch/worker_pool.hpp"

#include <chrono>
#include <exception>

#include "game/fault.hpp"

namespace batch {

namespace {

void relax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#elif defined(__aarch64__)
    asm volatile("yield");
#endif
}

// Waits until `value` is no longer `old` and returns the new value. Calls
// come in quick succession and a sleeping thread takes tens of microseconds
// to wake, so it spins for a short while before it sleeps.
template <class T>
T wait_for_change(const std::atomic<T>& value, T old) {
    constexpr auto SPIN = std::chrono::microseconds(50);
    const auto start = std::chrono::steady_clock::now();
    for (unsigned round = 1;; ++round) {
        const T now = value.load(std::memory_order_acquire);
        if (now != old) return now;
        relax();
        if (round % 64 == 0 && std::chrono::steady_clock::now() - start > SPIN) break;
    }
    for (T now = value.load(std::memory_order_acquire);; now = value.load(std::memory_order_acquire)) {
        if (now != old) return now;
        value.wait(old, std::memory_order_acquire);
    }
}

}  // namespace

WorkerPool::WorkerPool(std::size_t workers) {
    threads_.reserve(workers > 0 ? workers - 1 : 0);
    for (std::size_t worker = 1; worker < workers; ++worker) threads_.emplace_back([this, worker] { work(worker); });
}

WorkerPool::~WorkerPool() {
    stopping_ = true;
    generation_.fetch_add(1, std::memory_order_release);
    generation_.notify_all();
    for (std::thread& thread : threads_) thread.join();
}

void WorkerPool::run_share(std::size_t worker) {
    try {
        trampoline_(context_, worker);
    } catch (const std::exception& error) {
        if (!failed_.exchange(true, std::memory_order_acq_rel)) failure_ = error.what();
    }
}

void WorkerPool::run_erased(void* context, Trampoline trampoline) {
    context_ = context;
    trampoline_ = trampoline;
    failed_.store(false, std::memory_order_relaxed);
    pending_.store(threads_.size(), std::memory_order_relaxed);
    generation_.fetch_add(1, std::memory_order_release);
    generation_.notify_all();
    run_share(0);
    for (std::size_t left = pending_.load(std::memory_order_acquire); left != 0;) {
        left = wait_for_change(pending_, left);
    }
    if (failed_.load(std::memory_order_acquire)) throw game::Fault(failure_);
}

void WorkerPool::arrive_and_wait() {
    const std::uint64_t passed = barriers_.load(std::memory_order_acquire);
    if (arrived_.fetch_add(1, std::memory_order_acq_rel) + 1 == size()) {
        arrived_.store(0, std::memory_order_relaxed);
        barriers_.fetch_add(1, std::memory_order_release);
        barriers_.notify_all();
        return;
    }
    wait_for_change(barriers_, passed);
}

void WorkerPool::work(std::size_t worker) {
    std::uint64_t seen = 0;
    for (;;) {
        seen = wait_for_change(generation_, seen);
        if (stopping_) return;
        run_share(worker);
        if (pending_.fetch_sub(1, std::memory_order_acq_rel) == 1) pending_.notify_one();
    }
}

}  // namespace batch
