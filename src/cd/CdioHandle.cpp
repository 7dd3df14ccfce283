#include "CdioHandle.h"

#include <QFile>

QByteArray cdioPath(const QString &path)
{
#ifdef Q_OS_WIN
    return path.toUtf8();
#else
    return QFile::encodeName(path);
#endif
}

QString fromCdioPath(const char *name)
{
#ifdef Q_OS_WIN
    return QString::fromUtf8(name);
#else
    return QFile::decodeName(name);
#endif
}

CdioPtr openCdio(const QString &path, driver_id_t driver)
{
    return CdioPtr(cdio_open(cdioPath(path).constData(), driver));
}
