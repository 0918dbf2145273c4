// Analysis of a finished recording: cutting off the silence before and after the sound,
// estimating the pitch from a spectrum, normalising. Plain C++, runs on the GUI thread.
#pragma once

#include "samplervoice.h"

#include <cstddef>
#include <vector>

// In-place split-radix inverse real FFT (Sorensen, Jones, Heideman and Burrus, 1987).
// Input: re(0), re(1) .. re(n/2), im(n/2 - 1) .. im(1); output: n real values, not scaled
// by 1/n. n must be a power of two.
void splitRadixInverseRealFft(double *data, std::size_t n);

struct RecordingCut
{
    std::vector<double> levels; // |x| for every input frame
    std::vector<double> taken;  // the frames between onset and end
    int start = 0;              // onset frame; 0 when no onset was found
    int end = 0;                // end frame; n - 1 when no end was found
    bool onsetFound = false;
};

// Finds the onset (the level rises well above the first 1024 frames' mean after the first
// tenth) and the end (the level falls back near it after the first three quarters).
RecordingCut cutRecording(const std::vector<double> &input);

struct FrequencyEstimate
{
    double frequency = 0.0;
    int peakIndex = 0;
    double maxValue = 0.0;
    int transformSize = 0;
    std::vector<double> magnitudes;
};

// Transforms the mono mix zero-padded to a power of two and takes the lowest bin among the
// fifty strongest.
FrequencyEstimate estimateFrequency(const std::vector<StereoFrame> &frames, double sampleRate);

// Scales the frames so that the largest (element 0 + element 1) / 2 becomes 1. Returns false
// and leaves the frames alone when that value is 0 or below (nothing to scale by).
bool normaliseFrames(std::vector<StereoFrame> &frames);

// Mono input recorded at `from` Hz, converted to `to` Hz with libsamplerate (band-limited
// sinc interpolation); the input itself when the rates are equal or the conversion fails.
std::vector<double> convertRate(const std::vector<double> &input, double from, double to);
