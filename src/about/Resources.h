#pragma once

#include <QIcon>

// Registers the pictures compiled into the static library (program icon, track icon, About
// picture); a static library's resources are dropped by the linker unless registered. Call it
// once at start-up, before any window; calling it again does no harm.
void sonalburyInitResources();

// The program icon with each size drawn for it (16, 32, 48 and 256 pixels), so that small
// renderings are not blurred down-scalings of the large one.
QIcon sonalburyIcon();
