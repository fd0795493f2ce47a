#include "batch/worker_pool.hpp"

#include <exception>

#include "game/fault.hpp"

namespace batch {

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
    for (std::size_t left = pending_.load(std::memory_order_acquire); left != 0;
         left = pending_.load(std::memory_order_acquire)) {
        pending_.wait(left, std::memory_order_acquire);
    }
    if (failed_.load(std::memory_order_acquire)) throw game::Fault(failure_);
}

void WorkerPool::work(std::size_t worker) {
    std::uint64_t seen = 0;
    for (;;) {
        generation_.wait(seen, std::memory_order_acquire);
        seen = generation_.load(std::memory_order_acquire);
        if (stopping_) return;
        run_share(worker);
        if (pending_.fetch_sub(1, std::memory_order_acq_rel) == 1) pending_.notify_one();
    }
}

}  // namespace batch
