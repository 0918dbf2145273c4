// The main window's form on a bare window with a hub of its own, for testing one tab's
// controller without the rest of the window. A fresh data folder for each fixture.
#pragma once

#include "app/mainwindowform.h"
#include "core/korvanecore.h"
#include "hand/korvanehandwidget.h"
#include "tests/support/hubtestenv.h"

#include <QMainWindow>
#include <QTest>

#include <memory>

struct FormFixture
{
    FormFixture() : hub(std::make_unique<KorvaneCore>()) { form.setupUi(&host); }
    ~FormFixture() { hub->ShutDown(); }

    template <typename T> T *child(const char *name) const
    {
        T *w = host.findChild<T *>(QString::fromLatin1(name));
        if (!w)
            qFatal("missing %s", name);
        return w;
    }

    HubTestEnv env;
    QMainWindow host;
    MainWindowForm form;
    std::unique_ptr<KorvaneCore> hub;
};
