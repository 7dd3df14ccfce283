#include "OutputFiles.h"

#include "FileSystem.h"

#include <QCryptographicHash>
#include <QFileInfo>

namespace OutputFiles {

bool exists(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

bool isPlainFile(const QString &path)
{
    const QFileInfo info(path);
    return info.isFile() && !info.isSymLink();
}

bool visibleFileExists(const QString &path)
{
    const QFileInfo info(path);
    return info.isFile() && !info.isHidden();
}

QString remove(const QString &path)
{
    return FileSystem::removeEntry(path);
}

void discard(const QString &path)
{
    FileSystem::removeEntry(path);
}

QString workingName(const QString &fileName)
{
    // A name already at the file system's 255-byte limit leaves no room for the dot and
    // ".part": such a file gets a short name drawn from its own, so that two writers never
    // share one.
    constexpr qsizetype MaxNameBytes = 255;
    const QString natural = QLatin1Char('.') + fileName + QStringLiteral(".part");
    if (natural.toUtf8().size() <= MaxNameBytes)
        return natural;
    const QByteArray digest =
        QCryptographicHash::hash(fileName.toUtf8(), QCryptographicHash::Sha256).toHex().left(32);
    return QStringLiteral(".mp3-") + QString::fromLatin1(digest) + QStringLiteral(".part");
}

int createFresh(const QString &path, QString *reason)
{
    const QString removeFailure = FileSystem::removeEntry(path);
    if (!removeFailure.isEmpty()) {
        if (reason != nullptr)
            *reason = removeFailure;
        return -1;
    }
    return FileSystem::createNew(path, reason);
}

} // namespace OutputFiles
