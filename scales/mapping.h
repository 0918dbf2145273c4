// Writes the sensors' notes of a map from its key, octave and scale.
#pragma once

#include "base/korvanerecords.h"

// Regenerates the notes of map from map.key, map.octave and map.scale; also sets
// scaleSteps and scaleLength. With vesko, applies the vesko sensor layout afterwards.
void generateMapping(KorvaneSensorsState &map, bool vesko);
// The vesko device's layout, applied to the notes as they stand.
void applyVeskoLayout(KorvaneSensorsState &map);
