#pragma once

#include <atomic>
#include <chrono>
#include <thread>

namespace common {

// Lets long engine work stop early when its caller asks, for Ctrl-C. The
// thread that makes the interrupt owns it: its poll() runs the caller's check
// (Python's signal check, say) at most once an interval. Once the check asks
// to stop, or request() is called on any thread, every poll() on every thread
// returns true. Work that polls stops at its next safe point and reports
// what it finished; the caller then tells from requested() that it stopped
// early. A default-made interrupt never stops anything.
class Interrupt {
public:
    using Check = bool (*)(void* context);  // true: stop

    static constexpr std::chrono::milliseconds DEFAULT_INTERVAL{50};

    Interrupt() = default;
    Interrupt(Check check, void* context, std::chrono::steady_clock::duration interval = DEFAULT_INTERVAL)
        : check_(check), context_(context), interval_(interval), owner_(std::this_thread::get_id()),
          next_check_(std::chrono::steady_clock::now() + interval) {}
    Interrupt(const Interrupt&) = delete;
    Interrupt& operator=(const Interrupt&) = delete;

    bool poll() {
        if (stopped_.load(std::memory_order_relaxed)) return true;
        if (check_ == nullptr || std::this_thread::get_id() != owner_) return false;
        const auto now = std::chrono::steady_clock::now();
        if (now < next_check_) return false;
        next_check_ = now + interval_;
        if (!check_(context_)) return false;
        request();
        return true;
    }

    void request() { stopped_.store(true, std::memory_order_relaxed); }
    bool requested() const { return stopped_.load(std::memory_order_relaxed); }

private:
    std::atomic<bool> stopped_{false};
    Check check_ = nullptr;
    void* context_ = nullptr;
    std::chrono::steady_clock::duration interval_{};
    std::thread::id owner_;
    std::chrono::steady_clock::time_point next_check_{};  // read and written by the owner only
};

}  // namespace common
