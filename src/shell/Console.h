#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdio>

// The terminal the program writes to in its terminal modes (--convert, --help, a wrong
// argument). On Windows the program is a window program with no console of its own.
namespace Console {

// Windows: when standard output and error lead nowhere (started from a console, not
// redirected), writes to the console the program was started from; sets that console to
// UTF-8 and lets it understand the escape sequences that redraw the progress line. Does
// nothing elsewhere.
void attachToParent();

// The program's arguments as typed: on Windows from the wide command line, so that a path
// with letters outside the ANSI code page survives; elsewhere in the locale's encoding.
QStringList arguments(int argc, char *argv[]);

// Writes text to stream and flushes it. On Windows a console gets the text as UTF-16,
// readable whatever its code page; a file or a pipe gets UTF-8. Elsewhere the locale's
// encoding.
void write(std::FILE *stream, const QString &text);

} // namespace Console
