#pragma once

#include "TitleCandidate.h"

#include <QList>
#include <QStringList>
#include <optional>

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

// A ticked track of a batch that has ended.
struct ConvertedTrack
{
    int index = 0;         // in the track list, from 0
    QString title;         // the text it was converted with
    bool produced = false; // it gave its file
    bool failed = false;   // it reported an error (a cancel stops a track without either)
};

// What to remember for a disc once a batch has ended, over what was remembered before: a
// track that gave its file is remembered with the title it was converted with; a track
// that failed forgets its title, which may be what made it fail and would then fail it
// again at every later run; a track not converted, or stopped by a cancel, keeps what it
// had. A text, album or artist equal to its default (the fields as the list opens) names
// nothing and replaces nothing: a plain conversion keeps the titles remembered before.
// The album and the artists are this batch's once a track gave its file. Empty when
// nothing is left worth remembering.
std::optional<TitleCandidate> rememberedAfterBatch(const std::optional<TitleCandidate> &before,
                                                   const TitleFields &fields, const TitleFields &defaults,
                                                   const QList<ConvertedTrack> &converted);

} // namespace titles
