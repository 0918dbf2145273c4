#include "recordinganalysis.h"

#include <algorithm>
#include <cmath>

#include <samplerate.h>

void splitRadixInverseRealFft(double *x, std::size_t size)
{
    const long n = long(size);
    if (n < 2)
        return;
    const double sqrt2 = std::sqrt(2.0);
    long n1 = n - 1;
    long n2 = n << 1;

    // L-shaped butterflies, from length n down to length 4. Within a stage every butterfly
    // works on its own elements, so each block is finished (its first butterfly, then those
    // with twiddles) before the next one starts: the same arithmetic as stage-wide sweeps,
    // but a block stays in the cache instead of being swept through once per twiddle.
    std::vector<double> twiddles;
    for (long k = n; k > 2; k >>= 1) {
        long id = n2;
        n2 >>= 1;
        const long n4 = n2 >> 2;
        const long n8 = n4 >> 1;
        const double e = 2.0 * M_PI / double(n2);
        twiddles.resize(size_t(4 * (n8 + 1)));
        for (long j = 2; j <= n8; ++j) {
            const double a = double(j - 1) * e;
            double *w = twiddles.data() + 4 * j;
            w[0] = std::cos(a);
            w[1] = std::sin(a);
            w[2] = std::cos(3.0 * a);
            w[3] = std::sin(3.0 * a);
        }
        long i1 = 0;
        do {
            for (; i1 < n; i1 += id) {
                long i2 = i1 + n4;
                long i3 = i2 + n4;
                long i4 = i3 + n4;
                double t1 = x[i1] - x[i3];
                x[i1] += x[i3];
                x[i2] *= 2.0;
                x[i3] = t1 - 2.0 * x[i4];
                x[i4] = t1 + 2.0 * x[i4];
                if (n4 != 1) {
                    const long i0 = i1 + n8;
                    i2 += n8;
                    i3 += n8;
                    i4 += n8;
                    t1 = (x[i2] - x[i0]) / sqrt2;
                    const double t2 = (x[i4] + x[i3]) / sqrt2;
                    x[i0] += x[i2];
                    x[i2] = x[i4] - x[i3];
                    x[i3] = 2.0 * (-t2 - t1);
                    x[i4] = 2.0 * (-t2 + t1);
                }
                const long i = i1;
                for (long j = 2; j <= n8; ++j) {
                    const double *w = twiddles.data() + 4 * j;
                    const double cc1 = w[0];
                    const double ss1 = w[1];
                    const double cc3 = w[2];
                    const double ss3 = w[3];
                    const long j1 = i + j - 1;
                    const long j2 = j1 + n4;
                    const long j3 = j2 + n4;
                    const long j4 = j3 + n4;
                    const long j5 = i + n4 - j + 1;
                    const long j6 = j5 + n4;
                    const long j7 = j6 + n4;
                    const long j8 = j7 + n4;
                    double u1 = x[j1] - x[j6];
                    x[j1] += x[j6];
                    double u2 = x[j5] - x[j2];
                    x[j5] += x[j2];
                    const double u3 = x[j8] + x[j3];
                    x[j6] = x[j8] - x[j3];
                    double u4 = x[j4] + x[j7];
                    x[j2] = x[j4] - x[j7];
                    const double u5 = u1 - u4;
                    u1 += u4;
                    u4 = u2 - u3;
                    u2 += u3;
                    x[j3] = u5 * cc1 + u4 * ss1;
                    x[j7] = -u4 * cc1 + u5 * ss1;
                    x[j4] = u1 * cc3 - u2 * ss3;
                    x[j8] = u2 * cc3 + u1 * ss3;
                }
            }
            id <<= 1;
            i1 = id - n2;
            id <<= 1;
        } while (i1 < n1);
    }

    // Length-2 butterflies.
    long i0 = 0;
    long id = 4;
    do {
        for (; i0 < n1; i0 += id) {
            const long i1 = i0 + 1;
            const double t1 = x[i0];
            x[i0] = t1 + x[i1];
            x[i1] = t1 - x[i1];
        }
        id <<= 1;
        i0 = id - 2;
        id <<= 1;
    } while (i0 < n1);

    // Bit-reversal permutation.
    for (long i = 0, j = 0; i < n1; ++i) {
        if (i < j)
            std::swap(x[i], x[j]);
        long k = n >> 1;
        while (k <= j) {
            j -= k;
            k >>= 1;
        }
        j += k;
    }
}

RecordingCut cutRecording(const std::vector<double> &input)
{
    const int windowSize = 1024;
    const int n = int(input.size());
    RecordingCut cut;
    cut.levels.resize(input.size());
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
        cut.taken = input;
    if (!endFound)
        cut.end = n - 1;
    return cut;
}

FrequencyEstimate estimateFrequency(const std::vector<StereoFrame> &frames, double sampleRate)
{
    FrequencyEstimate est;
    const std::size_t n = frames.size();
    std::size_t size = 1;
    while (size < n)
        size <<= 1;
    std::vector<double> x(size, 0.0);
    for (std::size_t k = 0; k < n; ++k)
        x[k] = (double(frames[k][0]) + double(frames[k][1])) * 0.5;
    // The time signal goes in as it is, read as a half-complex spectrum.
    splitRadixInverseRealFft(x.data(), size);

    const std::size_t m = std::size_t(std::lround(double(size) * 0.5));
    est.transformSize = int(size);
    est.magnitudes.resize(m);
    for (std::size_t k = 0; k < m; ++k) {
        est.magnitudes[k] = std::fabs(x[k]);
        est.maxValue = std::max(est.maxValue, est.magnitudes[k]);
    }
    if (m == 0)
        return est;

    // The lowest bin among the fifty strongest.
    // Bins below 20 Hz are left out: the transform's first bins carry the recording's
    // offset and the uneven halves, not a pitch (they made short low notes read as 0 Hz).
    const std::size_t lowest =
        std::min(m - 1, std::size_t(std::ceil(20.0 * double(size) / sampleRate)));
    std::vector<int> order;
    order.reserve(m - lowest);
    for (std::size_t k = lowest; k < m; ++k)
        order.push_back(int(k));
    const std::size_t top = std::min<std::size_t>(50, order.size());
    const auto &mag = est.magnitudes;
    std::nth_element(order.begin(), order.begin() + long(top - 1), order.end(),
                     [&mag](int a, int b) { return mag[size_t(a)] > mag[size_t(b)]; });
    order.resize(top);
    std::sort(order.begin(), order.end());
    // The lowest of them lies on the flank of the lowest strong partial, below its peak by
    // the spread of the cut's sidelobes (up to two semitones). The partial's strong bins
    // form a cluster: take the cluster's strongest bin.
    // The cut sits at the end of each half the transform reads (cosine part, then sine part),
    // so the sidelobes are spaced by the transform size over the shorter real segment.
    std::size_t segment = std::min(n, size / 2);
    if (n > size / 2 && n - size / 2 >= n / 8)
        segment = n - size / 2;
    const double sidelobeSpacing = segment ? double(size) / double(segment) : 1.0;
    const int gap = std::max(4, int(std::ceil(4.0 * sidelobeSpacing)));
    int b = order[0];
    for (std::size_t i = 1; i < order.size() && order[i] - order[i - 1] <= gap; ++i)
        if (mag[size_t(order[i])] > mag[size_t(b)])
            b = order[i];
    est.peakIndex = b;
    est.frequency = est.peakIndex * sampleRate / double(size);
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
