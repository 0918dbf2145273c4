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

    // How far a job got: messages that left, messages that found no open port, messages
    // the MIDI system refused, and messages dropped by abort() before they were tried.
    struct Progress
    {
        int sent = 0;
        int unsent = 0;
        int refused = 0;
        int dropped = 0;
    };
    // A job that has messages still to send: what it is and how many of its messages are left.
    struct Pending
    {
        std::string what;
        int left = 0;
        int total = 0;
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

    // what names the job for pending() and abort().
    void enqueue(Job job, std::string what = std::string());
    // Drops every queued job that has not started.
    void clear();
    // The jobs with messages still to send, the running one first.
    std::vector<Pending> pending() const;
    // Stops at once: the running job sends no further message (its actions still run, so a
    // message that left is still reported), queued jobs are dropped, a pause is cut short.
    // Returns, once the thread is idle, what did not leave. Not from the sender thread.
    std::vector<Pending> abort();
    // Every message handled since the start, by outcome.
    Progress totals() const;
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
    struct Queued
    {
        Job job;
        std::string what;
    };
    static int messageCount(const Job &job);

    std::deque<Queued> queue_;
    Pending current_; // the running job; left is 0 when none runs
    Progress totals_;
    bool busy_ = false;
    bool stop_ = false;
    bool abort_ = false;
    std::thread thread_;
};
