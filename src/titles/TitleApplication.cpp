#include "TitleApplication.h"

namespace titles {

TitleFields applyCandidate(const TitleCandidate &candidate, const TitleFields &current)
{
    TitleFields result = current;
    if (!candidate.album.trimmed().isEmpty())
        result.album = candidate.album.trimmed();
    if (!candidate.artist.trimmed().isEmpty())
        result.artist = candidate.artist.trimmed();
    while (result.trackArtists.size() < result.trackTexts.size())
        result.trackArtists << QString();
    for (qsizetype i = 0; i < result.trackTexts.size(); ++i) {
        QString trackArtist = result.artist;
        if (i < candidate.tracks.size()) {
            const TrackTitle &track = candidate.tracks[i];
            const QString title = track.title.trimmed();
            if (!title.isEmpty())
                result.trackTexts[i] = title;
            if (!track.artist.trimmed().isEmpty())
                trackArtist = track.artist.trimmed();
        }
        result.trackArtists[i] = trackArtist;
    }
    return result;
}

TitleCandidate rememberedFrom(const TitleFields &fields)
{
    TitleCandidate candidate;
    candidate.source = TitleCandidate::Source::Remembered;
    candidate.album = fields.album;
    candidate.artist = fields.artist;
    for (qsizetype i = 0; i < fields.trackTexts.size(); ++i) {
        const QString artist = i < fields.trackArtists.size() ? fields.trackArtists[i] : QString();
        candidate.tracks << TrackTitle{fields.trackTexts[i], artist == fields.artist ? QString() : artist};
    }
    return candidate;
}

} // namespace titles
