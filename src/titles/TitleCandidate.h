#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

namespace titles {

struct TrackTitle
{
    QString title;
    QString artist; // the track's own credit; empty = the disc's artist

    friend bool operator==(const TrackTitle &, const TrackTitle &) = default;
};

// One answer for a disc: where it comes from, what it would set.
struct TitleCandidate
{
    enum class Source { Remembered, CdText, MusicBrainz, Cddb };

    Source source = Source::CdText;
    bool inexact = false;    // a close match (CDDB, MusicBrainz by table of contents)
    QString artist;          // whole artist credit, join phrases included
    QString album;
    QString year;
    QList<TrackTitle> tracks; // from the disc's first listed track on
    QDateTime savedAt;       // remembered titles only

    // "Artiste — Album (année)", leaving out what is unknown.
    QString label() const;
    // "Titres enregistrés (date)", "CD-Text", "MusicBrainz", "MusicBrainz (approchant)",
    // "CDDB" or "CDDB approché".
    QString sourceText() const;
    // A track with its own artist other than the disc's: a compilation.
    bool hasTrackArtists() const;

    friend bool operator==(const TitleCandidate &, const TitleCandidate &) = default;
};

// Candidates whose track count is not the disc's are never offered: their titles
// would land on the wrong tracks.
bool fitsDisc(const TitleCandidate &candidate, int listedTrackCount);

} // namespace titles
