#include "audiobackend.h"

#include <algorithm>

bool OfflineAudioBackend::open(const AudioStreamRequest &request, AudioStreamClient *client,
                               AudioStreamInfo &info)
{
    info.api = "offline";
    if (failToOpen_) {
        info.error = "offline stream refused to open";
        return false;
    }
    client_ = client;
    channels_ = request.channels;
    blockFrames_ = request.bufferFrames ? request.bufferFrames : 512;
    info.outputDevice = "offline output";
    info.inputDevice = withInput_ ? "offline input" : "";
    info.sampleRate = serverRate_ ? serverRate_ : request.sampleRate;
    info.bufferFrames = blockFrames_;
    running_.store(true);
    return true;
}

void OfflineAudioBackend::close()
{
    running_.store(false);
}

bool OfflineAudioBackend::process(double *out, const double *in, unsigned frames)
{
    if (!running_.load())
        return false;
    client_->processAudio(out, withInput_ ? in : nullptr, frames);
    return true;
}

std::vector<double> OfflineAudioBackend::run(unsigned frames, const std::vector<double> &input)
{
    std::vector<double> out(size_t(frames) * channels_, 0.0);
    std::vector<double> in(size_t(blockFrames_) * channels_, 0.0);
    for (unsigned done = 0; done < frames;) {
        const unsigned n = std::min(blockFrames_, frames - done);
        const size_t from = size_t(done) * channels_;
        std::fill(in.begin(), in.end(), 0.0);
        if (from < input.size())
            std::copy(input.begin() + long(from),
                      input.begin() + long(std::min(input.size(), from + n * channels_)),
                      in.begin());
        if (!process(out.data() + from, in.data(), n))
            break;
        done += n;
    }
    return out;
}
