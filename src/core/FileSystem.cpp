#include "FileSystem.h"

#include "CoreTexts.h"

#include <system_error>

// The part that std::filesystem makes portable.
namespace FileSystem {

QString removeEntry(const QString &path)
{
    std::error_code error;
    // symlink_status: the entry itself, not what a link leads to.
    const auto status = std::filesystem::symlink_status(fsPath(path), error);
    if (error || status.type() == std::filesystem::file_type::not_found)
        return {};
    if (status.type() == std::filesystem::file_type::directory)
        return CoreTexts::entryIsFolder();
    std::filesystem::remove(fsPath(path), error);
    if (error)
        return QString::fromLocal8Bit(error.message());
    return {};
}

} // namespace FileSystem
