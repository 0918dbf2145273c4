// The sender thread: uploads wait in a FIFO and leave one message at a time, each followed by
// its pause, so the caller's thread never sleeps. Steps of one job run in order; jobs run in
// the order they were queued.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class MidiSender
{
public:
    // What became of one message: it left, it found no open port, or the MIDI system
    // refused it on an open port.
    enum class Outcome
    {
        Sent,
        NoPort,
        Refused
    };
    // Sends one message. Called on the sender thread.
    using SendFunction = std::function<Outcome(const std::vector<uint8_t> &)>;

    // How far a job got: messages that left, messages that found no open port, and messages
    // the MIDI system refused.
    struct Progress
    {
        int sent = 0;
        int unsent = 0;
        int refused = 0;
    };
    // One step: a message with the pause that follows it, or an action (a status line, a
    // signal). An action learns how many messages of its job have left so far.
    struct Step
    {
        std::vector<uint8_t> message;
        std::chrono::milliseconds pause{0};
        std::function<void(const Progress &)> action;

        static Step send(std::vector<uint8_t> m, std::chrono::milliseconds pause)
        {
            Step s;
            s.message = std::move(m);
            s.pause = pause;
            return s;
        }
        static Step call(std::function<void(const Progress &)> f)
        {
            Step s;
            s.action = std::move(f);
            return s;
        }
    };
    using Job = std::vector<Step>;

    explicit MidiSender(SendFunction send);
    // Drops what is still queued and stops the thread; a pause in progress is cut short.
    ~MidiSender();

    void enqueue(Job job);
    // Drops every queued job that has not started.
    void clear();
    // Blocks until the queue is empty and the current job finished, or until the timeout.
    // Returns true when idle. For shutdown and tests; never called on the GUI thread
    // while an upload runs.
    bool waitIdle(std::chrono::milliseconds timeout);
    bool isIdle() const;

private:
    void run();

    SendFunction send_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::deque<Job> queue_;
    bool busy_ = false;
    bool stop_ = false;
    std::thread thread_;
};
