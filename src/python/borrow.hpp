#pragma once

#include <atomic>
#include <cstdint>

#include "compat.h"

namespace binding {

// Per-object access arbitration: 0 free, n > 0 readers, -1 one writer.
// A conflicting call fails at once with RuntimeError; nothing ever waits.
using BorrowFlag = std::atomic<std::int64_t>;

enum class AccessKind { Shared, Exclusive };

// Takes access on construction (check `ok()`; on failure the RuntimeError is
// set) and releases it on destruction, on every path.
class Access {
public:
    Access(BorrowFlag& flag, AccessKind kind) : flag_(flag), kind_(kind) {
        if (kind == AccessKind::Exclusive) {
            std::int64_t expected = 0;
            held_ = flag.compare_exchange_strong(expected, -1, std::memory_order_acquire);
            if (!held_) PyErr_SetString(PyExc_RuntimeError, "Already borrowed");
            return;
        }
        std::int64_t current = flag.load(std::memory_order_relaxed);
        while (current != -1) {
            if (flag.compare_exchange_weak(current, current + 1, std::memory_order_acquire)) {
                held_ = true;
                return;
            }
        }
        PyErr_SetString(PyExc_RuntimeError, "Already mutably borrowed");
    }
    Access(const Access&) = delete;
    Access& operator=(const Access&) = delete;
    ~Access() {
        if (!held_) return;
        if (kind_ == AccessKind::Exclusive) {
            flag_.store(0, std::memory_order_release);
        } else {
            flag_.fetch_sub(1, std::memory_order_release);
        }
    }

    bool ok() const { return held_; }

private:
    BorrowFlag& flag_;
    AccessKind kind_;
    bool held_ = false;
};

}  // namespace binding
