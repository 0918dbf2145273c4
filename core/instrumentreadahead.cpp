#include "instrumentreadahead.h"

#include "audio/instrumentfile.h"

#include <QFileInfo>

InstrumentReadAhead::InstrumentReadAhead(std::function<void()> firstStep, const QString &file)
    : file(file)
{
    std::promise<void> first;
    firstDone = first.get_future();
    result = std::async(std::launch::async,
                        [step = std::move(firstStep), file, first = std::move(first)]() mutable {
                            if (step)
                                step();
                            first.set_value();
                            Result r;
                            // Stamped before the read: a change during it is seen at take().
                            r.stamp = stampOf(file);
                            r.ok = readInstrumentFile(file, r.instrument, &r.error);
                            return r;
                        });
}

InstrumentReadAhead::~InstrumentReadAhead()
{
    wait();
}

void InstrumentReadAhead::wait()
{
    if (result.valid())
        result.wait();
}

void InstrumentReadAhead::waitForFirstStep()
{
    if (firstDone.valid())
        firstDone.get();
}

bool InstrumentReadAhead::take(const QString &wanted, KorvaneInstrument &out, bool &ok,
                               QString &error)
{
    if (wanted != file || !result.valid())
        return false;
    Result r = result.get();
    if (!(r.stamp == stampOf(file)))
        return false;
    out = std::move(r.instrument);
    ok = r.ok;
    error = r.error;
    return true;
}

InstrumentReadAhead::Stamp InstrumentReadAhead::stampOf(const QString &file)
{
    const QFileInfo info(file);
    Stamp s;
    s.exists = info.exists();
    if (s.exists) {
        s.size = info.size();
        s.modified = info.lastModified();
    }
    return s;
}
