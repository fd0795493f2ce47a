#include "common/worker_pool.hpp"

#include <chrono>

namespace common {

namespace {

void relax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#elif defined(__aarch64__)
    asm volatile("yield");
#endif
}

constexpr auto SPIN = std::chrono::microseconds(50);

// Spins for a short while until `value` is no longer `old`: calls come in
// quick succession and a sleeping thread takes tens of microseconds to wake.
// Returns the new value, or `old` if it did not change in time.
template <class T>
T spin_for_change(const std::atomic<T>& value, T old) {
    const auto start = std::chrono::steady_clock::now();
    for (unsigned round = 1;; ++round) {
        const T now = value.load(std::memory_order_acquire);
        if (now != old) return now;
        relax();
        if (round % 64 == 0 && std::chrono::steady_clock::now() - start > SPIN) return old;
    }
}

// Waits until `value` is no longer `old` and returns the new value.
template <class T>
T wait_for_change(const std::atomic<T>& value, T old) {
    for (T now = spin_for_change(value, old);; now = value.load(std::memory_order_acquire)) {
        if (now != old) return now;
        value.wait(old, std::memory_order_acquire);
    }
}

// The same, polling `interrupt` every millisecond meanwhile.
template <class T>
T wait_for_change(const std::atomic<T>& value, T old, Interrupt& interrupt) {
    for (T now = spin_for_change(value, old);; now = value.load(std::memory_order_acquire)) {
        if (now != old) return now;
        interrupt.poll();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

}  // namespace

WorkerPool::WorkerPool(std::size_t workers) {
    threads_.reserve(workers > 0 ? workers - 1 : 0);
    try {
        for (std::size_t worker = 1; worker < workers; ++worker) threads_.emplace_back([this, worker] { work(worker); });
    } catch (...) {
        stop_threads();
        throw;
    }
}

WorkerPool::~WorkerPool() { stop_threads(); }

void WorkerPool::stop_threads() {
    stopping_ = true;
    generation_.fetch_add(1, std::memory_order_release);
    generation_.notify_all();
    for (std::thread& thread : threads_) thread.join();
    threads_.clear();
}

void WorkerPool::run_share(std::size_t worker) {
    try {
        trampoline_(context_, worker);
    } catch (...) {
        if (!failed_.exchange(true, std::memory_order_acq_rel)) failure_ = std::current_exception();
    }
}

void WorkerPool::run_erased(void* context, Trampoline trampoline, Interrupt* interrupt) {
    context_ = context;
    trampoline_ = trampoline;
    failed_.store(false, std::memory_order_relaxed);
    failure_ = nullptr;
    pending_.store(threads_.size(), std::memory_order_relaxed);
    generation_.fetch_add(1, std::memory_order_release);
    generation_.notify_all();
    run_share(0);
    for (std::size_t left = pending_.load(std::memory_order_acquire); left != 0;) {
        left = interrupt != nullptr ? wait_for_change(pending_, left, *interrupt) : wait_for_change(pending_, left);
    }
    if (failed_.load(std::memory_order_acquire)) std::rethrow_exception(failure_);
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

}  // namespace common
