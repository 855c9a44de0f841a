// Lock-free single-producer/single-consumer queue of trivially copyable
// values with a capacity fixed at construction. One thread pushes, one thread
// pops; neither ever allocates, locks or blocks. Construction and destruction
// happen while neither side runs.
#pragma once

#include <atomic>
#include <cstddef>
#include <vector>

namespace ravlon::audio {

template <typename T> class SpscQueue {
public:
    // capacity: rounded up to a power of two.
    explicit SpscQueue(std::size_t capacity) {
        std::size_t n = 2;
        while (n < capacity) n <<= 1;
        slots_.resize(n);
        mask_ = n - 1;
    }

    // Producer side; false when full.
    bool push(const T& value) noexcept {
        const std::size_t tail = tail_.load(std::memory_order_relaxed);
        if (tail - head_.load(std::memory_order_acquire) > mask_) return false;
        slots_[tail & mask_] = value;
        tail_.store(tail + 1, std::memory_order_release);
        return true;
    }

    // Consumer side; false when empty.
    bool pop(T& value) noexcept {
        const std::size_t head = head_.load(std::memory_order_relaxed);
        if (head == tail_.load(std::memory_order_acquire)) return false;
        value = slots_[head & mask_];
        head_.store(head + 1, std::memory_order_release);
        return true;
    }

    // Consumer side.
    bool empty() const noexcept {
        return head_.load(std::memory_order_relaxed) == tail_.load(std::memory_order_acquire);
    }

private:
    std::vector<T> slots_;
    std::size_t mask_ = 1;
    alignas(64) std::atomic<std::size_t> head_{0};
    alignas(64) std::atomic<std::size_t> tail_{0};
};

} // namespace ravlon::audio
