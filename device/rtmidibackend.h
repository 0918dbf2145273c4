// MIDI ports through RtMidi. The system's default API is tried first; when it cannot start
// (for example no ALSA sequencer) the next compiled API is used (JACK).
#pragma once

#include "midiportbackend.h"

#include <rtmidi/RtMidi.h>

#include <mutex>

class RtMidiBackend : public MidiPortBackend
{
public:
    std::unique_ptr<MidiInputPort> createInput(const std::string &clientName,
                                               unsigned queueLimit) override;
    std::unique_ptr<MidiOutputPort> createOutput(const std::string &clientName) override;

    // Creates an RtMidi object with the first API that starts; throws MidiPortError when none
    // does. Make is called with an RtMidi::Api and returns a new object.
    template <class T, class Make> static std::unique_ptr<T> createWithFallback(Make make);

private:
    std::mutex mutex_;
    RtMidi::Api api_ = RtMidi::UNSPECIFIED; // the API that worked first, reused afterwards
};

template <class T, class Make> std::unique_ptr<T> RtMidiBackend::createWithFallback(Make make)
{
    std::string errors;
    try {
        return std::unique_ptr<T>(make(RtMidi::UNSPECIFIED));
    } catch (const RtMidiError &e) {
        errors = e.getMessage();
    }
    std::vector<RtMidi::Api> apis;
    RtMidi::getCompiledApi(apis);
    for (RtMidi::Api api : apis) {
        try {
            return std::unique_ptr<T>(make(api));
        } catch (const RtMidiError &e) {
            errors += "; " + e.getMessage();
        }
    }
    throw MidiPortError("no MIDI system could be started: " + errors);
}
