// The main window on an empty data folder of its own, made anew for each test case, and a
// helper that answers the message boxes the window opens.
#pragma once

#include "app/mainwindow.h"
#include "core/korvanecore.h"
#include "tests/support/hubtestenv.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <memory>

class WindowTestEnv
{
public:
    void renew()
    {
        window.reset();
        data.renew();
        window = std::make_unique<MainWindow>();
        hub = window->core();
    }
    void reset() { window.reset(); }

    HubTestEnv data;
    std::unique_ptr<MainWindow> window;
    KorvaneCore *hub = nullptr;
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
