#pragma once

// Every heap allocation of the test program that includes this (once), counted
// so that a test can check that a search allocates nothing per simulation.

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>

namespace test_support {
inline std::atomic<std::size_t> allocations{0};
}  // namespace test_support

void* operator new(std::size_t size) {
    test_support::allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
    throw std::bad_alloc();
}
// The non-throwing form too (the standard library's temporary buffers use
// it), so that every block the deletes below free came from malloc.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    test_support::allocations.fetch_add(1, std::memory_order_relaxed);
    return std::malloc(size == 0 ? 1 : size);
}
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete(void* memory, const std::nothrow_t&) noexcept { std::free(memory); }
