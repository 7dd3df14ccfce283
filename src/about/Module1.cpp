#include "Module1.h"

#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#include <string>
#endif

QString stripQuotes(const QString &command)
{
    QString text = command;
    for (qsizetype quote = text.indexOf(u'"'); quote >= 0; quote = text.indexOf(u'"')) {
        if (quote == 0)
            text.remove(0, 1);
        else
            text.truncate(quote);
    }
    return text;
}

#ifdef Q_OS_WIN

QString TrouverNavigateur()
{
    // Read access only: a full-access request fails for ordinary users.
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, L"HTTP\\Shell\\Open\\command", 0, KEY_READ, &key)
        != ERROR_SUCCESS) {
        return {};
    }
    QString value;
    DWORD bytes = 0;
    // The wide API and a buffer sized from the value: paths outside the ANSI code page and
    // long commands come through whole. The text is used as stored, unexpanded.
    if (RegQueryValueExW(key, nullptr, nullptr, nullptr, nullptr, &bytes) == ERROR_SUCCESS
        && bytes > 0) {
        std::wstring buffer(bytes / sizeof(wchar_t) + 1, L'\0');
        DWORD size = bytes;
        if (RegQueryValueExW(key, nullptr, nullptr, nullptr,
                             reinterpret_cast<LPBYTE>(buffer.data()), &size)
            == ERROR_SUCCESS) {
            buffer.resize(size / sizeof(wchar_t));
            // The stored value may or may not end with its NUL.
            while (!buffer.empty() && buffer.back() == L'\0')
                buffer.pop_back();
            value = QString::fromStdWString(buffer);
        }
    }
    RegCloseKey(key);
    // An empty default value finds no browser.
    return value.isEmpty() ? QString() : stripQuotes(value);
}

bool LancerNavigateur(const QString &navigateur, const QString &adresse)
{
    if (navigateur.isEmpty())
        return false;
    // The registered command may carry its own arguments (unquoted path followed by %1 and
    // the like): CreateProcess gets the command line exactly as the command, a space and
    // the address, as a shell would pass it.
    std::wstring commandLine = (navigateur + u' ' + adresse).toStdWString();
    QProcess process;
    process.setProgram(navigateur);
    process.setCreateProcessArgumentsModifier(
        [&commandLine](QProcess::CreateProcessArguments *arguments) {
            arguments->applicationName = nullptr;
            arguments->arguments = commandLine.data();
        });
    return process.startDetached();
}

#else

QString TrouverNavigateur()
{
    return QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
}

bool LancerNavigateur(const QString &navigateur, const QString &adresse)
{
    if (navigateur.isEmpty())
        return false;
    return QProcess::startDetached(navigateur, {adresse});
}

#endif
