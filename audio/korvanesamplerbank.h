// The sampler's immutable sample bank, shared by its source files.
#pragma once

#include "korvanesampler.h"

#include <algorithm>
#include <utility>
#include <vector>

struct KorvaneSampler::Bank
{
    std::vector<Sample> samples;
    std::vector<SampleTrigger> triggers;
    // (id, index) pairs sorted by id, then index: the renderer's lookup.
    std::vector<std::pair<int, int>> byId;

    void reindex()
    {
        byId.clear();
        byId.reserve(samples.size());
        for (size_t i = 0; i < samples.size(); ++i)
            byId.emplace_back(samples[i].id, int(i));
        std::sort(byId.begin(), byId.end());
    }
};
