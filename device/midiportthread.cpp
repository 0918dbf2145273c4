#include "midiportthread.h"

MidiPortThread::MidiPortThread() : thread_([this] { loop(); }) {}

MidiPortThread::~MidiPortThread()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
        queue_.clear();
    }
    wake_.notify_all();
    done_.notify_all();
    thread_.join();
}

void MidiPortThread::post(std::function<void()> task)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(std::move(task));
        ++queued_;
    }
    wake_.notify_one();
}

void MidiPortThread::run(const std::function<void()> &task)
{
    if (isCurrent()) {
        task();
        return;
    }
    unsigned long ticket;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(task);
        ticket = ++queued_;
    }
    wake_.notify_one();
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [&] { return finished_ >= ticket || stop_; });
}

void MidiPortThread::loop()
{
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [&] { return stop_ || !queue_.empty(); });
        if (stop_)
            return;
        std::function<void()> task = std::move(queue_.front());
        queue_.pop_front();
        lock.unlock();
        task();
        task = nullptr; // whatever the task held goes on this thread
        lock.lock();
        ++finished_;
        done_.notify_all();
    }
}
