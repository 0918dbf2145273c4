// Lock-free ring for one producer thread and one consumer thread. The capacity is a power of
// two; a push that does not fit is dropped and counted.
#pragma once

#include <atomic>
#include <cstddef>
#include <vector>

template <typename T> class SpscRing
{
public:
    explicit SpscRing(std::size_t capacityPowerOfTwo)
        : buffer_(capacityPowerOfTwo), mask_(capacityPowerOfTwo - 1)
    {
    }

    // Producer. Returns false (and counts the value as dropped) when the ring is full.
    bool push(const T &value) noexcept
    {
        if (tryPush(value))
            return true;
        dropped_.fetch_add(1, std::memory_order_relaxed);
        return false;
    }

    // Producer. Returns false when the ring is full, without counting a drop.
    bool tryPush(const T &value) noexcept
    {
        const std::size_t head = head_.load(std::memory_order_relaxed);
        const std::size_t tail = tail_.load(std::memory_order_acquire);
        if (head - tail >= buffer_.size())
            return false;
        buffer_[head & mask_] = value;
        head_.store(head + 1, std::memory_order_release);
        return true;
    }

    // Consumer. Copies up to max values into out; returns how many.
    std::size_t pop(T *out, std::size_t max) noexcept
    {
        const std::size_t tail = tail_.load(std::memory_order_relaxed);
        const std::size_t head = head_.load(std::memory_order_acquire);
        std::size_t n = head - tail;
        if (n > max)
            n = max;
        for (std::size_t i = 0; i < n; ++i)
            out[i] = buffer_[(tail + i) & mask_];
        tail_.store(tail + n, std::memory_order_release);
        return n;
    }

    std::size_t capacity() const { return buffer_.size(); }
    std::size_t dropped() const { return dropped_.load(std::memory_order_relaxed); }

private:
    std::vector<T> buffer_;
    const std::size_t mask_;
    std::atomic<std::size_t> head_{0};
    std::atomic<std::size_t> tail_{0};
    std::atomic<std::size_t> dropped_{0};
};
