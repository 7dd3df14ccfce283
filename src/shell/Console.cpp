#include "Console.h"

#include <QtGlobal>

namespace {

void writeBytes(std::FILE *stream, const QByteArray &bytes)
{
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
    std::fflush(stream);
}

QStringList fromArgv(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

} // namespace

#ifdef Q_OS_WIN
#include <windows.h>

#include <io.h>
#include <shellapi.h>

#ifndef ENABLE_VIRTUAL_TERMINAL_PROCESSING
#define ENABLE_VIRTUAL_TERMINAL_PROCESSING 0x0004
#endif

namespace {

bool leadsSomewhere(DWORD handle)
{
    const HANDLE h = GetStdHandle(handle);
    return h != nullptr && h != INVALID_HANDLE_VALUE && GetFileType(h) != FILE_TYPE_UNKNOWN;
}

} // namespace

void Console::attachToParent()
{
    const bool outRedirected = leadsSomewhere(STD_OUTPUT_HANDLE);
    const bool errRedirected = leadsSomewhere(STD_ERROR_HANDLE);
    if ((!outRedirected || !errRedirected) && AttachConsole(ATTACH_PARENT_PROCESS)) {
        // Streams that a caller redirected (to a file, a pipe) stay where they lead.
        if (!outRedirected)
            std::freopen("CONOUT$", "w", stdout);
        if (!errRedirected)
            std::freopen("CONOUT$", "w", stderr);
    }
    if (GetConsoleWindow() == nullptr)
        return;
    SetConsoleOutputCP(CP_UTF8);
    for (const DWORD which : {STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
        const HANDLE h = GetStdHandle(which);
        DWORD mode = 0;
        if (GetConsoleMode(h, &mode))
            SetConsoleMode(h, mode | ENABLE_PROCESSED_OUTPUT | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
    }
}

QStringList Console::arguments(int argc, char *argv[])
{
    QStringList arguments;
    int count = 0;
    if (LPWSTR *wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
        for (int i = 0; i < count; ++i)
            arguments << QString::fromWCharArray(wide[i]);
        LocalFree(wide);
        return arguments;
    }
    return fromArgv(argc, argv);
}

void Console::write(std::FILE *stream, const QString &text)
{
    std::fflush(stream);
    const HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    DWORD mode = 0;
    if (h != INVALID_HANDLE_VALUE && GetConsoleMode(h, &mode)) {
        // A console shows UTF-16 as it is; bytes would be read in its code page, which a
        // console started before the program may keep (accents come out garbled).
        const auto *wide = reinterpret_cast<const wchar_t *>(text.utf16());
        DWORD left = static_cast<DWORD>(text.size());
        while (left > 0) {
            DWORD written = 0;
            if (!WriteConsoleW(h, wide, left, &written, nullptr) || written == 0)
                break;
            wide += written;
            left -= written;
        }
        return;
    }
    writeBytes(stream, text.toUtf8());
}

#else

void Console::attachToParent() {}

QStringList Console::arguments(int argc, char *argv[])
{
    return fromArgv(argc, argv);
}

void Console::write(std::FILE *stream, const QString &text)
{
    writeBytes(stream, text.toLocal8Bit());
}

#endif
