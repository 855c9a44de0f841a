// Counts every call of the global operator new (replaced for the whole
// benchmark program: it counts and forwards to malloc), so a benchmark can
// show that its timed loop allocates nothing. Include in one file per program.
#pragma once

#include <atomic>
#include <cstdlib>
#include <new>

inline std::atomic<long> gNewCalls{0};

[[gnu::noinline]] void* operator new(std::size_t size) {
    gNewCalls.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
[[gnu::noinline]] void* operator new[](std::size_t size) {
    return ::operator new(size);
}
[[gnu::noinline]] void operator delete(void* p) noexcept {
    std::free(p);
}
[[gnu::noinline]] void operator delete[](void* p) noexcept {
    std::free(p);
}
[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
[[gnu::noinline]] void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}
