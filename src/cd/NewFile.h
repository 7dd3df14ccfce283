#pragma once

#include <QString>

#include <filesystem>

// Working files are new files: whatever already sits at a working name (an earlier file, a
// link planted towards a file elsewhere, a FIFO that would block the writer) is neither
// followed nor reused.
class NewFile
{
public:
    // Removes the entry at path if there is one: a file, a FIFO, a link itself (never
    // what it points to). A folder is left alone and reported. Returns an empty text, or
    // the reason in French.
    static QString removeEntry(const QString &path);

    // Creates path as a new empty file open for writing, refusing any existing entry and
    // never following a link. Returns the descriptor, or -1 with the system's reason.
    static int create(const QString &path, QString *reason);

    // path as the file system spells it (UTF-16 on Windows, the local 8-bit encoding elsewhere).
    static std::filesystem::path fsPath(const QString &path);
};
