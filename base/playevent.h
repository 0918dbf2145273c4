// One thing the device played (note on, note off, or a controller/pressure/bend change), as
// the MIDI input thread hands it to the sampler. Plain data: it travels through a lock-free
// queue between threads.
#pragma once

struct KorvanePlayEvent
{
    enum Kind : int
    {
        NoteOn,
        NoteOff,
        Change,
    };
    int kind = NoteOn;
    int channel = 0;
    int note = 0;  // the note, or the controller number for a change
    int value = 0; // velocity or controller value
    int type = 0;  // the change type (MidiChange's type codes)
};
