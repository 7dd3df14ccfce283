#include "OutputFiles.h"

#include <QFile>
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
    QFile file(path);
    if (file.remove())
        return {};
    QString reason = file.errorString();
    if (reason.isEmpty())
        reason = QStringLiteral("raison inconnue");
    return reason;
}

void discard(const QString &path)
{
    if (exists(path))
        QFile::remove(path);
}

} // namespace OutputFiles
