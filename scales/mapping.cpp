#include "mapping.h"

#include "scales.h"

#include <QDebug>

namespace {

// Offsets of nodes 1..17 for the 5-, 6- and 12-step scales: {step index, octave offset}.
struct StepRef
{
    int step;
    int offset;
};

const StepRef kFiveSteps[17] = {{2, -12}, {3, -12}, {4, -12}, {0, 0},  {1, 0},  {2, 0},
                                {3, 0},   {4, 0},   {0, 12},  {1, 12}, {2, 12}, {3, 12},
                                {4, 12},  {0, 24},  {1, 24},  {3, 24}, {2, 24}};
const StepRef kSixSteps[17] = {{3, -12}, {4, -12}, {5, -12}, {0, 0},  {1, 0},  {2, 0},
                               {3, 0},   {4, 0},   {5, 0},   {0, 12}, {1, 12}, {2, 12},
                               {3, 12},  {4, 12},  {5, 12},  {1, 24}, {0, 24}};
const StepRef kTwelveSteps[17] = {{9, -12}, {10, -12}, {11, -12}, {0, 0},  {1, 0}, {2, 0},
                                  {3, 0},   {4, 0},    {5, 0},    {6, 0},  {7, 0}, {8, 0},
                                  {9, 0},   {10, 0},   {11, 0},   {1, 12}, {0, 12}};

} // namespace

void generateMapping(KorvaneSensorsState &map, bool vesko)
{
    qDebug() << "creating scale";
    if (map.nodes.size() < static_cast<size_t>(kSensorCount))
        return; // a map always holds 24 nodes; never write past a short list
    const ScaleInfo scale = Scales::getScale(map.scale);
    map.scaleLength = scale.count;
    map.scaleSteps.fill(0);
    for (int j = 0; j < scale.count && j < 12; ++j)
        map.scaleSteps[j] = static_cast<uint8_t>(scale.steps[j]);

    const int k = map.key > 5 ? map.key - 12 : map.key;
    const int base = 12 * (map.octave + 1) + k;
    const std::vector<int> &s = scale.steps;

    if (scale.count == 7) {
        for (int p = 0; p < 23; ++p) {
            const int degree = (p + 4) % 7;
            const int offset = (p % 7) < 3 ? 12 * (p / 7) - 12 : 12 * (p / 7);
            map.nodes[p + 1].note = base + s[degree] + offset;
        }
        std::swap(map.nodes[16].note, map.nodes[17].note);
    } else if (scale.count == 5 || scale.count == 6 || scale.count == 12) {
        const StepRef *table =
            scale.count == 5 ? kFiveSteps : (scale.count == 6 ? kSixSteps : kTwelveSteps);
        map.nodes[0].type = NodeAction;
        map.nodes[0].action = ActionTransposeUp;
        for (int n = 1; n <= 17; ++n)
            map.nodes[n].note = base + s[table[n - 1].step] + table[n - 1].offset;
    }

    if (vesko)
        applyVeskoLayout(map);
}

void applyVeskoLayout(KorvaneSensorsState &map)
{
    qDebug() << "vesko konffaus!";
    if (map.nodes.size() < static_cast<size_t>(kSensorCount))
        return;
    int c[12];
    for (int i = 0; i < 12; ++i)
        c[i] = map.nodes[i].note;
    auto asNote = [&](int node, int note) {
        map.nodes[node].type = NodeNote;
        map.nodes[node].note = note;
    };
    auto asAction = [&](int node, int action) {
        map.nodes[node].type = NodeAction;
        map.nodes[node].action = action;
    };
    asAction(0, ActionTransposeUp);
    asNote(1, c[4]);
    asNote(2, c[11]);
    asNote(3, c[10] - 1);
    asNote(4, c[10]);
    asNote(5, c[9] - 1);
    asNote(6, c[9]);
    asAction(7, ActionOctaveUp);
    asNote(8, c[8]);
    asAction(9, ActionOctaveDown);
    asNote(10, c[7]);
    asNote(11, c[8] - 1);
    asNote(12, c[6]);
    asNote(13, c[6] - 1);
    asNote(14, c[5]);
    asAction(15, ActionTransposeDown);
}
