#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

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

// The bytes of text for the terminal: UTF-8 on Windows (the console is set to it, and
// redirected output is read as UTF-8), the locale's encoding elsewhere.
QByteArray encode(const QString &text);

} // namespace Console
