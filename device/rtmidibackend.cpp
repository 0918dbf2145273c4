#include "rtmidibackend.h"

#include <atomic>
#include <iostream>
#include <type_traits>

namespace {

// Runs an RtMidi call and turns its errors into ours.
template <class F> auto guard(F f) -> decltype(f())
{
    try {
        return f();
    } catch (const RtMidiError &e) {
        throw MidiPortError(e.getMessage());
    }
}

class RtInput : public MidiInputPort
{
public:
    explicit RtInput(std::unique_ptr<RtMidiIn> in) : in_(std::move(in)) {}
    ~RtInput() override
    {
        try {
            if (installed_)
                in_->cancelCallback();
            in_->closePort();
        } catch (...) {
        }
    }
    unsigned portCount() override
    {
        return guard([&] { return in_->getPortCount(); });
    }
    std::string portName(unsigned index) override
    {
        return guard([&] { return in_->getPortName(index); });
    }
    void open(unsigned index, const std::string &own) override
    {
        guard([&] { in_->openPort(index, own); });
    }
    void close() override
    {
        guard([&] { in_->closePort(); });
    }
    bool isOpen() const override { return in_->isPortOpen(); }
    // The engine installs one callback per input, before the port opens.
    void setCallback(Callback callback) override
    {
        guard([&] {
            if (installed_)
                in_->cancelCallback();
            installed_ = false;
            ready_.store(false);
            callback_ = std::move(callback);
            // The input thread may already run; it reads callback_ only after this store.
            ready_.store(true, std::memory_order_release);
            in_->setCallback(&RtInput::trampoline, this);
            installed_ = true;
        });
    }
    void cancelCallback() override
    {
        guard([&] {
            // The function itself stays until destruction: the input thread may be inside it.
            if (installed_)
                in_->cancelCallback();
            installed_ = false;
        });
    }
    void ignoreTypes(bool sysex, bool timing, bool sensing) override
    {
        guard([&] { in_->ignoreTypes(sysex, timing, sensing); });
    }

private:
    static void trampoline(double, std::vector<unsigned char> *message, void *self)
    {
        auto *in = static_cast<RtInput *>(self);
        if (message && in->ready_.load(std::memory_order_acquire) && in->callback_)
            in->callback_(*message);
    }
    Callback callback_;
    std::atomic<bool> ready_{false};
    bool installed_ = false;
    std::unique_ptr<RtMidiIn> in_; // destroyed first, so no call arrives after callback_ is gone
};

// RtMidi reports through its error callback instead of printing or throwing once one is
// set: a message its driver cannot parse (ALSA refuses a data byte above 127) would otherwise
// only print a warning and return as if it had left.
class RtOutput : public MidiOutputPort
{
public:
    explicit RtOutput(std::unique_ptr<RtMidiOut> out) : out_(std::move(out))
    {
        out_->setErrorCallback(&RtOutput::onError, this);
    }
    unsigned portCount() override
    {
        return checked([&] { return out_->getPortCount(); });
    }
    std::string portName(unsigned index) override
    {
        return checked([&] { return out_->getPortName(index); });
    }
    void open(unsigned index, const std::string &own) override
    {
        checked([&] { out_->openPort(index, own); });
    }
    void close() override
    {
        checked([&] { out_->closePort(); });
    }
    bool isOpen() const override { return out_->isPortOpen(); }
    // Any report during a send, warnings included, means the message did not leave.
    void send(const std::vector<uint8_t> &message) override
    {
        checked([&] { out_->sendMessage(message.data(), message.size()); }, true);
    }

private:
    static void onError(RtMidiError::Type type, const std::string &text, void *self)
    {
        auto *out = static_cast<RtOutput *>(self);
        if (type == RtMidiError::DEBUG_WARNING)
            return;
        if (type == RtMidiError::WARNING && !out->warningsFail_) {
            std::cerr << text << std::endl; // what RtMidi itself does with a warning
            return;
        }
        if (out->report_.empty())
            out->report_ = text;
    }
    // Runs an RtMidi call and throws what its callback reported. Calls on one output come
    // from one thread at a time (the engine holds its port lock).
    template <class F> auto checked(F f, bool warningsFail = false) -> decltype(f())
    {
        report_.clear();
        warningsFail_ = warningsFail;
        auto finish = [this] {
            warningsFail_ = false;
            if (!report_.empty())
                throw MidiPortError(report_);
        };
        if constexpr (std::is_void_v<decltype(f())>) {
            guard(f);
            finish();
        } else {
            auto result = guard(f);
            finish();
            return result;
        }
    }

    std::string report_;
    bool warningsFail_ = false;
    std::unique_ptr<RtMidiOut> out_;
};

} // namespace

std::unique_ptr<MidiInputPort> RtMidiBackend::createInput(const std::string &clientName,
                                                          unsigned queueLimit)
{
    std::lock_guard<std::mutex> lock(mutex_);
    auto make = [&](RtMidi::Api api) { return new RtMidiIn(api, clientName, queueLimit); };
    std::unique_ptr<RtMidiIn> in =
        api_ == RtMidi::UNSPECIFIED ? createWithFallback<RtMidiIn>(make)
                                    : guard([&] { return std::unique_ptr<RtMidiIn>(make(api_)); });
    api_ = in->getCurrentApi();
    return std::make_unique<RtInput>(std::move(in));
}

std::unique_ptr<MidiOutputPort> RtMidiBackend::createOutput(const std::string &clientName)
{
    std::lock_guard<std::mutex> lock(mutex_);
    auto make = [&](RtMidi::Api api) { return new RtMidiOut(api, clientName); };
    std::unique_ptr<RtMidiOut> out =
        api_ == RtMidi::UNSPECIFIED ? createWithFallback<RtMidiOut>(make)
                                    : guard([&] { return std::unique_ptr<RtMidiOut>(make(api_)); });
    api_ = out->getCurrentApi();
    return std::make_unique<RtOutput>(std::move(out));
}
