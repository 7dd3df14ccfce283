#pragma once

#include <QString>

// Finding and starting the user's web browser.

// The command registered for opening web addresses, stripped down to the browser's path;
// empty when none is found. Windows: the default value of HKEY_CLASSES_ROOT\HTTP\Shell\Open\command.
// Elsewhere: the desktop's opener, xdg-open, found on the PATH.
QString TrouverNavigateur();

// Strips a registered command down to the program's path: while the text holds a double
// quote, a leading quote is removed, and any later one cuts the text just before it.
QString stripQuotes(const QString &command);

// Starts the browser command on the address in a process of its own, without waiting.
// On Windows the command line is the command, one space and the address, exactly; elsewhere
// the command is the program and the address its only argument. False when it cannot start.
bool LancerNavigateur(const QString &navigateur, const QString &adresse);
