#include "TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QtGlobal>

TestEnvironment::TestEnvironment()
{
    if (!m_dir.isValid())
        qFatal("cannot create a temporary folder for the test environment");
    isolate(m_dir.path());
}

QString TestEnvironment::freshFolder(const QString &name) const
{
    QDir root(m_dir.path());
    QDir(root.filePath(name)).removeRecursively();
    root.mkpath(name);
    return root.filePath(name);
}

void TestEnvironment::isolate(const QString &root)
{
    const QDir dir(root);
    const auto set = [&dir](const char *variable, const QString &sub) {
        dir.mkpath(sub);
        qputenv(variable, QDir::toNativeSeparators(dir.filePath(sub)).toLocal8Bit());
    };
    set("HOME", QStringLiteral("home"));
    set("XDG_CONFIG_HOME", QStringLiteral("home/.config"));
    set("XDG_DATA_HOME", QStringLiteral("home/.local/share"));
    set("XDG_CACHE_HOME", QStringLiteral("home/.cache"));
    set("XDG_RUNTIME_DIR", QStringLiteral("runtime"));
    QFile::setPermissions(dir.filePath(QStringLiteral("runtime")),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}
