#pragma once

#include <QString>

// The files a conversion writes into the music folder: how they are named while written,
// created, and removed. The system calls behind them are in FileSystem.
namespace OutputFiles {

// Anything at path, a dangling symbolic link included: writing there would follow or
// collide with it.
bool exists(const QString &path);

// A regular file, not a symbolic link: it can be replaced in one step.
bool isPlainFile(const QString &path);

// A directory lookup's view: a regular file that is not hidden.
bool visibleFileExists(const QString &path);

// Removes the entry at path (a link itself, never what it points to; never a folder).
// Returns an empty text on success, otherwise the reason.
QString remove(const QString &path);

// Removes the entry at path when there is one; errors are ignored (used to clean up after
// a failure that is already being reported).
void discard(const QString &path);

// The hidden name a file called fileName is written under until it is complete, in the
// same folder, so that the quiz never picks up a file cut short.
QString workingName(const QString &fileName);

// Creates path as a new file open for writing: whatever already sits there (an earlier
// file, a link planted towards a file elsewhere, a FIFO that would block the writer) is
// removed, never followed nor reused, and the file is created exclusively. Returns the
// descriptor, or -1 with the reason in *reason when reason is given.
int createFresh(const QString &path, QString *reason);

} // namespace OutputFiles
