#include "debuglog.h"

#include <QDebug>
#include <QString>

#include <cstdio>

namespace {

// Set by the program's handler when it printed a message exactly as given (plain pattern), so
// the caller knows further lines may go straight to standard error.
thread_local bool printedPlain = false;

void handler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    const QString text = qFormatLogMessage(type, context, message);
    if (text.isNull())
        return; // the pattern left the message out
    printedPlain = text == message;
    const QByteArray bytes = text.toLocal8Bit() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

} // namespace

void DebugLog::install()
{
    qInstallMessageHandler(handler);
}

void DebugLog::writeLines(const QByteArray &lines)
{
    if (lines.isEmpty())
        return;
    int end = lines.indexOf('\n');
    if (end < 0)
        end = lines.size();
    printedPlain = false;
    qDebug().noquote() << QString::fromUtf8(lines.constData(), end);
    if (end + 1 >= lines.size())
        return;
    if (printedPlain) {
        std::fwrite(lines.constData() + end + 1, 1, size_t(lines.size() - end - 1), stderr);
        std::fflush(stderr);
        return;
    }
    for (int from = end + 1; from < lines.size();) {
        int next = lines.indexOf('\n', from);
        if (next < 0)
            next = lines.size();
        qDebug().noquote() << QString::fromUtf8(lines.constData() + from, next - from);
        from = next + 1;
    }
}
