#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QtTest>
#include <cstdint>

// Small file helpers that many tests share.

// Bytes of one audio sector (one frame): 588 stereo 16-bit samples.
inline constexpr std::int32_t SectorBytes = 2352;

// The whole file, empty when it cannot be read.
inline QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Writes data as the whole file; the test fails when it cannot.
inline void writeFile(const QString &path, const QByteArray &data)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(data), data.size());
}

// Everything in a folder, hidden entries included, sorted by name.
inline QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

// The names that end with suffix, in their order.
inline QStringList withSuffix(const QStringList &names, const QString &suffix)
{
    QStringList kept;
    for (const QString &name : names) {
        if (name.endsWith(suffix))
            kept << name;
    }
    return kept;
}
