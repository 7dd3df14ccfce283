#pragma once

#include <QString>
#include <QStringList>

// The music folder beside the executable, where the quiz game reads the MP3 files.
class MusicFolder
{
public:
    // programFolder & "/musiques/": always ends with a separator.
    static QString path(const QString &programFolder);

    // Creates folder when it is missing and checks that files can be written in it. Empty
    // when it can be used; otherwise the message for the user: which folder, why, and what
    // to do (a program unpacked under Program Files cannot write beside itself without
    // administrator rights).
    static QString prepare(const QString &folder);

    // Names of the normal files of folder (no hidden or system files, no folders), every
    // extension, sorted by name without regard to case.
    static QStringList list(const QString &folder);

    // Sends a file to the trash. On failure returns false with the system's reason.
    static bool moveToTrash(const QString &filePath, QString *error);
};
