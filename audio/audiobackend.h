// The sound-card stream behind an interface of ours, so the engine runs on RtAudio in the
// program and on a scripted stream in tests.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

struct AudioStreamRequest
{
    unsigned sampleRate = 44100;
    unsigned bufferFrames = 512;
    unsigned channels = 2; // for output and input alike
    std::string clientName = "VARNO Control";
};

// What the backend managed to open, for the log and the status line.
struct AudioStreamInfo
{
    std::string api;
    std::string outputDevice;
    std::string inputDevice; // empty when the stream has no input
    unsigned sampleRate = 0;
    unsigned bufferFrames = 0;
    std::vector<std::string> log; // device lists and every failed attempt
    std::string error;            // why nothing opened
};

class AudioStreamClient
{
public:
    virtual ~AudioStreamClient() = default;
    // Runs on the stream's thread. out: `frames` interleaved frames of `channels` doubles to
    // fill; in: the same layout, or nullptr when the stream has no input.
    virtual void processAudio(double *out, const double *in, unsigned frames) noexcept = 0;
};

class AudioBackend
{
public:
    virtual ~AudioBackend() = default;
    // Opens and starts a stream that calls client; false when nothing could be opened.
    // Never throws.
    virtual bool open(const AudioStreamRequest &request, AudioStreamClient *client,
                      AudioStreamInfo &info) = 0;
    // Stops and closes the stream; the client is not called afterwards.
    virtual void close() = 0;
    virtual bool isRunning() const = 0;
};

// RtAudio: the default API first, then every other compiled one (JACK, PulseAudio, ALSA).
std::unique_ptr<AudioBackend> createRtAudioBackend();

// A stream driven by the caller: process() calls the client as the stream thread would.
// Used by tests and benchmarks; process() may run on another thread than open()/close().
class OfflineAudioBackend : public AudioBackend
{
public:
    explicit OfflineAudioBackend(bool withInput = true, bool failToOpen = false)
        : withInput_(withInput), failToOpen_(failToOpen)
    {
    }
    bool open(const AudioStreamRequest &request, AudioStreamClient *client,
              AudioStreamInfo &info) override;
    void close() override;
    bool isRunning() const override { return running_.load(); }

    // As when the sound server goes away: the stream stops without close().
    void simulateLoss() { running_.store(false); }
    // Whether open() fails from now on.
    void setFailToOpen(bool fail) { failToOpen_ = fail; }
    // As a server that runs at one rate only: streams open at `rate` whatever was asked
    // (0: at the requested rate).
    void setServerRate(unsigned rate) { serverRate_ = rate; }

    // One callback of `frames` frames; in may be nullptr. Returns false while closed.
    bool process(double *out, const double *in, unsigned frames);
    // Runs callbacks of the requested block size until `frames` frames are produced and
    // returns them interleaved; input (interleaved, may be shorter) feeds the stream input.
    std::vector<double> run(unsigned frames, const std::vector<double> &input = {});
    unsigned channels() const { return channels_; }

private:
    bool withInput_;
    bool failToOpen_;
    std::atomic<bool> running_{false};
    AudioStreamClient *client_ = nullptr;
    unsigned channels_ = 2;
    unsigned blockFrames_ = 512;
    unsigned serverRate_ = 0;
};
