// Analysis of a finished recording: cutting off the silence before and after the sound,
// estimating the pitch from a spectrum, normalising. Plain C++, runs on the GUI thread.
#pragma once

#include "samplervoice.h"

#include <cstddef>
#include <new>
#include <utility>
#include <vector>

// The analysis's large buffers come from a small cache of blocks kept by each thread: a
// recording after the first reuses the memory of the one before instead of mapping new pages
// and faulting them in (slow on virtual machines).
namespace analysisbuffers {
void *take(std::size_t bytes);
void give(void *block, std::size_t bytes) noexcept;
} // namespace analysisbuffers

template <class T> struct AnalysisAllocator
{
    using value_type = T;
    AnalysisAllocator() = default;
    template <class U> AnalysisAllocator(const AnalysisAllocator<U> &) noexcept {}
    T *allocate(std::size_t n) { return static_cast<T *>(analysisbuffers::take(n * sizeof(T))); }
    void deallocate(T *p, std::size_t n) noexcept { analysisbuffers::give(p, n * sizeof(T)); }
    // A resize leaves new elements uninitialised: the analysis writes each before reading it.
    template <class U> void construct(U *p) noexcept { ::new (static_cast<void *>(p)) U; }
    template <class U, class... A> void construct(U *p, A &&...args)
    {
        ::new (static_cast<void *>(p)) U(std::forward<A>(args)...);
    }
    template <class U> bool operator==(const AnalysisAllocator<U> &) const { return true; }
    template <class U> bool operator!=(const AnalysisAllocator<U> &) const { return false; }
};
using AnalysisVector = std::vector<double, AnalysisAllocator<double>>;

// The fundamental frequency of a mono sound, in Hz (0 when there is none to find): YIN's
// cumulative mean normalised difference, summed over the frames from the loudest on.
double estimatePitch(const double *x, std::size_t n, double sampleRate);

struct RecordingCut
{
    AnalysisVector levels; // |x| for every input frame
    AnalysisVector taken;  // the frames between onset and end
    int start = 0;         // onset frame; 0 when no onset was found
    int end = 0;           // end frame; n - 1 when no end was found
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
    AnalysisVector magnitudes;
};

// Estimates the pitch of the mono mix (estimatePitch) and transforms the mix zero-padded to a
// power of two for the spectrum view, whose peakIndex is the bin nearest the estimate.
FrequencyEstimate estimateFrequency(const std::vector<StereoFrame> &frames, double sampleRate);

// Scales the frames so that the largest (element 0 + element 1) / 2 becomes 1. Returns false
// and leaves the frames alone when that value is 0 or below (nothing to scale by).
bool normaliseFrames(std::vector<StereoFrame> &frames);

// Mono input recorded at `from` Hz, converted to `to` Hz with libsamplerate (band-limited
// sinc interpolation); the input itself when the rates are equal or the conversion fails.
std::vector<double> convertRate(const std::vector<double> &input, double from, double to);
