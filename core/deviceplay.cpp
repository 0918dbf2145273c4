#include "core/deviceplay.h"

#include "audio/korvaneaudioengine.h"
#include "device/korvanemidiengine.h"

void routeDevicePlay(KorvaneMidiEngine &midi, KorvaneAudioEngine &audio)
{
    KorvaneAudioEngine *target = &audio;
    midi.setPlayEventSink([target](const KorvanePlayEvent &e) { target->postPlayEvent(e); });
}

void unrouteDevicePlay(KorvaneMidiEngine &midi)
{
    midi.setPlayEventSink(nullptr);
}
