#include "FileSystem.h"

#include <QFile>

#include <cerrno>
#include <cstdio>
#include <system_error>

#include <fcntl.h>
#include <unistd.h>

namespace {

QString systemReason()
{
    return QString::fromLocal8Bit(std::generic_category().message(errno));
}

} // namespace

namespace FileSystem {

std::filesystem::path fsPath(const QString &path)
{
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

int createNew(const QString &path, QString *reason)
{
    // O_EXCL refuses any existing entry, a dangling link included; O_NOFOLLOW says the
    // same of links for systems that would otherwise look through them.
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0 && reason != nullptr)
        *reason = systemReason();
    return fd;
}

void closeDescriptor(int fd)
{
    ::close(fd);
}

QString syncToDisk(int fd)
{
    return ::fsync(fd) == 0 ? QString() : systemReason();
}

QString replace(const QString &from, const QString &to)
{
    if (::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0)
        return {};
    return systemReason();
}

} // namespace FileSystem
