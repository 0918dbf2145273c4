#include "recordinganalysis.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <mutex>

namespace analysisbuffers {
namespace {

// Blocks below this size come from the heap as usual.
const std::size_t kSmall = 256 * 1024;
// Room for the block's capacity in front of it, keeping the data aligned.
const std::size_t kHeader = 64;

struct Cache
{
    static const int kBlocks = 4;
    char *blocks[kBlocks] = {};
    ~Cache()
    {
        for (char *b : blocks)
            ::operator delete(b);
    }
};

Cache &cache()
{
    thread_local Cache c;
    return c;
}

std::size_t capacityOf(const char *block)
{
    return *reinterpret_cast<const std::size_t *>(block);
}

} // namespace

void *take(std::size_t bytes)
{
    if (bytes < kSmall)
        return ::operator new(bytes);
    // The smallest cached block that holds the request.
    Cache &c = cache();
    int fit = -1;
    for (int i = 0; i < Cache::kBlocks; ++i)
        if (c.blocks[i] && capacityOf(c.blocks[i]) >= bytes &&
            (fit < 0 || capacityOf(c.blocks[i]) < capacityOf(c.blocks[fit])))
            fit = i;
    char *block = nullptr;
    if (fit >= 0) {
        block = c.blocks[fit];
        c.blocks[fit] = nullptr;
    } else {
        block = static_cast<char *>(::operator new(bytes + kHeader));
        *reinterpret_cast<std::size_t *>(block) = bytes;
    }
    return block + kHeader;
}

void give(void *data, std::size_t bytes) noexcept
{
    if (!data)
        return;
    if (bytes < kSmall) {
        ::operator delete(data);
        return;
    }
    char *block = static_cast<char *>(data) - kHeader;
    // Kept in a free slot, or in place of the smallest block when that is smaller.
    Cache &c = cache();
    int slot = 0;
    for (int i = 0; i < Cache::kBlocks; ++i) {
        if (!c.blocks[i]) {
            slot = i;
            break;
        }
        if (capacityOf(c.blocks[i]) < capacityOf(c.blocks[slot]))
            slot = i;
    }
    if (c.blocks[slot] && capacityOf(c.blocks[slot]) >= capacityOf(block)) {
        ::operator delete(block);
        return;
    }
    ::operator delete(c.blocks[slot]);
    c.blocks[slot] = block;
}

} // namespace analysisbuffers

#include <samplerate.h>

RecordingCut cutRecording(const std::vector<double> &input)
{
    const int windowSize = 1024;
    const int n = int(input.size());
    RecordingCut cut;
    cut.levels.resize(input.size());
    cut.taken.reserve(input.size());
    const long onsetAfter = std::lround(0.1 * n);
    const long endAfter = std::lround(0.75 * n);

    std::vector<double> window(windowSize, 0.0);
    int slot = 0;
    double sum = 0.0;
    double baseline = 0.0;
    bool endFound = false;
    for (int i = 0; i < n; ++i) {
        const double a = std::fabs(input[i]);
        cut.levels[i] = a;
        // Running sum of the last 1024 levels; rounding drift is bounded by summing the
        // window afresh each time it wraps, and a sum below zero is only drift.
        const double avg = std::max(sum, 0.0) * 0.0009765625;
        if (i <= windowSize) {
            baseline = avg;
        } else {
            const double ratio = baseline / avg;
            if (!cut.onsetFound) {
                if (i > onsetAfter && ratio < 0.2) {
                    cut.onsetFound = true;
                    cut.start = i;
                    cut.taken.push_back(input[i]);
                }
            } else if (ratio > 0.8 && i > endAfter && !endFound) {
                endFound = true;
                cut.end = i;
            } else if (!endFound) {
                cut.taken.push_back(input[i]);
            }
        }
        sum += a - window[slot];
        window[slot] = a;
        if (++slot == windowSize) {
            slot = 0;
            sum = 0.0;
            for (double w : window)
                sum += w;
        }
    }
    if (!cut.onsetFound && n > 0)
        cut.taken.assign(input.begin(), input.end());
    if (!endFound)
        cut.end = n - 1;
    return cut;
}

namespace {

// FFTW plans, made once per size and kind. Making a plan is not thread-safe in FFTW (running
// one is), and the import worker estimates while the window thread may record.
std::mutex planMutex;

fftw_plan planFor(int size, fftw_r2r_kind kind, double *buffer)
{
    static std::map<std::pair<int, int>, fftw_plan> plans;
    std::lock_guard<std::mutex> lock(planMutex);
    fftw_plan &p = plans[{size, int(kind)}];
    if (!p)
        p = fftw_plan_r2r_1d(size, buffer, buffer, kind, FFTW_ESTIMATE);
    return p;
}

// A buffer that grows and is kept for the thread's life: a recording after the first touches
// no new memory.
struct FftwBuffer
{
    double *data = nullptr;
    std::size_t size = 0;
    ~FftwBuffer() { fftw_free(data); }
    double *reserve(std::size_t n)
    {
        if (n > size) {
            fftw_free(data);
            data = fftw_alloc_real(n);
            size = n;
        }
        return data;
    }
};

struct Workspace
{
    FftwBuffer transform; // the whole-sample transform
    FftwBuffer a, b;      // the pitch stage's correlation
    std::vector<double> diff, prefix, energies;
};

Workspace &workspace()
{
    thread_local Workspace w;
    return w;
}

// The difference function of YIN (de Cheveigné and Kawahara, 2002) summed over frames t:
// d(tau) = sum over j < w of (x[t + j] - x[t + j + tau])^2, from the cross-correlation
// computed by FFT and the frames' energies.
void addDifference(const double *x, std::size_t w, int maxLag, std::size_t fftSize, Workspace &ws,
                   std::vector<double> &diff)
{
    const std::size_t span = w + std::size_t(maxLag);
    double *a = ws.a.reserve(fftSize);
    double *b = ws.b.reserve(fftSize);
    std::copy(x, x + w, a);
    std::fill(a + w, a + fftSize, 0.0);
    std::copy(x, x + span, b);
    std::fill(b + span, b + fftSize, 0.0);
    fftw_execute_r2r(planFor(int(fftSize), FFTW_R2HC, a), a, a);
    fftw_execute_r2r(planFor(int(fftSize), FFTW_R2HC, b), b, b);
    // conj(A) B in half-complex order.
    const std::size_t half = fftSize / 2;
    b[0] *= a[0];
    b[half] *= a[half];
    for (std::size_t k = 1; k < half; ++k) {
        const double ar = a[k], ai = a[fftSize - k], br = b[k], bi = b[fftSize - k];
        b[k] = ar * br + ai * bi;
        b[fftSize - k] = ar * bi - ai * br;
    }
    fftw_execute_r2r(planFor(int(fftSize), FFTW_HC2R, b), b, b);
    const double scale = 1.0 / double(fftSize);

    std::vector<double> &prefix = ws.prefix;
    prefix.resize(span + 1);
    prefix[0] = 0.0;
    for (std::size_t j = 0; j < span; ++j)
        prefix[j + 1] = prefix[j] + x[j] * x[j];
    const double e0 = prefix[w];
    for (int tau = 0; tau <= maxLag; ++tau) {
        const double et = prefix[w + std::size_t(tau)] - prefix[std::size_t(tau)];
        diff[std::size_t(tau)] += std::max(0.0, e0 + et - 2.0 * b[tau] * scale);
    }
}

} // namespace

double estimatePitch(const double *x, std::size_t n, double sampleRate)
{
    // From 25 Hz (below a piano's A0 is a bass's low B) to 5 kHz (above a piccolo's top).
    int maxLag = int(std::ceil(sampleRate / 25.0));
    const int minLag = std::max(2, int(sampleRate / 5000.0));
    maxLag = std::min<long>(maxLag, long(n / 2) - 1);
    if (maxLag < minLag + 2)
        return 0.0;
    const std::size_t w = std::size_t(maxLag);
    const std::size_t span = w + std::size_t(maxLag);
    std::size_t fftSize = 1;
    while (fftSize < span)
        fftSize <<= 1;
    Workspace &ws = workspace();

    // The frames to look at: from the loudest one on, while the sound stays within 26 dB of
    // it. The loudest frame follows the attack; the sound after it is the steady part.
    const std::size_t hop = std::max<std::size_t>(w / 2, 64);
    const std::size_t frames = (n - span) / hop + 1;
    // A frame's energy from those of the four hops it spans (about its length).
    std::vector<double> &energies = ws.energies;
    const std::size_t hops = (n + hop - 1) / hop; // the last one may be short
    energies.assign(hops, 0.0);
    for (std::size_t h = 0; h < hops; ++h) {
        double e = 0.0;
        for (std::size_t j = h * hop; j < std::min(n, (h + 1) * hop); ++j)
            e += x[j] * x[j];
        energies[h] = e;
    }
    std::size_t loudest = 0;
    for (std::size_t f = 0; f < frames; ++f) {
        double e = 0.0;
        for (std::size_t h = f; h < std::min(hops, f + 4); ++h)
            e += energies[h];
        energies[f] = e; // the hops of frame f are not read again
        if (e > energies[loudest])
            loudest = f;
    }
    if (!(energies[loudest] > 0.0))
        return 0.0;
    std::vector<double> &diff = ws.diff;
    diff.assign(std::size_t(maxLag) + 1, 0.0);
    const int maxFrames = 12;
    int used = 0;
    for (std::size_t f = loudest; f < frames && used < maxFrames; ++f, ++used) {
        if (energies[f] < energies[loudest] * 0.0025)
            break;
        addDifference(x + f * hop, w, maxLag, fftSize, ws, diff);
    }

    // Cumulative mean normalised difference; the first dip below the threshold is the period
    // (the smallest lag that repeats the sound), else the deepest dip.
    std::vector<double> &cmnd = ws.prefix;
    cmnd.assign(std::size_t(maxLag) + 1, 1.0);
    double running = 0.0;
    for (int tau = 1; tau <= maxLag; ++tau) {
        running += diff[std::size_t(tau)];
        cmnd[std::size_t(tau)] = running > 0.0 ? diff[std::size_t(tau)] * tau / running : 1.0;
    }
    // A local minimum at or after tau.
    auto dipFrom = [&](int tau) {
        while (tau < maxLag && cmnd[std::size_t(tau + 1)] < cmnd[std::size_t(tau)])
            ++tau;
        return tau;
    };
    // The deepest dip from lag a to lag b.
    auto deepest = [&](int a, int b) {
        int at = std::max(a, minLag);
        for (int tau = at; tau <= std::min(b, maxLag); ++tau)
            if (cmnd[std::size_t(tau)] < cmnd[std::size_t(at)])
                at = tau;
        return at;
    };
    const double threshold = 0.15;
    int best = -1;
    for (int tau = minLag; tau <= maxLag; ++tau) {
        if (cmnd[std::size_t(tau)] < threshold) {
            // Strings that beat, and the sound's start, split a dip into a few close ones:
            // the deepest within a semitone or so is the period.
            const int first = dipFrom(tau);
            best = deepest(first, first + std::max(2, first / 16));
            break;
        }
    }
    if (best < 0)
        best = deepest(minLag, maxLag);
    // When the fundamental is weak the sound nearly repeats after half its period, but it
    // repeats far better after the whole one: take the double while it is much deeper (and
    // the half is no clean repeat itself).
    for (;;) {
        const int twice = 2 * best;
        if (twice + 2 > maxLag)
            break;
        const int candidate =
            deepest(twice - std::max(2, best / 16), twice + std::max(2, best / 16));
        if (cmnd[std::size_t(best)] > 0.05 &&
            cmnd[std::size_t(candidate)] < 0.25 * cmnd[std::size_t(best)])
            best = candidate;
        else
            break;
    }
    // And a dip at a half or a third of the lag that is nearly as deep is the period: the
    // deeper multiple comes from the sound's start, or from a partial that wavers.
    for (int k = 3; k >= 2; --k) {
        const int part = best / k;
        const int spread = std::max(1, part / 16);
        if (part - spread < minLag)
            continue;
        const int candidate = deepest(part - spread, part + spread);
        if (candidate > part - spread && candidate < part + spread &&
            cmnd[std::size_t(candidate)] < 3.0 * cmnd[std::size_t(best)] &&
            cmnd[std::size_t(candidate)] < 0.3) {
            best = candidate;
            break;
        }
    }
    // A parabola through the dip and its neighbours places it between lags.
    double period = best;
    if (best > minLag && best < maxLag) {
        const double l = cmnd[std::size_t(best - 1)], c = cmnd[std::size_t(best)],
                     r = cmnd[std::size_t(best + 1)];
        const double den = l - 2.0 * c + r;
        if (den > 0.0)
            period += 0.5 * (l - r) / den;
    }
    return sampleRate / period;
}

FrequencyEstimate estimateFrequency(const std::vector<StereoFrame> &frames, double sampleRate)
{
    FrequencyEstimate est;
    const std::size_t n = frames.size();
    std::size_t size = 1;
    while (size < n)
        size <<= 1;
    est.transformSize = int(size);
    if (n == 0)
        return est;
    Workspace &ws = workspace();
    double *x = ws.transform.reserve(std::max<std::size_t>(size, 2));
    for (std::size_t k = 0; k < n; ++k)
        x[k] = (double(frames[k][0]) + double(frames[k][1])) * 0.5;

    // The pitch, from the time signal, before the transform overwrites it.
    est.frequency = estimatePitch(x, n, sampleRate);

    // The spectrum the analysis view shows. The time signal goes in as it is, read as a
    // half-complex spectrum.
    std::fill(x + n, x + size, 0.0);
    if (size >= 2)
        fftw_execute_r2r(planFor(int(size), FFTW_HC2R, x), x, x);
    const std::size_t m = std::size_t(std::lround(double(size) * 0.5));
    est.magnitudes.resize(m);
    for (std::size_t k = 0; k < m; ++k) {
        est.magnitudes[k] = std::fabs(x[k]);
        est.maxValue = std::max(est.maxValue, est.magnitudes[k]);
    }
    // The view marks the bin of the estimate.
    if (m > 0)
        est.peakIndex = int(
            std::min<double>(double(m - 1), std::round(est.frequency * double(size) / sampleRate)));
    return est;
}

bool normaliseFrames(std::vector<StereoFrame> &frames)
{
    float peak = 0.0f;
    for (const StereoFrame &f : frames)
        peak = std::max(peak, (f[0] + f[1]) / 2.0f);
    if (!(peak > 0.0f))
        return false;
    const float scale = 1.0f / peak;
    for (StereoFrame &f : frames) {
        f[0] *= scale;
        f[1] *= scale;
    }
    return true;
}

std::vector<double> convertRate(const std::vector<double> &input, double from, double to)
{
    if (from == to || !(from > 0.0) || !(to > 0.0) || input.empty())
        return input;
    const double ratio = to / from;
    std::vector<float> in(input.begin(), input.end());
    std::vector<float> out(size_t(std::ceil(double(in.size()) * ratio)) + 16);
    SRC_DATA data{};
    data.data_in = in.data();
    data.input_frames = long(in.size());
    data.data_out = out.data();
    data.output_frames = long(out.size());
    data.src_ratio = ratio;
    if (src_simple(&data, SRC_SINC_MEDIUM_QUALITY, 1) != 0)
        return input;
    return std::vector<double>(out.begin(), out.begin() + data.output_frames_gen);
}
