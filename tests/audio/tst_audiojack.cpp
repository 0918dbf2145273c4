// The engine on a real audio server: a private JACK server with the dummy driver (started by
// the CTest fixture, found through JACK_DEFAULT_SERVER). A client of our own records the
// engine's output ports, so a note-on can be heard and measured.
#include "audio/korvaneaudioengine.h"
#include "tests/support/audiotesthelpers.h"

#include <QtTest>

#include <jack/jack.h>

#include <atomic>

using namespace audiotest;

namespace {

class Recorder
{
public:
    bool open()
    {
        client_ = jack_client_open("varno-test-recorder", JackNoStartServer, nullptr);
        if (!client_)
            return false;
        port_ = jack_port_register(client_, "in", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
        jack_set_process_callback(client_, &Recorder::process, this);
        return port_ && jack_activate(client_) == 0;
    }
    ~Recorder()
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
    size_t written() const { return written_.load(std::memory_order_acquire); }
    std::vector<double> copy(size_t from, size_t to) const
    {
        return std::vector<double>(buffer_.begin() + long(from), buffer_.begin() + long(to));
    }

private:
    static int process(jack_nframes_t frames, void *arg)
    {
        auto *self = static_cast<Recorder *>(arg);
        const auto *in = static_cast<const float *>(jack_port_get_buffer(self->port_, frames));
        size_t at = self->written_.load(std::memory_order_relaxed);
        for (jack_nframes_t i = 0; i < frames && at < self->buffer_.size(); ++i)
            self->buffer_[at++] = in[i];
        self->written_.store(at, std::memory_order_release);
        return 0;
    }

    jack_client_t *client_ = nullptr;
    jack_port_t *port_ = nullptr;
    std::vector<float> buffer_ = std::vector<float>(44100 * 30, 0.0f);
    std::atomic<size_t> written_{0};
};

} // namespace

class TestAudioJack : public QObject
{
    Q_OBJECT

private:
    // Plays a note and returns what the recorder heard while it sounded.
    static std::vector<double> play(KorvaneAudioEngine &engine, Recorder &rec, int note)
    {
        const size_t from = rec.written();
        engine.noteOn(0, note, 127);
        QTest::qWait(900);
        engine.noteOff(0, note);
        const size_t to = rec.written();
        return rec.copy(from, to);
    }

private slots:
    void noteReachesTheOutput()
    {
        QVERIFY(!qgetenv("JACK_DEFAULT_SERVER").isEmpty());
        KorvaneAudioEngine engine;
        QVERIFY(engine.init(44100));
        QVERIFY(engine.isStreamRunning());

        Recorder rec;
        QVERIFY(rec.open());
        QVERIFY(rec.connectFrom("VARNO Control.*:outport 0"));

        KorvaneInstrument ins;
        ins.samples.push_back(sineSample(440.0, 44100 * 4));
        engine.loadInstrument(ins);
        QTest::qWait(200);

        for (const auto &c : {std::make_pair(69, 440.0), std::make_pair(81, 880.0)}) {
            const std::vector<double> heard = play(engine, rec, c.first);
            QVERIFY2(heard.size() > 22050, qPrintable(QString::number(heard.size())));
            // Skip to the sounding part, then measure a third of a second.
            size_t start = 0;
            while (start < heard.size() && std::fabs(heard[start]) < 0.01)
                ++start;
            QVERIFY2(start + 4410 + 14700 < heard.size(), "the note was not heard");
            const std::vector<double> part(heard.begin() + long(start + 4410),
                                           heard.begin() + long(start + 4410 + 14700));
            QVERIFY(rms(part, 0, part.size()) > 0.05);
            const double f = zeroCrossingFrequency(part);
            QVERIFY2(std::fabs(f - c.second) < 0.5, qPrintable(QString::number(f)));
            QTest::qWait(300);
        }
        engine.close();
        QVERIFY(!engine.isStreamRunning());
    }
};

QTEST_GUILESS_MAIN(TestAudioJack)
#include "tst_audiojack.moc"
