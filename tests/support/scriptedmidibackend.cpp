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

// What inputs and outputs share: registration with the system, the port list of their side,
// opening (refused for failing names) and closing.
template <class Base, class State> class ScriptedPort : public Base
{
public:
    using Names = std::vector<std::string> ScriptedMidiSystem::*;
    using States = std::vector<State *> ScriptedMidiSystem::*;
    ScriptedPort(std::shared_ptr<ScriptedMidiSystem> s, Names names, States states)
        : sys_(std::move(s)), names_(names), states_(states)
    {
        std::lock_guard<std::mutex> lock(sys_->mutex_);
        ((*sys_).*states_).push_back(&state_);
        sys_->clientThreads_.push_back(std::this_thread::get_id());
    }
    ~ScriptedPort() override
    {
        std::lock_guard<std::mutex> lock(sys_->mutex_);
        sys_->clientThreads_.push_back(std::this_thread::get_id());
        auto &v = (*sys_).*states_;
        v.erase(std::remove(v.begin(), v.end(), &state_), v.end());
    }
    unsigned portCount() override
    {
        return sys_->locked([&] { return unsigned(((*sys_).*names_).size()); });
    }
    std::string portName(unsigned index) override
    {
        return sys_->locked([&] { return nameAt(index); });
    }
    void open(unsigned index, const std::string &) override
    {
        std::lock_guard<std::mutex> lock(sys_->mutex_);
        const std::string name = nameAt(index);
        if (sys_->failing_.count(name))
            throw MidiPortError("port busy: " + name);
        if (state_.connected.empty())
            state_.connected = name;
    }
    void close() override { sys_->set(state_.connected, {}); }
    bool isOpen() const override
    {
        return sys_->locked([&] { return !state_.connected.empty(); });
    }

protected:
    std::string nameAt(unsigned index) const
    {
        const auto &names = (*sys_).*names_;
        if (index >= names.size())
            throw MidiPortError("invalid port number");
        return names[index];
    }
    std::shared_ptr<ScriptedMidiSystem> sys_;
    Names names_;
    States states_;
    State state_;
};

class ScriptedInput : public ScriptedPort<MidiInputPort, ScriptedMidiSystem::InputState>
{
public:
    explicit ScriptedInput(std::shared_ptr<ScriptedMidiSystem> s)
        : ScriptedPort(std::move(s), &ScriptedMidiSystem::inputNames_, &ScriptedMidiSystem::inputs_)
    {
    }
    void setCallback(Callback cb) override { sys_->set(state_.callback, std::move(cb)); }
    void cancelCallback() override { sys_->set(state_.callback, {}); }
    void ignoreTypes(bool sysex, bool timing, bool sensing) override
    {
        sys_->locked([&] {
            state_.ignoreSysex = sysex;
            state_.ignoreTiming = timing;
            state_.ignoreSensing = sensing;
        });
    }
};

class ScriptedOutput : public ScriptedPort<MidiOutputPort, ScriptedMidiSystem::OutputState>
{
public:
    explicit ScriptedOutput(std::shared_ptr<ScriptedMidiSystem> s)
        : ScriptedPort(std::move(s), &ScriptedMidiSystem::outputNames_,
                       &ScriptedMidiSystem::outputs_)
    {
    }
    void send(const std::vector<uint8_t> &message) override
    {
        std::lock_guard<std::mutex> lock(sys_->mutex_);
        if (state_.connected.empty())
            throw MidiPortError("send on a closed port");
        const bool sysex = !message.empty() && message.front() == 0xF0;
        const size_t first = 1, end = message.size() - (sysex && message.back() == 0xF7 ? 1 : 0);
        for (size_t i = first; sys_->refuseInvalid_ && i < end; ++i)
            if (message[i] > 127)
                throw MidiPortError("RtMidiOut::sendMessage: event parsing error!");
        sys_->sent_.push_back({state_.connected, message, ScriptedMidiSystem::Clock::now()});
    }
};

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

template <class State>
static std::vector<std::string> connectedPorts(const std::vector<State *> &states)
{
    std::vector<std::string> out;
    for (const State *p : states)
        if (!p->connected.empty())
            out.push_back(p->connected);
    return out;
}

std::vector<std::string> ScriptedMidiSystem::openInputs() const
{
    return locked([&] { return connectedPorts(inputs_); });
}

std::vector<std::string> ScriptedMidiSystem::openOutputs() const
{
    return locked([&] { return connectedPorts(outputs_); });
}

int ScriptedMidiSystem::clientChangesOn(std::thread::id thread) const
{
    return locked(
        [&] { return int(std::count(clientThreads_.begin(), clientThreads_.end(), thread)); });
}

void ScriptedMidiBackend::refuseWithoutSystem() const
{
    std::lock_guard<std::mutex> lock(system_->mutex_);
    if (system_->failCreate_)
        throw MidiPortError("no MIDI system");
}

std::unique_ptr<MidiInputPort> ScriptedMidiBackend::createInput(const std::string &, unsigned)
{
    refuseWithoutSystem();
    return std::make_unique<ScriptedInput>(system_);
}

std::unique_ptr<MidiOutputPort> ScriptedMidiBackend::createOutput(const std::string &)
{
    refuseWithoutSystem();
    return std::make_unique<ScriptedOutput>(system_);
}
