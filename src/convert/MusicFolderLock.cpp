#include "MusicFolderLock.h"

#include <QDir>
#include <QLockFile>

QString MusicFolderLock::fileName()
{
    return QStringLiteral(".sonalbury-conversion.lock");
}

QString MusicFolderLock::refusalText()
{
    return QStringLiteral("Une autre conversion utilise déjà le dossier musiques.");
}

MusicFolderLock::MusicFolderLock(const QString &musicFolder)
    : m_lock(std::make_unique<QLockFile>(QDir(musicFolder).filePath(fileName())))
{
    // A batch can run for an hour: the age of the lock says nothing. A lock is stale only
    // when the process that wrote it is gone (checked by QLockFile on this machine).
    m_lock->setStaleLockTime(0);
}

MusicFolderLock::~MusicFolderLock() = default;

bool MusicFolderLock::tryLock()
{
    m_failure.clear();
    m_heldElsewhere = false;
    if (m_lock->isLocked())
        return true;
    if (m_lock->tryLock(0))
        return true;
    switch (m_lock->error()) {
    case QLockFile::LockFailedError:
        m_failure = refusalText();
        m_heldElsewhere = true;
        break;
    case QLockFile::PermissionError:
        m_failure = QStringLiteral("Impossible de réserver le dossier musiques « %1 » : accès refusé.")
                        .arg(QDir::toNativeSeparators(m_lock->fileName()));
        break;
    default:
        m_failure = QStringLiteral("Impossible de réserver le dossier musiques « %1 ».")
                        .arg(QDir::toNativeSeparators(m_lock->fileName()));
        break;
    }
    return false;
}

void MusicFolderLock::unlock()
{
    if (m_lock->isLocked())
        m_lock->unlock();
}

bool MusicFolderLock::isLocked() const
{
    return m_lock->isLocked();
}
