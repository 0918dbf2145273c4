// The audio engine's state, shared by its stream part (korvaneaudioengine.cpp) and its
// recording part (korvaneaudiorecorder.cpp). Private to the engine.
#pragma once

#include "audiobackend.h"
#include "korvaneaudioengine.h"
#include "korvanesampler.h"
#include "spscring.h"

#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <thread>

struct KorvaneAudioEngine::Private : public AudioStreamClient
{
    static constexpr int renderChunk = 128;
    static constexpr int inputRingFrames = 1 << 18; // about six seconds of input between drains

    explicit Private(KorvaneAudioEngine *q, std::unique_ptr<AudioBackend> b)
        : q(q), sampler(44100.0), inputRing(inputRingFrames), backend(std::move(b))
    {
    }

    // Stream thread: record input, measure its level, render the sampler.
    void processAudio(double *out, const double *in, unsigned frames) noexcept override
    {
        if (in) {
            double sum = 0.0;
            const bool capture = capturing.load(std::memory_order_acquire);
            for (unsigned i = 0; i < frames; ++i) {
                const double mono = (in[2 * i] + in[2 * i + 1]) * 0.5;
                sum += std::fabs(mono);
                if (capture)
                    inputRing.push(mono);
            }
            level.store(float(frames ? sum / frames : 0.0), std::memory_order_relaxed);
        }
        if (mute.load(std::memory_order_relaxed)) {
            sampler.takePostedEvents(); // the device's notes still reach their voices
            std::fill(out, out + size_t(frames) * 2, 0.0);
            return;
        }
        StereoFrame chunk[renderChunk];
        for (unsigned done = 0; done < frames;) {
            const int n = int(std::min<unsigned>(renderChunk, frames - done));
            sampler.render(chunk, n);
            for (int i = 0; i < n; ++i) {
                // The frame's elements go out crossed: element 1 on channel 0.
                out[2 * (done + i)] = chunk[i][1];
                out[2 * (done + i) + 1] = chunk[i][0];
            }
            done += unsigned(n);
        }
    }

    void process(int note);
    int keyForNewSample(int note);
    // The sampler renders at the stream's rate (0: the stream did not open, keep the
    // requested one).
    void followStream(unsigned rate)
    {
        streamRate = rate ? double(rate) : double(requestedRate);
        if (sampler.sampleRate() != streamRate)
            sampler.setSampleRate(streamRate);
    }
    int recordLimit() const { return int(std::lround(streamRate * 12.0)); }
    void stopCapture()
    {
        capturing.store(false, std::memory_order_release);
        drainTimer.stop();
    }
    QString milliseconds(int frames) const
    {
        return QString::number(std::lround(frames * 1000.0 / streamRate));
    }

    KorvaneAudioEngine *q;
    KorvaneSampler sampler;
    SpscRing<double> inputRing;
    std::atomic<bool> mute{false};
    std::atomic<bool> capturing{false};
    std::atomic<float> level{0.0f};

    // GUI thread only.
    static constexpr double fileRate = SamplerVoice::fileRate;
    int requestedRate = 44100;
    double streamRate = 44100.0; // of the input in recordBuffer too
    float inputThreshold = 0.0f;
    bool recording = false;
    int recordedFrames = 0;
    std::vector<double> recordBuffer;
    int actionRecordNote = -1;
    int recordKeyCounter = 0;
    KorvaneSensorsState map;
    QTimer drainTimer;
    std::vector<double> drainScratch;
    // The stream should run (init succeeded, no close since); lost: it stopped by itself.
    bool streamWanted = false;
    bool streamLost = false;
    QTimer streamCheck;
    // A stream being opened on its own thread: the backend is that thread's until it is
    // joined. An outcome whose number is no longer current was cancelled by close().
    std::thread opener;
    bool opening = false;
    unsigned openNumber = 0;

    // Last, so it is destroyed (and its stream closed) before everything the callback uses.
    std::unique_ptr<AudioBackend> backend;
};
