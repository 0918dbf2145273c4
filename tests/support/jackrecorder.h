// A JACK client of the tests' own that records one output port of another client, so what a
// program plays on a real server can be heard and measured.
#pragma once

#include <QTest>

#include <jack/jack.h>

#include <atomic>
#include <vector>

class JackRecorder
{
public:
    bool open()
    {
        client_ = jack_client_open("varno-test-recorder", JackNoStartServer, nullptr);
        if (!client_)
            return false;
        port_ = jack_port_register(client_, "in", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
        jack_set_process_callback(client_, &JackRecorder::process, this);
        rate_ = jack_get_sample_rate(client_);
        return port_ && jack_activate(client_) == 0;
    }
    ~JackRecorder()
    {
        if (client_) {
            jack_deactivate(client_);
            jack_client_close(client_);
        }
    }
    // Connects the first output port whose name matches the pattern.
    bool connectFrom(const char *pattern)
    {
        const char **ports = jack_get_ports(client_, pattern, nullptr, JackPortIsOutput);
        if (!ports || !ports[0])
            return false;
        const int r = jack_connect(client_, ports[0], jack_port_name(port_));
        jack_free(ports);
        return r == 0;
    }
    // What is heard from start() on, until 0.8 s of the server's time have passed (however
    // loaded the machine is); stop() is called at the end.
    template <class Start, class Stop> std::vector<double> listen(Start start, Stop stop)
    {
        const size_t from = written();
        start();
        for (int i = 0; i < 100 && written() - from < size_t(rate() * 0.8); ++i)
            QTest::qWait(50);
        stop();
        return copy(from, written());
    }
    // The server's rate, which the recording is at.
    double rate() const { return rate_; }
    size_t written() const { return written_.load(std::memory_order_acquire); }
    std::vector<double> copy(size_t from, size_t to) const
    {
        return std::vector<double>(buffer_.begin() + long(from), buffer_.begin() + long(to));
    }

private:
    static int process(jack_nframes_t frames, void *arg)
    {
        auto *self = static_cast<JackRecorder *>(arg);
        const auto *in = static_cast<const float *>(jack_port_get_buffer(self->port_, frames));
        size_t at = self->written_.load(std::memory_order_relaxed);
        for (jack_nframes_t i = 0; i < frames && at < self->buffer_.size(); ++i)
            self->buffer_[at++] = in[i];
        self->written_.store(at, std::memory_order_release);
        return 0;
    }

    jack_client_t *client_ = nullptr;
    jack_port_t *port_ = nullptr;
    double rate_ = 44100.0;
    std::vector<float> buffer_ = std::vector<float>(96000 * 30, 0.0f);
    std::atomic<size_t> written_{0};
};
