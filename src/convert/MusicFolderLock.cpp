#include "MusicFolderLock.h"

#include "FileSystem.h"
#include "StoredFile.h"

#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QSysInfo>

#include <filesystem>
#include <optional>
#include <system_error>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// Largest lock file worth reading: QLockFile writes five short lines.
constexpr qint64 LockFileBytes = 4096;

// What QLockFile writes: the process ID, the program, the host name, the machine's ID and
// its boot's ID, one a line.
struct LockOwner
{
    qint64 pid = 0;
    QString host;
    QByteArray hostId;
    QByteArray bootId;
};

std::optional<LockOwner> ownerOf(const QByteArray &text)
{
    const QList<QByteArray> lines = text.split('\n');
    bool ok = false;
    LockOwner owner;
    owner.pid = lines.value(0).trimmed().toLongLong(&ok);
    if (!ok || owner.pid <= 0 || lines.size() < 2)
        return std::nullopt;
    owner.host = QString::fromUtf8(lines.value(2).trimmed());
    owner.hostId = lines.value(3).trimmed();
    owner.bootId = lines.value(4).trimmed();
    return owner;
}

// As QLockFile tells this machine: by its ID when both sides know one, else by host name.
bool onThisComputer(const LockOwner &owner)
{
    const QByteArray ourId = QSysInfo::machineUniqueId();
    if (!owner.hostId.isEmpty() && !ourId.isEmpty())
        return owner.hostId == ourId;
    return owner.host.isEmpty() || owner.host == QSysInfo::machineHostName();
}

QString otherComputerText(const QString &host, const QString &lockPath)
{
    return QStringLiteral("Le dossier musiques est réservé par une conversion lancée sur l'ordinateur « %1 ». "
                          "Si aucune conversion n'y est en cours, supprimez le fichier « %2 », puis recommencez.")
        .arg(host.isEmpty() ? QStringLiteral("?") : host, QDir::toNativeSeparators(lockPath));
}

QString folderInTheWayText(const QString &lockPath)
{
    return QStringLiteral("Un dossier porte le nom du verrou des conversions : « %1 ». "
                          "Déplacez ou renommez ce dossier, puis recommencez.")
        .arg(QDir::toNativeSeparators(lockPath));
}

} // namespace

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
    // A batch can run for an hour: the age of the lock says nothing. Whether a lock is
    // stale is decided by clearStale() before QLockFile ever sees it.
    m_lock->setStaleLockTime(0);
}

MusicFolderLock::~MusicFolderLock() = default;

bool MusicFolderLock::tryLock()
{
    m_failure.clear();
    m_heldElsewhere = false;
    if (m_lock->isLocked())
        return true;
    for (int attempt = 0; attempt < 4; ++attempt) {
        const Standing standing = clearStale();
        if (standing == Standing::Held) {
            m_heldElsewhere = true;
            return false;
        }
        if (standing == Standing::Retry)
            continue;
        if (m_lock->tryLock(0))
            return true;
        if (m_lock->error() != QLockFile::LockFailedError)
            break;
        // Another batch took the lock between the look and the try: look again.
    }
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

MusicFolderLock::Standing MusicFolderLock::clearStale()
{
    const QString path = m_lock->fileName();
    std::error_code error;
    const std::filesystem::file_type type = std::filesystem::symlink_status(FileSystem::fsPath(path), error).type();
    if (error || type == std::filesystem::file_type::not_found)
        return Standing::Free;
    if (type == std::filesystem::file_type::regular)
        return inspectLockFile(path);
    if (type == std::filesystem::file_type::directory) {
        // Only an empty folder goes: one with contents is someone's.
        if (std::filesystem::remove(FileSystem::fsPath(path), error) && !error)
            return Standing::Free;
        m_failure = folderInTheWayText(path);
        return Standing::Held;
    }
    // A link (dangling or not), a FIFO, a device: no batch makes them. The entry goes,
    // whatever it leads to stays.
    StoredFile::remove(path);
    return Standing::Retry;
}

#ifdef Q_OS_UNIX
MusicFolderLock::Standing MusicFolderLock::inspectLockFile(const QString &path)
{
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return Standing::Retry;
        // Unreadable (or swapped for a link meanwhile): no lock this program can have left
        // for itself. The entry goes.
        StoredFile::remove(path);
        return Standing::Retry;
    }
    struct Closer
    {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat opened = {};
    if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode))
        return Standing::Retry;

    // A running batch of this computer holds its lock file locked (QLockFile does, as long
    // as the lock is held). Where the file system has no such locks, the lock file's own
    // words decide.
    const bool locksKnown = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    if (!locksKnown && errno == EWOULDBLOCK) {
        m_failure = refusalText();
        return Standing::Held;
    }

    QByteArray text(static_cast<qsizetype>(LockFileBytes), Qt::Uninitialized);
    const ssize_t got = ::pread(fd, text.data(), static_cast<std::size_t>(text.size()), 0);
    text.truncate(got > 0 ? static_cast<qsizetype>(got) : 0);
    const std::optional<LockOwner> owner = ownerOf(text);
    if (owner && !onThisComputer(*owner)) {
        m_failure = otherComputerText(owner->host, path);
        return Standing::Held;
    }
    if (owner && !locksKnown) {
        const bool rebooted = !owner->bootId.isEmpty() && owner->bootId != QSysInfo::bootUniqueId();
        if (!rebooted && !StoredFile::processGone(owner->pid)) {
            m_failure = refusalText();
            return Standing::Held;
        }
    }
    // Stale: removed while it is locked here, and only if it is still the file looked at
    // (another batch may have taken the name over meanwhile).
    struct stat current = {};
    if (::lstat(native.constData(), &current) == 0 && current.st_dev == opened.st_dev
        && current.st_ino == opened.st_ino)
        ::unlink(native.constData());
    return Standing::Retry;
}
#else
MusicFolderLock::Standing MusicFolderLock::inspectLockFile(const QString &path)
{
    const StoredFile::Contents contents = StoredFile::read(path, LockFileBytes);
    const std::optional<LockOwner> owner =
        contents.status == StoredFile::Contents::Status::Read ? ownerOf(contents.bytes) : std::nullopt;
    if (owner && !onThisComputer(*owner)) {
        m_failure = otherComputerText(owner->host, path);
        return Standing::Held;
    }
    // QLockFile tells a lock of a process of this computer that is gone. Anything else
    // is removed, which fails while a running batch keeps its lock file open.
    if (owner)
        return Standing::Free;
    if (!QFile::remove(path)) {
        m_failure = refusalText();
        return Standing::Held;
    }
    return Standing::Retry;
}
#endif

void MusicFolderLock::unlock()
{
    if (m_lock->isLocked())
        m_lock->unlock();
}

bool MusicFolderLock::isLocked() const
{
    return m_lock->isLocked();
}
