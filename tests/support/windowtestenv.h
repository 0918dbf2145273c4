// The window tests' fixtures: the main window on an empty data folder of its own (on the real
// MIDI ports or on a scripted MIDI system), the bare form with a hub for one tab's controller, a
// named-child lookup, and a helper that answers the message boxes the window opens.
#pragma once

#include "app/mainwindow.h"
#include "app/mainwindowform.h"
#include "audio/korvaneaudioengine.h"
#include "core/korvanecore.h"
#include "device/korvanemidiengine.h"
#include "device/sysexcodec.h"
#include "hand/korvanehandwidget.h"
#include "tests/support/hubtestenv.h"
#include "tests/support/scriptedmidibackend.h"

#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <memory>

// The child of parent with that object name; a missing one ends the test run.
template <typename T = QWidget> T *child(const QObject *parent, const char *name)
{
    T *w = parent->findChild<T *>(QString::fromLatin1(name));
    if (!w)
        qFatal("missing %s", name);
    return w;
}

// The sound stream opens on a thread of its own; its outcome is a status line. Tests that read
// the status line wait for it first.
inline void waitForTheStream(MainWindow *window)
{
    QTRY_VERIFY(!window->core()->audio()->isOpening());
}

class WindowTestEnv
{
public:
    static constexpr const char *kDevice = "KVRN Glove";
    // A new window on a fresh data folder; scripted: on a MIDI system of its own where the
    // device is plugged in or not, with no pauses between uploads.
    void renew() { renew(false, false); }
    void renew(bool scripted, bool plugged)
    {
        window.reset();
        data.renew();
        sys.reset();
        if (scripted) {
            sys = std::make_shared<ScriptedMidiSystem>();
            plug(plugged);
            window = std::make_unique<MainWindow>(std::make_unique<ScriptedMidiBackend>(sys));
            window->core()->midi()->setPauses(std::chrono::milliseconds(0),
                                              std::chrono::milliseconds(0));
        } else {
            window = std::make_unique<MainWindow>();
        }
        hub = window->core();
        waitForTheStream(window.get());
    }
    void reset() { window.reset(); }
    void plug(bool present)
    {
        const std::vector<std::string> ports = {kDevice};
        sys->setInputPorts(present ? ports : std::vector<std::string>());
        sys->setOutputPorts(present ? ports : std::vector<std::string>());
    }
    // What reached the scripted device, the requests for its configuration and its firmware
    // (sent when the status bar sees it connect, at a moment of the port thread's choosing)
    // aside.
    std::vector<std::vector<uint8_t>> sent() const
    {
        std::vector<std::vector<uint8_t>> out;
        for (const auto &s : sys->sent())
            if (s.bytes != KorvaneSysex::infoRequest() && s.bytes != KorvaneSysex::versionRequest())
                out.push_back(s.bytes);
        return out;
    }
    template <typename T = QWidget> T *get(const char *name) const
    {
        return child<T>(window.get(), name);
    }
    QString text(const char *label) const { return get<QLabel>(label)->text(); }

    HubTestEnv data;
    std::shared_ptr<ScriptedMidiSystem> sys;
    std::unique_ptr<MainWindow> window;
    KorvaneCore *hub = nullptr;
};

// The main window's form on a bare window with a hub of its own, for testing one tab's
// controller without the rest of the window. A fresh data folder for each fixture.
struct FormFixture
{
    FormFixture() : hub(std::make_unique<KorvaneCore>()) { form.setupUi(&host); }
    ~FormFixture() { hub->ShutDown(); }
    template <typename T = QWidget> T *get(const char *name) const { return child<T>(&host, name); }
    QString text(const char *label) const { return get<QLabel>(label)->text(); }

    HubTestEnv env;
    QMainWindow host;
    MainWindowForm form;
    std::unique_ptr<KorvaneCore> hub;
};

// Answers the message boxes that open while it lives: each box's text is recorded and the box
// is answered with the given button, or with Return (its default) for NoButton.
class BoxAnswerer : public QObject
{
public:
    explicit BoxAnswerer(QMessageBox::StandardButton answer) : answer(answer)
    {
        timer.setInterval(5);
        connect(&timer, &QTimer::timeout, this, &BoxAnswerer::poll);
        timer.start();
    }
    QStringList texts;
    QStringList informative;
    QList<QMessageBox::StandardButton> defaults;

private:
    void poll()
    {
        for (QWidget *w : QApplication::topLevelWidgets()) {
            auto *box = qobject_cast<QMessageBox *>(w);
            if (!box || !box->isVisible())
                continue;
            texts << box->text();
            informative << box->informativeText();
            defaults << box->standardButton(box->defaultButton());
            if (answer == QMessageBox::NoButton)
                QTest::keyClick(box, Qt::Key_Return);
            else
                box->button(answer)->click();
            return;
        }
    }
    QMessageBox::StandardButton answer;
    QTimer timer;
};
