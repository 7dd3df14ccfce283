#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

class QRegularExpression;

// The small files the program keeps for itself (titles remembered per disc, its lock in the
// music folder): what sits at their names may have been planted there (a link towards a
// file elsewhere, a FIFO that would block a reader for ever) or cut short (a full disk, a
// killed process). They are therefore read without following a link or opening anything
// but a regular file, and saved by a complete new file taking their name in one step.
namespace StoredFile {

struct Contents
{
    enum class Status
    {
        Read,     // bytes holds the whole file
        Missing,  // nothing at the name
        NotAFile, // a link, a folder, a FIFO, a device...: not opened
        TooLarge, // larger than the reader accepts: not read
        Failed,   // could not be read; reason says why
    };
    Status status = Status::Missing;
    QByteArray bytes;
    QString reason;
};

// Reads the regular file at path, at most maxBytes of it, never blocking.
Contents read(const QString &path, qint64 maxBytes);

// Saves bytes as the file at path: written in full under a working name beside it (made
// with the process's ID), flushed to the disk, then renamed over path. A link at path is
// replaced, never followed; on any failure the previous file stays whole and no working
// file is left. Returns an empty text, or the reason in French.
QString replace(const QString &path, const QByteArray &bytes);

// The working names replace() uses for path start with this; the process ID follows.
QString workingPrefix(const QString &path);

// Removes the entry at path (a link itself, never what it leads to); a folder is left
// alone and reported. Returns an empty text, or the reason in French.
QString remove(const QString &path);

// True when no process with this ID runs any more (on this machine). When that cannot be
// known, false: what such a process made is left alone.
bool processGone(qint64 pid);

// Removes what a process of this program left in folder when it ended without cleaning up:
// the entries whose name matches names, whose capture "pid" names a process that is gone,
// owned by this user. A folder among them goes with its contents (links inside are removed,
// not followed); a link is removed itself. Returns how many entries went.
int sweep(const QString &folder, const QRegularExpression &names);

} // namespace StoredFile
