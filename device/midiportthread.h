// The thread that owns the MIDI port objects: port discovery, the vanished-port check and
// every creation or destruction of a MIDI client run here, so the GUI thread never waits on
// the MIDI system (a JACK client takes milliseconds to open). Tasks run one at a time in the
// order they were given.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

class MidiPortThread
{
public:
    MidiPortThread();
    // Finishes the task in progress, drops the queued ones and stops the thread.
    ~MidiPortThread();
    MidiPortThread(const MidiPortThread &) = delete;
    MidiPortThread &operator=(const MidiPortThread &) = delete;

    // Queues a task and returns at once.
    void post(std::function<void()> task);
    // Runs a task and waits for it (at once when called on this thread).
    void run(const std::function<void()> &task);
    bool isCurrent() const { return std::this_thread::get_id() == thread_.get_id(); }

private:
    void loop();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    std::deque<std::function<void()>> queue_;
    unsigned long finished_ = 0; // tasks run so far
    unsigned long queued_ = 0;   // tasks queued so far
    bool stop_ = false;
    std::thread thread_;
};
