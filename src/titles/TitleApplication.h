#pragma once

#include "TitleCandidate.h"

#include <QStringList>

namespace titles {

// What the track list and the album and artist boxes hold.
struct TitleFields
{
    QStringList trackTexts;   // one per listed track
    QStringList trackArtists; // one per listed track: the artist tag of that track
    QString album;
    QString artist;
};

// The fields once a chosen candidate is applied: a track the candidate does not name,
// or names with a blank title, keeps its text; album and artist come from the candidate
// when it has them. On a compilation each track's artist is its own credit, otherwise
// every track carries the disc's artist.
TitleFields applyCandidate(const TitleCandidate &candidate, const TitleFields &current);

// The fields as titles to remember (source Remembered): what the user applied or typed.
// A track artist equal to the disc's is not stored as the track's own.
TitleCandidate rememberedFrom(const TitleFields &fields);

} // namespace titles
