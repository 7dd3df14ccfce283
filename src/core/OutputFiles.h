#pragma once

#include <QString>

// Small file-system helpers for the files a conversion writes into the music folder.
namespace OutputFiles {

// Anything at path, a dangling symbolic link included: writing there would follow or
// collide with it.
bool exists(const QString &path);

// A regular file, not a symbolic link: it can be replaced in one step.
bool isPlainFile(const QString &path);

// A directory lookup's view: a regular file that is not hidden.
bool visibleFileExists(const QString &path);

// Removes the entry at path. Returns an empty text on success, otherwise the system's
// reason.
QString remove(const QString &path);

// Removes the entry at path when there is one; errors are ignored (used to clean up after
// a failure that is already being reported).
void discard(const QString &path);

} // namespace OutputFiles
