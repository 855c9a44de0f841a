// Counts every call of the global operator new (replaced for the whole
// program: it counts and forwards to malloc), so a test or a benchmark can
// show that its loop allocates nothing. Include in one file per program.
#pragma once

#include <atomic>
#include <cstdlib>
#include <new>

inline std::atomic<long> gNewCalls{0};

// Not inlined, so that the compiler does not pair malloc/free with new/delete
// across the replacement (-Wmismatched-new-delete).
[[gnu::noinline]] void* operator new(std::size_t size) {
    gNewCalls.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
[[gnu::noinline]] void* operator new[](std::size_t size) {
    return ::operator new(size);
}
// The nothrow forms too: every form of new and delete must come from the same
// pair, or a sanitizer sees malloc'ed memory freed by its own delete.
[[gnu::noinline]] void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    gNewCalls.fetch_add(1, std::memory_order_relaxed);
    return std::malloc(size == 0 ? 1 : size);
}
[[gnu::noinline]] void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
    return ::operator new(size, tag);
}
[[gnu::noinline]] void operator delete(void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
[[gnu::noinline]] void operator delete[](void* p, const std::nothrow_t&) noexcept {
    std::free(p);
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
