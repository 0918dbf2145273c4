// Sampler records shared by the sampler, the audio engine, the instrument files, the hub
// and the sound editor. Plain values.
#pragma once

#include <QList>
#include <QMetaType>
#include <QString>
#include <QVector>

#include <array>
#include <vector>

using StereoFrame = std::array<float, 2>;

struct SamplerSample
{
    std::vector<StereoFrame> frames;
    double baseFrequency = 261.63;
    int loop = 0; // 0 None, 1 Forward, 2 Backward, 3 BackForth
    int loopStart = 0;
    int loopEnd = 0;
    QString name;
    int key = 60;
    int start = 0;
    int id = 0;
    float volume = 1.0f;
};

struct SampleTrigger
{
    int sampleId = 0;
    int loop = 0;
    int loopStart = 0;
    int loopEnd = 0;
    double baseFrequency = 261.63;
    int key = 60;
    int start = 0;
    float volume = 1.0f;
};

struct KorvaneEnvelope
{
    int attack = 5;
    int decay = 20;
    float sustain = 0.9f;
    int release = 20;
};

struct KorvaneSamplerReverb
{
    float room = 0.3f;
    float damp = 0.7f;
    float width = 0.5f;
    float amount = -1.0f;
};

struct KorvaneLayerOverview
{
    QVector<float> points;
    int frameCount = 0;
};

struct KorvaneLayerView
{
    bool valid = false;
    int samplerMode = 0;
    QList<SampleTrigger> triggers;
    QList<KorvaneLayerOverview> overviews;
    QStringList names;
    QList<int> sampleIds;
};

// Everything an instrument file holds, read completely before the sampler is touched.
struct KorvaneInstrument
{
    int samplerMode = 0;
    std::vector<SamplerSample> samples;
    bool hasNextSampleId = false;
    int nextSampleId = 0;
    bool hasEnvelope = false; // envelope read, or defaulted for a file ending after its samples
    bool hasReverb = false;
    KorvaneEnvelope envelope;
    KorvaneSamplerReverb reverb;
    // Read from the file; when writing, whether the volumes block is written.
    bool hasVolumes = false;
    bool hasControllerMode = false;
    int controllerMode = 0;
};

// Spectrum of the last pitch estimate. The pointer is valid only while the signal is delivered.
struct AnalyzeDataView
{
    const double *data = nullptr;
    int size = 0;
    int peakIndex = 0;
    double maxValue = 0.0;
};

// Levels of the last recording. The pointer is valid only while the signal is delivered.
struct RecordView
{
    const double *data = nullptr;
    int size = 0;
    int start = 0;
    int end = 0;
    double scale = 1.0;
};

Q_DECLARE_METATYPE(KorvaneEnvelope)
Q_DECLARE_METATYPE(KorvaneSamplerReverb)
Q_DECLARE_METATYPE(KorvaneLayerView)
Q_DECLARE_METATYPE(AnalyzeDataView)
Q_DECLARE_METATYPE(RecordView)

void registerSamplerMetaTypes();
