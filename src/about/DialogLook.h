#pragma once

#include <QFont>

class QWidget;

// What the Help and About windows share: their font, their frame, their place on the screen.
namespace DialogLook {

// "MS Sans Serif" at the given size, with substitutes where that family is missing.
QFont msSansSerif(qreal pointSize);

// A fixed-size dialog frame: caption and close box only, no minimize, maximize or
// context-help button, and no resizing.
void setFixedDialogFrame(QWidget &dialog, QSize clientSize);

// Centres the window on the primary screen using its outer size, frame included. Before the
// window manager has framed the window its frame is estimated, and the window is centred
// again once framed. Not clamped: a window larger than the screen is placed partly off it.
void centreOnScreen(QWidget &window);

// Makes the main window the owner of the dialog's native window, which keeps the dialog out
// of the taskbar (an owned window on Windows, a transient one for X11 window managers).
void keepOutOfTaskbar(QWidget &dialog);

} // namespace DialogLook
