#include "scriptedmidibackend.h"

#include <algorithm>

struct ScriptedMidiSystem::InputState
{
    std::string connected; // empty while closed
    MidiInputPort::Callback callback;
    bool ignoreSysex = true, ignoreTiming = true, ignoreSensing = true;
};

struct ScriptedMidiSystem::OutputState
{
    std::string connected;
};

class ScriptedInput : public MidiInputPort
{
public:
    explicit ScriptedInput(std::shared_ptr<ScriptedMidiSystem> s) : sys_(std::move(s))
    {
        std::lock_guard<std::mutex> lock(sys_->mutex_);
        sys_->inputs_.push_back(&state_);
    }
    ~ScriptedInput() override
    {
        std::lock_guard<std::mutex> lock(sys_->mutex_);
        auto &v = sys_->inputs_;
        v.erase(std::remove(v.begin(), v.end(), &state_), v.end());
    }
    unsigned portCount() override
    {
        std::lock_guard<std::mutex> lock(sys_->mutex_);
        return unsigned(sys_->inputNames_.size());
    }
    std::string portName(unsigned index) override
    {
        std::lock_guard<std::mutex> lock(sys_->mutex_);
        if (index >= sys_->inputNames_.size())
            throw MidiPortError("invalid input port number");
        return sys_->inputNames_[index];
    }
    void open(unsigned index, const std::string &) override
    {
        std::lock_guard<std::mutex> lock(sys_->mutex_);
        if (index >= sys_->inputNames_.size())
            throw MidiPortError("invalid input port number");
        const std::string &name = sys_->inputNames_[index];
        if (sys_->failing_.count(name))
            throw MidiPortError("port busy: " + name);
        if (state_.connected.empty())
            state_.connected = name;
    }
    void close() override
    {
        std::lock_guard<std::mutex> lock(sys_->mutex_);
        state_.connected.clear();
    }
    bool isOpen() const override
    {
        std::lock_guard<std::mutex> lock(sys_->mutex_);
        return !state_.connected.empty();
    }
    void setCallback(Callback callback) override
    {
        std::lock_guard<std::mutex> lock(sys_->mutex_);
        state_.callback = std::move(callback);
    }
    void cancelCallback() override
    {
        std::lock_guard<std::mutex> lock(sys_->mutex_);
        state_.callback = nullptr;
    }
    void ignoreTypes(bool sysex, bool timing, bool sensing) override
    {
        std::lock_guard<std::mutex> lock(sys_->mutex_);
        state_.ignoreSysex = sysex;
        state_.ignoreTiming = timing;
        state_.ignoreSensing = sensing;
    }

private:
    std::shared_ptr<ScriptedMidiSystem> sys_;
    ScriptedMidiSystem::InputState state_;
};

class ScriptedOutput : public MidiOutputPort
{
public:
    explicit ScriptedOutput(std::shared_ptr<ScriptedMidiSystem> s) : sys_(std::move(s))
    {
        std::lock_guard<std::mutex> lock(sys_->mutex_);
        sys_->outputs_.push_back(&state_);
    }
    ~ScriptedOutput() override
    {
        std::lock_guard<std::mutex> lock(sys_->mutex_);
        auto &v = sys_->outputs_;
        v.erase(std::remove(v.begin(), v.end(), &state_), v.end());
    }
    unsigned portCount() override
    {
        std::lock_guard<std::mutex> lock(sys_->mutex_);
        return unsigned(sys_->outputNames_.size());
    }
    std::string portName(unsigned index) override
    {
        std::lock_guard<std::mutex> lock(sys_->mutex_);
        if (index >= sys_->outputNames_.size())
            throw MidiPortError("invalid output port number");
        return sys_->outputNames_[index];
    }
    void open(unsigned index, const std::string &) override
    {
        std::lock_guard<std::mutex> lock(sys_->mutex_);
        if (index >= sys_->outputNames_.size())
            throw MidiPortError("invalid output port number");
        const std::string &name = sys_->outputNames_[index];
        if (sys_->failing_.count(name))
            throw MidiPortError("port busy: " + name);
        if (state_.connected.empty())
            state_.connected = name;
    }
    void close() override
    {
        std::lock_guard<std::mutex> lock(sys_->mutex_);
        state_.connected.clear();
    }
    bool isOpen() const override
    {
        std::lock_guard<std::mutex> lock(sys_->mutex_);
        return !state_.connected.empty();
    }
    void send(const std::vector<uint8_t> &message) override
    {
        std::lock_guard<std::mutex> lock(sys_->mutex_);
        if (state_.connected.empty())
            throw MidiPortError("send on a closed port");
        sys_->sent_.push_back({state_.connected, message, ScriptedMidiSystem::Clock::now()});
    }

private:
    std::shared_ptr<ScriptedMidiSystem> sys_;
    ScriptedMidiSystem::OutputState state_;
};

void ScriptedMidiSystem::setInputPorts(std::vector<std::string> names)
{
    std::lock_guard<std::mutex> lock(mutex_);
    inputNames_ = std::move(names);
}

void ScriptedMidiSystem::setOutputPorts(std::vector<std::string> names)
{
    std::lock_guard<std::mutex> lock(mutex_);
    outputNames_ = std::move(names);
}

void ScriptedMidiSystem::failOpening(const std::string &name)
{
    std::lock_guard<std::mutex> lock(mutex_);
    failing_.insert(name);
}

void ScriptedMidiSystem::failCreating(bool fail)
{
    std::lock_guard<std::mutex> lock(mutex_);
    failCreate_ = fail;
}

int ScriptedMidiSystem::deliver(const std::string &port, const std::vector<uint8_t> &message)
{
    std::vector<MidiInputPort::Callback> targets;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const uint8_t status = message.empty() ? 0 : message[0];
        for (InputState *in : inputs_) {
            if (in->connected != port || !in->callback)
                continue;
            if ((status == 0xF0 && in->ignoreSysex) || (status == 0xF8 && in->ignoreTiming) ||
                (status == 0xFE && in->ignoreSensing))
                continue;
            targets.push_back(in->callback);
        }
    }
    for (auto &cb : targets)
        cb(message);
    return int(targets.size());
}

std::vector<ScriptedMidiSystem::Sent> ScriptedMidiSystem::sent() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return sent_;
}

void ScriptedMidiSystem::clearSent()
{
    std::lock_guard<std::mutex> lock(mutex_);
    sent_.clear();
}

std::vector<std::string> ScriptedMidiSystem::openInputs() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> out;
    for (const InputState *in : inputs_)
        if (!in->connected.empty())
            out.push_back(in->connected);
    return out;
}

std::vector<std::string> ScriptedMidiSystem::openOutputs() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> out;
    for (const OutputState *o : outputs_)
        if (!o->connected.empty())
            out.push_back(o->connected);
    return out;
}

int ScriptedMidiSystem::inputObjects() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return int(inputs_.size());
}

int ScriptedMidiSystem::outputObjects() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return int(outputs_.size());
}

std::unique_ptr<MidiInputPort> ScriptedMidiBackend::createInput(const std::string &, unsigned)
{
    {
        std::lock_guard<std::mutex> lock(system_->mutex_);
        if (system_->failCreate_)
            throw MidiPortError("no MIDI system");
    }
    return std::make_unique<ScriptedInput>(system_);
}

std::unique_ptr<MidiOutputPort> ScriptedMidiBackend::createOutput(const std::string &)
{
    {
        std::lock_guard<std::mutex> lock(system_->mutex_);
        if (system_->failCreate_)
            throw MidiPortError("no MIDI system");
    }
    return std::make_unique<ScriptedOutput>(system_);
}
