#include "midisender.h"

MidiSender::MidiSender(SendFunction send) : send_(std::move(send))
{
    thread_ = std::thread([this] { run(); });
}

MidiSender::~MidiSender()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
        queue_.clear();
    }
    wake_.notify_all();
    thread_.join();
}

void MidiSender::enqueue(Job job)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(std::move(job));
    }
    wake_.notify_all();
}

void MidiSender::clear()
{
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.clear();
}

bool MidiSender::waitIdle(std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> lock(mutex_);
    return idle_.wait_for(lock, timeout, [this] { return queue_.empty() && !busy_; });
}

bool MidiSender::isIdle() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return queue_.empty() && !busy_;
}

void MidiSender::run()
{
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stop_ || !queue_.empty(); });
        if (stop_)
            break;
        Job job = std::move(queue_.front());
        queue_.pop_front();
        busy_ = true;
        Progress progress;
        for (Step &step : job) {
            if (stop_)
                break;
            lock.unlock();
            if (step.action) {
                step.action(progress);
                lock.lock();
                continue;
            }
            const Outcome outcome = send_(step.message);
            const bool sent = outcome == Outcome::Sent;
            const auto deadline = std::chrono::steady_clock::now() + step.pause;
            lock.lock();
            ++(sent                         ? progress.sent
               : outcome == Outcome::NoPort ? progress.unsent
                                            : progress.refused);
            // The pause keeps the device from being flooded; a message that did not leave
            // needs none. A stop request cuts the pause short.
            if (sent && step.pause.count() > 0)
                wake_.wait_until(lock, deadline, [this] { return stop_; });
        }
        busy_ = false;
        if (queue_.empty())
            idle_.notify_all();
    }
    busy_ = false;
    idle_.notify_all();
}
