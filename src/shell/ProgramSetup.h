#pragma once

#include "SignalGuard.h"

#include <QString>

#include <functional>
#include <memory>

class QObject;

// Process-wide settings that must be in place before or right after the application object.
namespace ProgramSetup {

// Before the application object: the playback back end and similar environment choices.
void beforeApplication();

// The folder of the running executable, beside which the music folder is made. Empty, with
// *problem set to what to tell the user, when that folder cannot be known or its name
// cannot be handled (not UTF-8): the music folder is then never built, as an empty program
// folder would put it at the root of the disk. Call once the application object exists.
QString programFolder(QString *problem);

// Removes what runs of this program that were killed left behind (working files of the
// remembered titles, private folders of disc images), and only when their process is gone.
void sweepLeftovers();

// The fonts the windows are drawn for, with substitutes where they are missing, and Qt's
// own French texts (standard buttons, the editor's context menu).
void applyFonts();
void installFrenchTranslation();

// A request to end the program from outside (SIGTERM at logout, SIGINT, SIGHUP, SIGQUIT) calls
// terminate on the event loop of context (the window: it closes as its close box does, so
// that a conversion under way is stopped and cleaned up). Call once the window exists; the
// signals are routed while the guard lives.
std::unique_ptr<SignalGuard> closeOnTerminationSignals(QObject &context, std::function<void()> terminate);

} // namespace ProgramSetup
