// The RtAudio stream. RtAudio reports failures by throwing RtAudioError or through the error
// callback; both are caught here, so nothing escapes to the program.
#include "audiobackend.h"

#include <rtaudio/RtAudio.h>

#include <algorithm>
#include <atomic>

namespace {

// Errors reported while a stream is being opened (GUI thread) are collected as text; errors
// later on the stream thread are only counted, so that thread never allocates.
thread_local std::string *openErrors = nullptr;
std::atomic<int> streamErrors{0};

void errorCallback(RtAudioError::Type type, const std::string &text)
{
    if (openErrors) {
        if (type != RtAudioError::WARNING && type != RtAudioError::DEBUG_WARNING)
            *openErrors = text;
        return;
    }
    streamErrors.fetch_add(1, std::memory_order_relaxed);
}

// The input device. PulseAudio lists every output with input channels of its own: its
// monitor, which records what the program plays (PipeWire's PulseAudio interface does the
// same). When the default input is such an output and the list also holds a capture-only
// source, that one.
unsigned captureDevice(RtAudio::Api api, const std::vector<RtAudio::DeviceInfo> &devices,
                       unsigned defaultId)
{
    if (api != RtAudio::LINUX_PULSE || defaultId >= devices.size() ||
        devices[defaultId].outputChannels == 0)
        return defaultId;
    for (unsigned i = 0; i < devices.size(); ++i)
        if (devices[i].probed && devices[i].inputChannels > 0 && devices[i].outputChannels == 0)
            return i;
    return defaultId;
}

class RtAudioBackend : public AudioBackend
{
public:
    ~RtAudioBackend() override { close(); }

    bool open(const AudioStreamRequest &request, AudioStreamClient *client,
              AudioStreamInfo &info) override
    {
        close();
        client_ = client;

        // The default API first, then the other compiled ones in a fixed order.
        std::vector<RtAudio::Api> order{RtAudio::UNSPECIFIED, RtAudio::UNIX_JACK,
                                        RtAudio::LINUX_PULSE, RtAudio::LINUX_ALSA};
        std::vector<RtAudio::Api> compiled;
        RtAudio::getCompiledApi(compiled);
        for (RtAudio::Api api : compiled)
            if (api != RtAudio::RTAUDIO_DUMMY &&
                std::find(order.begin(), order.end(), api) == order.end())
                order.push_back(api);

        std::vector<RtAudio::Api> tried;
        for (RtAudio::Api api : order) {
            if (api != RtAudio::UNSPECIFIED &&
                std::find(compiled.begin(), compiled.end(), api) == compiled.end())
                continue;
            if (tryApi(api, request, info, tried))
                return true;
        }
        if (info.error.empty()) {
            std::string names;
            for (RtAudio::Api api : tried)
                names += (names.empty() ? "" : ", ") + RtAudio::getApiName(api);
            info.error = "no audio devices found (tried " + names + ")";
        }
        return false;
    }

    void close() override
    {
        if (!audio_)
            return;
        try {
            // abortStream: no drain of the last buffers. RtAudio's JACK stopStream waits on a
            // condition with a mutex it never locked (undefined behaviour); an abort skips
            // that wait, and nothing needs the tail at close.
            if (audio_->isStreamRunning())
                audio_->abortStream();
            if (audio_->isStreamOpen())
                audio_->closeStream();
        } catch (const RtAudioError &) {
        }
        audio_.reset();
    }

    bool isRunning() const override { return audio_ && audio_->isStreamRunning(); }

private:
    static int callback(void *out, void *in, unsigned frames, double, RtAudioStreamStatus,
                        void *user)
    {
        auto *self = static_cast<RtAudioBackend *>(user);
        self->client_->processAudio(static_cast<double *>(out), static_cast<const double *>(in),
                                    frames);
        return 0;
    }

    bool tryApi(RtAudio::Api api, const AudioStreamRequest &request, AudioStreamInfo &info,
                std::vector<RtAudio::Api> &tried)
    {
        std::string errors;
        openErrors = &errors;
        const bool ok = tryApiGuarded(api, request, info, tried, errors);
        openErrors = nullptr;
        return ok;
    }

    bool tryApiGuarded(RtAudio::Api api, const AudioStreamRequest &request, AudioStreamInfo &info,
                       std::vector<RtAudio::Api> &tried, std::string &errors)
    {
        std::unique_ptr<RtAudio> audio;
        std::vector<RtAudio::DeviceInfo> devices;
        std::string name = api == RtAudio::UNSPECIFIED ? "default" : RtAudio::getApiName(api);
        try {
            audio = std::make_unique<RtAudio>(api);
            audio->showWarnings(false);
            const RtAudio::Api current = audio->getCurrentApi();
            if (std::find(tried.begin(), tried.end(), current) != tried.end())
                return false;
            tried.push_back(current);
            name = RtAudio::getApiName(current);
            const unsigned count = audio->getDeviceCount();
            info.log.push_back(name + ": " + std::to_string(count) + " devices");
            if (count == 0)
                return false;
            // Each query may cost the sound server a client of its own (JACK, some 25 ms each):
            // the devices are asked once, and the defaults and names come from that list.
            devices.assign(count, RtAudio::DeviceInfo());
            for (unsigned i = 0; i < count; ++i) {
                try {
                    devices[i] = audio->getDeviceInfo(i);
                    info.log.push_back("  " + std::to_string(i) + ": " + devices[i].name);
                } catch (const RtAudioError &) {
                }
            }
        } catch (const RtAudioError &e) {
            info.log.push_back(name + ": " + e.getMessage());
            info.error = name + ": " + e.getMessage();
            return false;
        }

        // The first device marked default, else device 0, as RtAudio itself chooses; asked of
        // RtAudio only when the list could not be read.
        auto defaultDevice = [&](bool output) {
            for (unsigned i = 0; i < devices.size(); ++i)
                if (devices[i].probed &&
                    (output ? devices[i].isDefaultOutput : devices[i].isDefaultInput))
                    return i;
            for (const RtAudio::DeviceInfo &d : devices)
                if (!d.probed)
                    return output ? audio->getDefaultOutputDevice()
                                  : audio->getDefaultInputDevice();
            return 0u;
        };
        unsigned outputId = 0;
        unsigned inputId = 0;
        try {
            outputId = defaultDevice(true);
            inputId = captureDevice(tried.back(), devices, defaultDevice(false));
        } catch (const RtAudioError &e) {
            info.log.push_back(name + ": " + e.getMessage());
            info.error = name + ": " + e.getMessage();
            return false;
        }
        // The requested rate first, then the rate the server runs at (a JACK server takes
        // only its own): the sampler follows the stream's rate.
        std::vector<unsigned> rates{request.sampleRate};
        if (outputId < devices.size()) {
            std::vector<unsigned> offered{devices[outputId].preferredSampleRate};
            offered.insert(offered.end(), devices[outputId].sampleRates.begin(),
                           devices[outputId].sampleRates.end());
            for (unsigned r : offered)
                if (r >= 22050 && r <= 192000 && rates.size() < 3 &&
                    std::find(rates.begin(), rates.end(), r) == rates.end())
                    rates.push_back(r);
        }

        // Duplex first; a machine without an input device still gets sound.
        for (bool duplex : {true, false})
            for (unsigned rate : rates)
                if (openAt(*audio, name, duplex, rate, outputId, inputId, devices, request, info,
                           errors)) {
                    audio_ = std::move(audio);
                    return true;
                }
        return false;
    }

    // One attempt to open and start a stream; on failure the reason goes to the log.
    bool openAt(RtAudio &audio, const std::string &name, bool duplex, unsigned rate,
                unsigned outputId, unsigned inputId,
                const std::vector<RtAudio::DeviceInfo> &devices, const AudioStreamRequest &request,
                AudioStreamInfo &info, std::string &errors)
    {
        const std::string what =
            name + (duplex ? " duplex" : " output") + " at " + std::to_string(rate) + " Hz: ";
        errors.clear();
        try {
            RtAudio::StreamParameters out;
            out.deviceId = outputId;
            out.nChannels = request.channels;
            RtAudio::StreamParameters in;
            in.deviceId = inputId;
            in.nChannels = request.channels;
            RtAudio::StreamOptions options;
            options.streamName = request.clientName;
            unsigned frames = request.bufferFrames;
            audio.openStream(&out, duplex ? &in : nullptr, RTAUDIO_FLOAT64, rate, &frames,
                             &RtAudioBackend::callback, this, &options, &errorCallback);
            if (!audio.isStreamOpen()) {
                info.log.push_back(what + (errors.empty() ? "not opened" : errors));
                info.error = name + ": " + (errors.empty() ? "not opened" : errors);
                return false;
            }
            audio.startStream();
            if (!audio.isStreamRunning()) {
                info.error = name + ": " + (errors.empty() ? "not started" : errors);
                audio.closeStream();
                return false;
            }
            info.api = name;
            auto nameOf = [&](unsigned id) {
                return id < devices.size() && devices[id].probed ? devices[id].name
                                                                 : audio.getDeviceInfo(id).name;
            };
            info.outputDevice = nameOf(out.deviceId);
            info.inputDevice = duplex ? nameOf(in.deviceId) : "";
            info.sampleRate = audio.getStreamSampleRate();
            info.bufferFrames = frames;
            return true;
        } catch (const RtAudioError &e) {
            info.log.push_back(what + e.getMessage());
            info.error = name + ": " + e.getMessage();
            try {
                if (audio.isStreamOpen())
                    audio.closeStream();
            } catch (const RtAudioError &) {
            }
        }
        return false;
    }

    std::unique_ptr<RtAudio> audio_;
    AudioStreamClient *client_ = nullptr;
};

} // namespace

std::unique_ptr<AudioBackend> createRtAudioBackend()
{
    return std::make_unique<RtAudioBackend>();
}
