// Placeholder: replaced by the real instrument reader and writer.
#include "instrumentfile.h"

bool parseInstrument(const QByteArray &, KorvaneInstrument &, QString *error)
{
    if (error)
        *error = QStringLiteral("Instrument files are not supported yet");
    return false;
}
bool readInstrumentFile(const QString &, KorvaneInstrument &, QString *error)
{
    if (error)
        *error = QStringLiteral("Instrument files are not supported yet");
    return false;
}
QByteArray serializeInstrument(const KorvaneInstrument &) { return {}; }
bool writeInstrumentFile(const QString &, const KorvaneInstrument &, QString *error)
{
    if (error)
        *error = QStringLiteral("Instrument files are not supported yet");
    return false;
}
