#include "TestPlatform.h"

#include <QFile>
#include <QtGlobal>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <unistd.h>
#endif

bool TestPlatform::folderPermissionsBind()
{
#ifdef Q_OS_WIN
    return false;
#else
    return ::geteuid() != 0;
#endif
}

std::unique_ptr<QSettings> TestPlatform::rawSettings(const QString &location)
{
#ifdef Q_OS_WIN
    return std::make_unique<QSettings>(location, QSettings::NativeFormat);
#else
    return std::make_unique<QSettings>(location, QSettings::IniFormat);
#endif
}

bool TestPlatform::hardLink(const QString &existing, const QString &newName)
{
#ifdef Q_OS_WIN
    return CreateHardLinkW(reinterpret_cast<const wchar_t *>(newName.utf16()),
                           reinterpret_cast<const wchar_t *>(existing.utf16()), nullptr)
           != 0;
#else
    return ::link(QFile::encodeName(existing).constData(), QFile::encodeName(newName).constData()) == 0;
#endif
}
