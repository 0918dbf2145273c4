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

int MidiSender::messageCount(const Job &job)
{
    int n = 0;
    for (const Step &step : job)
        n += step.action ? 0 : 1;
    return n;
}

void MidiSender::enqueue(Job job, std::string what)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back({std::move(job), std::move(what)});
    }
    wake_.notify_all();
}

void MidiSender::clear()
{
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.clear();
}

std::vector<MidiSender::Pending> MidiSender::pending() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<Pending> out;
    if (busy_ && current_.left > 0)
        out.push_back(current_);
    for (const Queued &q : queue_) {
        const int n = messageCount(q.job);
        if (n > 0)
            out.push_back({q.what, n, n});
    }
    return out;
}

std::vector<MidiSender::Pending> MidiSender::abort()
{
    std::unique_lock<std::mutex> lock(mutex_);
    abort_ = true;
    std::deque<Queued> dropped;
    dropped.swap(queue_);
    wake_.notify_all();
    idle_.wait(lock, [this] { return !busy_; });
    abort_ = false;
    // The running job ended with the messages it had not tried yet.
    std::vector<Pending> out;
    if (current_.left > 0)
        out.push_back(current_);
    current_ = Pending();
    for (const Queued &q : dropped) {
        const int n = messageCount(q.job);
        if (n > 0)
            out.push_back({q.what, n, n});
    }
    return out;
}

MidiSender::Progress MidiSender::totals() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return totals_;
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
        Job job = std::move(queue_.front().job);
        current_.what = std::move(queue_.front().what);
        current_.total = current_.left = messageCount(job);
        queue_.pop_front();
        busy_ = true;
        Progress progress;
        for (Step &step : job) {
            if (stop_)
                break;
            if (!step.action && abort_) {
                ++progress.dropped; // still counted in current_.left
                continue;
            }
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
            ++(sent ? totals_.sent : outcome == Outcome::NoPort ? totals_.unsent : totals_.refused);
            --current_.left;
            // The pause keeps the device from being flooded; a message that did not leave
            // needs none. A stop or abort request cuts the pause short.
            if (sent && step.pause.count() > 0)
                wake_.wait_until(lock, deadline, [this] { return stop_ || abort_; });
        }
        busy_ = false;
        if (!abort_)
            current_ = Pending();
        if (queue_.empty() || abort_)
            idle_.notify_all();
    }
    busy_ = false;
    idle_.notify_all();
}
