// Reads one instrument file on a worker thread, after a first step (the preset copies), so
// the window's start-up goes on while the disk works.
#pragma once

#include "base/samplertypes.h"

#include <QDateTime>
#include <QString>

#include <functional>
#include <future>

class InstrumentReadAhead
{
public:
    InstrumentReadAhead(std::function<void()> firstStep, const QString &file);
    // Waits for the worker: nothing it touches may go before it ends.
    ~InstrumentReadAhead();
    InstrumentReadAhead(const InstrumentReadAhead &) = delete;
    InstrumentReadAhead &operator=(const InstrumentReadAhead &) = delete;

    // Return once the first step, or the whole read, is done.
    void waitForFirstStep();
    void wait();
    // Gives the result of reading file (ok, the instrument or the error) when file is the one
    // read ahead and has not changed on disk since; false when it must be read again.
    bool take(const QString &file, KorvaneInstrument &out, bool &ok, QString &error);

private:
    struct Stamp
    {
        bool exists = false;
        qint64 size = -1;
        QDateTime modified;
        bool operator==(const Stamp &o) const
        {
            return exists == o.exists && size == o.size && modified == o.modified;
        }
    };
    struct Result
    {
        Stamp stamp;
        bool ok = false;
        QString error;
        KorvaneInstrument instrument;
    };
    static Stamp stampOf(const QString &file);

    QString file;
    std::future<void> firstDone;
    std::future<Result> result;
};
