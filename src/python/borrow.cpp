#include "borrow.hpp"

#include <pthread.h>

#include <mutex>

namespace binding {

namespace {

std::atomic<std::uint64_t> forks{0};

void count_fork() { forks.fetch_add(1, std::memory_order_relaxed); }

}  // namespace

std::uint64_t fork_generation() { return forks.load(std::memory_order_relaxed); }

BorrowFlag::BorrowFlag() {
    static std::once_flag installed;
    std::call_once(installed, [] { pthread_atfork(nullptr, nullptr, count_fork); });
}

Access::Access(BorrowFlag& flag, AccessKind kind, AfterFork after_fork)
    : flag_(flag), kind_(kind), after_fork_(after_fork) {
    held_ = take();
}

bool Access::take() {
    const std::int64_t wanted_from_free = kind_ == AccessKind::Exclusive ? -1 : 1;
    std::int64_t current = flag_.state.load(std::memory_order_relaxed);
    for (;;) {
        const bool stale = current != 0 && flag_.generation.load(std::memory_order_relaxed) != fork_generation();
        if (stale && current == -1 && after_fork_ == AfterFork::Refuse) {
            PyErr_SetString(PyExc_RuntimeError,
                            "This object was being changed by another thread when the process forked, so its state "
                            "is unknown here; reset it or load a saved state");
            return false;
        }
        std::int64_t wanted;
        if (stale) {
            wanted = wanted_from_free;  // the holders were threads of the parent process
        } else if (kind_ == AccessKind::Exclusive) {
            if (current != 0) {
                PyErr_SetString(PyExc_RuntimeError, "Already borrowed");
                return false;
            }
            wanted = -1;
        } else {
            if (current == -1) {
                PyErr_SetString(PyExc_RuntimeError, "Already mutably borrowed");
                return false;
            }
            wanted = current + 1;
        }
        if (flag_.state.compare_exchange_weak(current, wanted, std::memory_order_acquire, std::memory_order_relaxed)) {
            flag_.generation.store(fork_generation(), std::memory_order_relaxed);
            return true;
        }
    }
}

Access::~Access() {
    if (!held_) return;
    if (kind_ == AccessKind::Exclusive) {
        flag_.state.store(0, std::memory_order_release);
    } else {
        flag_.state.fetch_sub(1, std::memory_order_release);
    }
}

}  // namespace binding
