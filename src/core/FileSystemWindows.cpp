#include "FileSystem.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <system_error>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace {

QString errnoReason()
{
    return QString::fromLocal8Bit(std::generic_category().message(errno));
}

QString lastErrorReason()
{
    return QString::fromStdString(std::system_category().message(static_cast<int>(::GetLastError())));
}

} // namespace

namespace FileSystem {

std::filesystem::path fsPath(const QString &path)
{
    return std::filesystem::path(path.toStdWString());
}

std::wstring longPath(const QString &path)
{
    const QString native = QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
    if (native.startsWith(QStringLiteral("\\\\")))
        return (QStringLiteral("\\\\?\\UNC\\") + native.mid(2)).toStdWString();
    return (QStringLiteral("\\\\?\\") + native).toStdWString();
}

int createNew(const QString &path, QString *reason)
{
    // _O_EXCL refuses any existing entry, a link included.
    const int fd = ::_wopen(longPath(path).c_str(),
                            _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                            _S_IREAD | _S_IWRITE);
    if (fd < 0 && reason != nullptr)
        *reason = errnoReason();
    return fd;
}

void closeDescriptor(int fd)
{
    ::_close(fd);
}

QString syncToDisk(int fd)
{
    return ::_commit(fd) == 0 ? QString() : errnoReason();
}

QString replace(const QString &from, const QString &to)
{
    if (::MoveFileExW(longPath(from).c_str(), longPath(to).c_str(),
                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return {};
    return lastErrorReason();
}

} // namespace FileSystem
