// Small file and status helpers shared by the tests.
#pragma once

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QSignalSpy>
#include <QtEndian>

namespace testfiles {

inline QByteArray read(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Writes the bytes, making the folders on the way.
inline bool write(const QString &path, const QByteArray &bytes = QByteArray("x"))
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

inline QByteArray le32(qint32 v)
{
    QByteArray b(4, '\0');
    qToLittleEndian<qint32>(v, b.data());
    return b;
}

// Every entry below root (folders with empty bytes), to show that nothing on disk changed.
inline QMap<QString, QByteArray> snapshot(const QString &root)
{
    QMap<QString, QByteArray> all;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString p = it.next();
        all[p] = QFileInfo(p).isDir() ? QByteArray() : read(p);
    }
    return all;
}

// Whether a status signal carried the text, and the last status it carried.
inline bool spyHas(const QSignalSpy &spy, const QString &text)
{
    for (const QList<QVariant> &args : spy)
        if (args.value(0).toString().contains(text))
            return true;
    return false;
}
inline QString lastText(const QSignalSpy &spy)
{
    return spy.isEmpty() ? QString() : spy.last().value(0).toString();
}

} // namespace testfiles
