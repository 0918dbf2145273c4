// The device's notes, controllers and pressure go from the MIDI input thread straight to the
// sampler: each waits in the audio engine's lock-free queue for the stream callback's next
// block, whatever the GUI thread is doing.
#pragma once

class KorvaneMidiEngine;
class KorvaneAudioEngine;

// Routes the engine's play events into audio's queue; audio must outlive the route, which
// unrouteDevicePlay() ends.
void routeDevicePlay(KorvaneMidiEngine &midi, KorvaneAudioEngine &audio);
void unrouteDevicePlay(KorvaneMidiEngine &midi);
