// The MIDI port interface the engine talks to. The real implementation wraps RtMidi
// (rtmidibackend.h); tests use a scripted one (scriptedmidibackend.h). Every call may throw
// MidiPortError; the engine catches it, shows a status line and goes on.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

class MidiPortError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// One client-side port: enumerates the system's ports of the opposite direction and connects
// to one of them.
class MidiPort
{
public:
    virtual ~MidiPort() = default;
    virtual unsigned portCount() = 0;
    virtual std::string portName(unsigned index) = 0;
    virtual void open(unsigned index, const std::string &ownPortName) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
};

class MidiInputPort : public MidiPort
{
public:
    // Called on the backend's input thread with one complete message.
    using Callback = std::function<void(const std::vector<uint8_t> &message)>;
    virtual void setCallback(Callback callback) = 0;
    virtual void cancelCallback() = 0;
    // True drops that kind of message. A new input drops all three.
    virtual void ignoreTypes(bool sysex, bool timing, bool activeSensing) = 0;
};

class MidiOutputPort : public MidiPort
{
public:
    virtual void send(const std::vector<uint8_t> &message) = 0;
};

class MidiPortBackend
{
public:
    virtual ~MidiPortBackend() = default;
    virtual std::unique_ptr<MidiInputPort> createInput(const std::string &clientName,
                                                       unsigned queueLimit) = 0;
    virtual std::unique_ptr<MidiOutputPort> createOutput(const std::string &clientName) = 0;
};
