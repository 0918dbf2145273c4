// A MIDI system in memory, for tests: the port lists are set by the test and may change at
// any time (hot-plug), every send is recorded with its time, and messages can be delivered
// to the inputs connected to a port. Thread-safe.
#pragma once

#include "device/midiportbackend.h"

#include <chrono>
#include <mutex>
#include <set>
#include <thread>

class ScriptedMidiSystem
{
public:
    using Clock = std::chrono::steady_clock;
    struct Sent
    {
        std::string port; // the system port the output was connected to
        std::vector<uint8_t> bytes;
        Clock::time_point time;
    };

    // Ports the system offers: device outputs (read by our inputs) and device inputs.
    void setInputPorts(std::vector<std::string> n) { set(inputNames_, std::move(n)); }
    void setOutputPorts(std::vector<std::string> n) { set(outputNames_, std::move(n)); }
    // Opening a port of this name throws, like a port held by another program.
    void failOpening(const std::string &name)
    {
        locked([&] { failing_.insert(name); });
    }
    // Creating any port object throws, like a machine without a MIDI system.
    void failCreating(bool fail) { set(failCreate_, fail); }
    // Sending a message with a data byte above 127 throws and sends nothing, as the real
    // backend reports what a parsing driver (ALSA) refuses.
    void refuseInvalidData(bool refuse) { set(refuseInvalid_, refuse); }

    // Delivers one message to every open input connected to the port; returns how many took
    // it (inputs that ignore the message's type do not count). Runs the callbacks on the
    // calling thread.
    int deliver(const std::string &port, const std::vector<uint8_t> &message);

    std::vector<Sent> sent() const { return get(sent_); }
    std::vector<std::vector<uint8_t>> sentBytes() const
    {
        std::vector<std::vector<uint8_t>> out;
        for (const Sent &s : sent())
            out.push_back(s.bytes);
        return out;
    }
    void clearSent() { set(sent_, {}); }
    // System port names that our open inputs / outputs are connected to, in creation order.
    std::vector<std::string> openInputs() const;
    std::vector<std::string> openOutputs() const;
    int inputObjects() const { return int(get(inputs_).size()); }
    int outputObjects() const { return int(get(outputs_).size()); }
    // Port objects (MIDI clients) created or destroyed on the given thread so far.
    int clientChangesOn(std::thread::id thread) const;

private:
    template <class Base, class State> friend class ScriptedPort;
    friend class ScriptedInput;
    friend class ScriptedOutput;
    friend class ScriptedMidiBackend;
    struct InputState;
    struct OutputState;
    // Runs f under the system's lock.
    template <class F> auto locked(F f) const -> decltype(f())
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return f();
    }
    template <class T> T get(const T &field) const
    {
        return locked([&] { return field; });
    }
    template <class T> void set(T &field, T value)
    {
        locked([&] { field = std::move(value); });
    }

    mutable std::mutex mutex_;
    std::vector<std::string> inputNames_;
    std::vector<std::string> outputNames_;
    std::set<std::string> failing_;
    bool failCreate_ = false;
    bool refuseInvalid_ = false;
    std::vector<InputState *> inputs_;
    std::vector<OutputState *> outputs_;
    std::vector<Sent> sent_;
    std::vector<std::thread::id> clientThreads_;
};

class ScriptedMidiBackend : public MidiPortBackend
{
public:
    explicit ScriptedMidiBackend(std::shared_ptr<ScriptedMidiSystem> system)
        : system_(std::move(system))
    {
    }
    std::unique_ptr<MidiInputPort> createInput(const std::string &clientName,
                                               unsigned queueLimit) override;
    std::unique_ptr<MidiOutputPort> createOutput(const std::string &clientName) override;

private:
    void refuseWithoutSystem() const;
    std::shared_ptr<ScriptedMidiSystem> system_;
};
