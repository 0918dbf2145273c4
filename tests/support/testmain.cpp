#include "testmain.h"

#include <QCoreApplication>
#include <QtTest>

#include <memory>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int failed = 0;
    for (testmain::Factory make : testmain::classes()) {
        std::unique_ptr<QObject> test(make());
        failed += QTest::qExec(test.get(), argc, argv);
    }
    return failed;
}
