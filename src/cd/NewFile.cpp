#include "NewFile.h"

#include <QFile>

#include <cerrno>
#include <filesystem>
#include <system_error>

#include <fcntl.h>
#ifdef _WIN32
#include <io.h>
#include <sys/stat.h>
#else
#include <unistd.h>
#endif

std::filesystem::path NewFile::fsPath(const QString &path)
{
#ifdef _WIN32
    return std::filesystem::path(path.toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(path).toStdString());
#endif
}

QString NewFile::removeEntry(const QString &path)
{
    std::error_code error;
    // symlink_status: the entry itself, not what a link leads to.
    const auto status = std::filesystem::symlink_status(fsPath(path), error);
    if (error || status.type() == std::filesystem::file_type::not_found)
        return {};
    if (status.type() == std::filesystem::file_type::directory)
        return QStringLiteral("un dossier porte ce nom");
    std::filesystem::remove(fsPath(path), error);
    if (error)
        return QString::fromLocal8Bit(error.message());
    return {};
}

int NewFile::create(const QString &path, QString *reason)
{
#ifdef _WIN32
    const int fd = ::_wopen(reinterpret_cast<const wchar_t *>(path.utf16()),
                            _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                            _S_IREAD | _S_IWRITE);
#else
    // O_EXCL refuses any existing entry, a dangling link included; O_NOFOLLOW says the
    // same of links for systems that would otherwise look through them.
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
#endif
    if (fd < 0 && reason != nullptr)
        *reason = QString::fromLocal8Bit(std::generic_category().message(errno));
    return fd;
}
