// Starts VARNO Control on a JACK server (the dummy driver) and plays the device: a JACK client
// whose MIDI ports carry "KVRN" in their names, so the program connects to it as it would to
// the controller. It measures
//  - start-up: from exec to the "All ready!" log line;
//  - latency: a note-on written into the probe's MIDI output at a random frame of a period,
//    to the first non-zero frame on the program's audio output, read by the same probe
//    (its audio inputs hang behind the program's outputs, so it sees them in the same cycle);
//    both on JACK's frame clock, over N notes, each played after the last one has died away;
//  - peak memory: VmHWM after the three presets have been loaded in turn (next-sound actions).
//
// Usage: varno-latencyprobe PROGRAM NOTES
// Prints: startup_ms T, latency_frames MEDIAN P99 MAX COUNT MISSED, peak_rss_kb K
#include <jack/jack.h>
#include <jack/midiport.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

enum Phase : int
{
    Idle,
    SendOn,      // the next cycle writes the note-on
    WaitSound,   // listening for the first non-zero frame
    Heard,       // found it
    SendOff,     // the next cycle writes the note-off
    WaitSilence, // counting silent periods
    SendControl, // the next cycle writes a control change
};

struct Probe
{
    jack_client_t *client = nullptr;
    jack_port_t *midiOut = nullptr;
    jack_port_t *midiIn = nullptr;
    jack_port_t *audioIn[2] = {nullptr, nullptr};

    std::atomic<int> phase{Idle};
    std::atomic<int> note{60};
    std::atomic<int> offset{0};
    std::atomic<int> control{0};
    std::atomic<int> controlValue{0};
    std::atomic<long long> sentFrame{0};
    std::atomic<long long> heardFrame{0};
    std::atomic<int> silentPeriods{0};
};

int process(jack_nframes_t frames, void *arg)
{
    Probe &p = *static_cast<Probe *>(arg);
    void *out = jack_port_get_buffer(p.midiOut, frames);
    jack_midi_clear_buffer(out);
    const long long start = jack_last_frame_time(p.client);
    const float *in[2] = {static_cast<const float *>(jack_port_get_buffer(p.audioIn[0], frames)),
                          static_cast<const float *>(jack_port_get_buffer(p.audioIn[1], frames))};
    const int phase = p.phase.load(std::memory_order_acquire);
    int from = 0;
    if (phase == SendOn) {
        const int at = std::min<int>(p.offset.load(), int(frames) - 1);
        const unsigned char on[3] = {0x90, static_cast<unsigned char>(p.note.load()), 100};
        jack_midi_event_write(out, jack_nframes_t(at), on, 3);
        p.sentFrame.store(start + at);
        p.phase.store(WaitSound, std::memory_order_release);
        from = at; // the sound cannot come before the note
    } else if (phase == SendOff) {
        const unsigned char off[3] = {0x80, static_cast<unsigned char>(p.note.load()), 0};
        jack_midi_event_write(out, 0, off, 3);
        p.silentPeriods.store(0);
        p.phase.store(WaitSilence, std::memory_order_release);
    } else if (phase == SendControl) {
        const unsigned char cc[3] = {0xb0, static_cast<unsigned char>(p.control.load()),
                                     static_cast<unsigned char>(p.controlValue.load())};
        jack_midi_event_write(out, 0, cc, 3);
        p.phase.store(Idle, std::memory_order_release);
    }
    if (p.phase.load() == WaitSound) {
        for (jack_nframes_t k = jack_nframes_t(from); k < frames; ++k) {
            if (in[0][k] != 0.0f || in[1][k] != 0.0f) {
                p.heardFrame.store(start + k);
                p.phase.store(Heard, std::memory_order_release);
                break;
            }
        }
    } else if (p.phase.load() == WaitSilence) {
        bool silent = true;
        for (jack_nframes_t k = 0; k < frames && silent; ++k)
            silent = in[0][k] == 0.0f && in[1][k] == 0.0f;
        p.silentPeriods.store(silent ? p.silentPeriods.load() + 1 : 0);
    }
    return 0;
}

bool waitFor(const std::function<bool()> &done, int ms)
{
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (Clock::now() < end) {
        if (done())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return done();
}

long statusKb(pid_t pid, const char *field)
{
    std::ifstream f("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(f, line))
        if (line.rfind(field, 0) == 0)
            return std::atol(line.c_str() + std::strlen(field));
    return -1;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s PROGRAM NOTES\n", argv[0]);
        return 2;
    }
    const char *program = argv[1];
    const int notes = std::atoi(argv[2]);

    Probe p;
    jack_status_t status;
    p.client = jack_client_open("KVRN-probe", JackNoStartServer, &status);
    if (!p.client) {
        std::fprintf(stderr, "no JACK server (status 0x%x)\n", unsigned(status));
        return 1;
    }
    const double rate = jack_get_sample_rate(p.client);
    const int period = int(jack_get_buffer_size(p.client));
    p.midiOut =
        jack_port_register(p.client, "midi_out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    p.midiIn = jack_port_register(p.client, "midi_in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    p.audioIn[0] =
        jack_port_register(p.client, "in_1", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    p.audioIn[1] =
        jack_port_register(p.client, "in_2", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    jack_set_process_callback(p.client, process, &p);
    if (jack_activate(p.client) != 0) {
        std::fprintf(stderr, "could not activate the probe\n");
        return 1;
    }

    // The program, with a fresh data folder, its log on a pipe.
    char dataHome[] = "/tmp/varno-probe-XXXXXX";
    if (!mkdtemp(dataHome))
        return 1;
    int pipeFd[2];
    if (pipe(pipeFd) != 0)
        return 1;
    const auto started = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        setenv("XDG_DATA_HOME", dataHome, 1);
        dup2(pipeFd[1], 2);
        close(pipeFd[0]);
        close(pipeFd[1]);
        execl(program, program, static_cast<char *>(nullptr));
        _exit(127);
    }
    close(pipeFd[1]);
    std::atomic<long long> readyMs{-1};
    std::thread reader([&] {
        // Reads the log to its end, so the program never blocks on a full pipe.
        FILE *log = fdopen(pipeFd[0], "r");
        char line[4096];
        while (std::fgets(line, sizeof line, log)) {
            if (readyMs.load() < 0 && std::strstr(line, "All ready!")) {
                readyMs.store(
                    std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - started)
                        .count());
            }
        }
        std::fclose(log);
    });
    auto finish = [&](int code) {
        kill(pid, SIGTERM);
        int st = 0;
        // The program quits on SIGTERM and releases its JACK clients on the way out.
        if (!waitFor([&] { return waitpid(pid, &st, WNOHANG) == pid; }, 15000)) {
            kill(pid, SIGKILL);
            waitpid(pid, &st, 0);
        }
        reader.join();
        jack_client_close(p.client);
        std::string rm = std::string("rm -rf ") + dataHome;
        if (std::system(rm.c_str()) != 0)
            std::fprintf(stderr, "could not remove %s\n", dataHome);
        return code;
    };

    if (!waitFor([&] { return readyMs.load() >= 0; }, 20000)) {
        std::fprintf(stderr, "the program did not report \"All ready!\"\n");
        return finish(1);
    }
    std::printf("startup_ms %.1f\n", double(readyMs.load()) / 1000.0);
    std::fflush(stdout);

    // The program's MIDI input connects itself to the probe; its audio outputs are ours to
    // connect. Its ports may exist before its client is active, when JACK refuses to connect
    // them: tried until both connections hold.
    bool connected = waitFor(
        [&] {
            const char **ports = jack_get_ports(
                p.client, "^VARNO Control:", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput);
            if (!ports)
                return false;
            for (int n = 0; ports[n] && n < 2; ++n)
                if (!jack_port_connected_to(p.audioIn[n], ports[n]))
                    jack_connect(p.client, ports[n], jack_port_name(p.audioIn[n]));
            jack_free(ports);
            return jack_port_connected(p.audioIn[0]) > 0 && jack_port_connected(p.audioIn[1]) > 0 &&
                   jack_port_connected(p.midiOut) > 0;
        },
        10000);
    if (!connected) {
        std::fprintf(stderr, "the program did not connect to the probe\n");
        return finish(1);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1500)); // let start-up settle

    // Notes of the C major scale the default map plays, so the hand lights up with each.
    const int scale[] = {60, 62, 64, 65, 67, 69, 71, 72};
    std::mt19937 rng(8);
    std::uniform_int_distribution<int> where(0, period - 1);
    std::vector<long long> latency;
    int missed = 0;
    for (int i = 0; i < notes; ++i) {
        p.note.store(scale[i % 8]);
        p.offset.store(where(rng));
        p.phase.store(SendOn, std::memory_order_release);
        if (waitFor([&] { return p.phase.load() == Heard; }, 2000))
            latency.push_back(p.heardFrame.load() - p.sentFrame.load());
        else
            ++missed;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        p.phase.store(SendOff, std::memory_order_release);
        const auto releaseStart = Clock::now();
        const bool silent = waitFor(
            [&] { return p.phase.load() == WaitSilence && p.silentPeriods.load() >= 2; }, 3000);
        if (std::getenv("VARNO_PROBE_VERBOSE"))
            std::fprintf(stderr, "note %d: %lld frames, silent %d after %lld ms\n", i,
                         latency.empty() ? -1LL : latency.back(), int(silent),
                         (long long)std::chrono::duration_cast<std::chrono::milliseconds>(
                             Clock::now() - releaseStart)
                             .count());
        p.phase.store(Idle);
    }
    if (latency.empty()) {
        std::fprintf(stderr, "no note was heard\n");
        return finish(1);
    }
    std::sort(latency.begin(), latency.end());
    const auto at = [&](double q) {
        return latency[std::min(latency.size() - 1, size_t(std::ceil(q * latency.size())) - 1)];
    };
    std::printf("latency_frames %lld %lld %lld %zu %d period %d rate %.0f\n", at(0.5), at(0.99),
                latency.back(), latency.size(), missed, period, rate);
    std::fflush(stdout);

    // Next sound twice: the three presets have then all been loaded.
    for (int i = 0; i < 2; ++i) {
        p.control.store(127);
        p.controlValue.store(2);
        p.phase.store(SendControl, std::memory_order_release);
        waitFor([&] { return p.phase.load() == Idle; }, 1000);
        std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    }
    std::printf("peak_rss_kb %ld rss_kb %ld\n", statusKb(pid, "VmHWM:"), statusKb(pid, "VmRSS:"));
    return finish(0);
}
