#include "StoredFile.h"

#include "FileSystem.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <cerrno>
#include <filesystem>
#include <limits>
#include <system_error>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#endif
#ifdef Q_OS_WIN
#include <io.h>
#endif

namespace StoredFile {

namespace {

#ifdef Q_OS_UNIX
QString systemReason(int error)
{
    return QString::fromLocal8Bit(std::generic_category().message(error));
}

Contents readNative(const QString &path, qint64 maxBytes)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat entry = {};
    if (::lstat(native.constData(), &entry) != 0)
        return errno == ENOENT || errno == ENOTDIR ? Contents{}
                                                   : Contents{Contents::Status::Failed, {}, systemReason(errno)};
    // Only a regular file is opened: opening a FIFO waits for a writer, a device may act.
    if (!S_ISREG(entry.st_mode))
        return Contents{Contents::Status::NotAFile, {}, {}};
    // O_NOFOLLOW and O_NONBLOCK: the entry may have been swapped since it was looked at.
    const int fd = ::open(native.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return Contents{};
        return Contents{errno == ELOOP ? Contents::Status::NotAFile : Contents::Status::Failed, {}, systemReason(errno)};
    }
    Contents contents;
    struct stat opened = {};
    if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
        contents.status = Contents::Status::NotAFile;
    } else if (opened.st_size > maxBytes) {
        contents.status = Contents::Status::TooLarge;
    } else {
        // One byte more than allowed tells a file that grew meanwhile.
        QByteArray bytes(static_cast<qsizetype>(opened.st_size) + 1, Qt::Uninitialized);
        qsizetype filled = 0;
        for (;;) {
            if (filled == bytes.size()) {
                if (bytes.size() > maxBytes)
                    break;
                bytes.resize(std::min<qsizetype>(bytes.size() * 2, static_cast<qsizetype>(maxBytes) + 1));
            }
            const ssize_t got = ::read(fd, bytes.data() + filled, static_cast<std::size_t>(bytes.size() - filled));
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0) {
                contents.status = Contents::Status::Failed;
                contents.reason = systemReason(errno);
                break;
            }
            if (got == 0)
                break;
            filled += got;
        }
        if (contents.status != Contents::Status::Failed) {
            bytes.truncate(filled);
            contents.status = filled > maxBytes ? Contents::Status::TooLarge : Contents::Status::Read;
            if (contents.status == Contents::Status::Read)
                contents.bytes = std::move(bytes);
        }
    }
    ::close(fd);
    return contents;
}
#else
Contents readNative(const QString &path, qint64 maxBytes)
{
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymbolicLink())
        return Contents{};
    if (info.isSymbolicLink() || info.isShortcut() || info.isJunction() || !info.isFile())
        return Contents{Contents::Status::NotAFile, {}, {}};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Contents{Contents::Status::Failed, {}, file.errorString()};
    if (file.size() > maxBytes)
        return Contents{Contents::Status::TooLarge, {}, {}};
    QByteArray bytes = file.read(maxBytes + 1);
    if (bytes.size() > maxBytes)
        return Contents{Contents::Status::TooLarge, {}, {}};
    if (file.error() != QFileDevice::NoError)
        return Contents{Contents::Status::Failed, {}, file.errorString()};
    return Contents{Contents::Status::Read, std::move(bytes), {}};
}
#endif

QString randomTail()
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QString tail;
    for (int i = 0; i < 6; ++i)
        tail += QLatin1Char(letters[QRandomGenerator::global()->bounded(static_cast<int>(sizeof letters - 1))]);
    return tail;
}

// Writes bytes into the new file open under fd and makes sure they reached the disk: a
// buffered write that a full disk refused shows up only at the flush.
QString writeAll(int fd, const QByteArray &bytes)
{
    QFile file;
    if (!file.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)) {
        FileSystem::closeDescriptor(fd);
        return file.errorString();
    }
    if (file.write(bytes) != bytes.size() || !file.flush())
        return file.errorString();
    if (const QString reason = FileSystem::syncToDisk(file.handle()); !reason.isEmpty())
        return reason;
    file.close();
    if (file.error() != QFileDevice::NoError)
        return file.errorString();
    return {};
}

} // namespace

Contents read(const QString &path, qint64 maxBytes)
{
    return readNative(path, maxBytes);
}

QString workingPrefix(const QString &path)
{
    return path + QLatin1Char('.');
}

QString replace(const QString &path, const QByteArray &bytes)
{
    const QString prefix = workingPrefix(path) + QString::number(QCoreApplication::applicationPid()) + QLatin1Char('-');
    QString working;
    QString reason;
    int fd = -1;
    // A name already taken (by another thread's save) is skipped, never reused.
    for (int attempt = 0; attempt < 8 && fd < 0; ++attempt) {
        working = prefix + randomTail();
        fd = FileSystem::createNew(working, &reason);
        std::error_code error;
        if (fd < 0 && std::filesystem::symlink_status(FileSystem::fsPath(working), error).type()
                          == std::filesystem::file_type::not_found)
            break;
    }
    if (fd < 0)
        return reason;
    reason = writeAll(fd, bytes);
    if (reason.isEmpty()) {
        // The entry at path itself is replaced: a link there goes, its target stays.
        reason = FileSystem::replace(working, path);
        if (reason.isEmpty())
            return {};
    }
    FileSystem::removeEntry(working);
    return reason;
}

QString remove(const QString &path)
{
    return FileSystem::removeEntry(path);
}

bool processGone(qint64 pid)
{
#ifdef Q_OS_UNIX
    // 0 and negative IDs name process groups, not a process.
    if (pid <= 0 || pid > std::numeric_limits<pid_t>::max())
        return false;
    return ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
#else
    Q_UNUSED(pid);
    return false;
#endif
}

int sweep(const QString &folder, const QRegularExpression &names)
{
    const QDir dir(folder);
    int removed = 0;
    const QStringList entries = dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString &name : entries) {
        const QRegularExpressionMatch match = names.match(name);
        bool ok = false;
        const qint64 pid = match.captured(QStringLiteral("pid")).toLongLong(&ok);
        if (!match.hasMatch() || !ok || !processGone(pid))
            continue;
        const QString path = dir.filePath(name);
#ifdef Q_OS_UNIX
        // Another user's leftovers are theirs to clear.
        struct stat entry = {};
        if (::lstat(QFile::encodeName(path).constData(), &entry) != 0 || entry.st_uid != ::geteuid())
            continue;
#endif
        std::error_code error;
        // remove_all removes a link itself and never descends through one.
        if (std::filesystem::remove_all(FileSystem::fsPath(path), error) > 0 && !error)
            ++removed;
    }
    return removed;
}

} // namespace StoredFile
