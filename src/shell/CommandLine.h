#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <set>

// What the command line asks for.
struct CommandLine
{
    QStringList images;        // --image FILE, as many as given
    bool convert = false;      // --convert [LIST]: no window
    QString trackList;         // the LIST of --convert, empty = every track
    int jobs = 0;              // --jobs N; 0 = one per core
    bool titles = false;       // --titres: look the disc's titles up before converting
    QString email;             // --courriel ADRESSE: the CDDB address for this run
    bool replace = false;      // --remplacer: a track replaces a file of its name
    bool equalLoudness = false;     // --volume-egal: every track at one loudness, this run
    bool cutLeadingSilence = false; // --couper-silence: the silence tracks open with goes
    bool help = false;
    QString error;             // set when the arguments are not understood

    static CommandLine parse(const QStringList &arguments);
    static QString usage(const QString &program);

    // "1,3-5" -> {1, 3, 4, 5}; nullopt when the text is not such a list.
    static std::optional<std::set<int>> parseTrackList(const QString &text);
};
