// Shared by the editor, browser and import tests: the Qt headers they use and a button press.
#pragma once

#include "tests/support/testfiles.h"

#include <QtTest>
#include <QtWidgets>

#include <functional>
#include <memory>
#include <optional>

// Clicks the push button of that name inside parent, as the user does.
inline void press(const QObject *parent, const char *name)
{
    parent->findChild<QPushButton *>(QString::fromLatin1(name))->click();
}
