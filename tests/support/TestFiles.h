#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QtTest>
#include <cstdint>
#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

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

#ifdef Q_OS_UNIX
// Plants what an attacker or an earlier run may leave at a name the program writes to:
// "link" (to linkTarget), "dangling" (a link to danglingTarget, which does not exist),
// "fifo", or anything else: a plain file holding leftover.
inline void plantEntry(const QString &path, const QString &kind, const QString &linkTarget,
                       const QString &danglingTarget, const QByteArray &leftover = QByteArray())
{
    const QByteArray at = QFile::encodeName(path);
    if (kind == QStringLiteral("link"))
        QCOMPARE(symlink(QFile::encodeName(linkTarget).constData(), at.constData()), 0);
    else if (kind == QStringLiteral("dangling"))
        QCOMPARE(symlink(QFile::encodeName(danglingTarget).constData(), at.constData()), 0);
    else if (kind == QStringLiteral("fifo"))
        QCOMPARE(mkfifo(at.constData(), 0600), 0);
    else
        writeFile(path, leftover);
}
#endif
