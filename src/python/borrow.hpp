#pragma once

#include <atomic>
#include <cstdint>

#include "compat.h"

namespace binding {

// Forks seen by this process so far, counted in the child by an at-fork
// handler that the first borrow flag installs.
std::uint64_t fork_generation();

// Per-object access arbitration: 0 free, n > 0 readers, -1 one writer, with
// the fork generation in which it was last taken. A conflicting call fails
// at once with RuntimeError; nothing ever waits.
//
// After fork() the child has none of the parent's other threads, so a borrow
// that one of them held can never be released. A shared one is simply taken
// over. An exclusive one may have left the object half-changed: only calls
// that rebuild the whole object (AfterFork::Rebuild) take it over; the rest
// fail with a RuntimeError that says so.
struct BorrowFlag {
    std::atomic<std::int64_t> state{0};
    std::atomic<std::uint64_t> generation{0};

    BorrowFlag();
};

enum class AccessKind { Shared, Exclusive };
enum class AfterFork { Refuse, Rebuild };

// Takes access on construction (check `ok()`; on failure the RuntimeError is
// set) and releases it on destruction, on every path.
class Access {
public:
    Access(BorrowFlag& flag, AccessKind kind, AfterFork after_fork = AfterFork::Refuse);
    Access(const Access&) = delete;
    Access& operator=(const Access&) = delete;
    ~Access();

    bool ok() const { return held_; }

private:
    bool take();

    BorrowFlag& flag_;
    AccessKind kind_;
    AfterFork after_fork_;
    bool held_ = false;
};

}  // namespace binding
