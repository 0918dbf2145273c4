// A minimal lock shared by the GUI thread and the audio callback. The callback only ever
// calls try_lock() (and renders silence when it fails), so it never waits; the GUI thread
// may wait for one block at most.
#pragma once

#include <atomic>
#include <thread>

class SpinLock
{
public:
    bool try_lock() noexcept
    {
        return !flag_.load(std::memory_order_relaxed) &&
               !flag_.exchange(true, std::memory_order_acquire);
    }
    void lock() noexcept
    {
        while (!try_lock())
            std::this_thread::yield();
    }
    void unlock() noexcept { flag_.store(false, std::memory_order_release); }

private:
    std::atomic<bool> flag_{false};
};
