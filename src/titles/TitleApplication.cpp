#include "TitleApplication.h"

#include <algorithm>

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

std::optional<TitleCandidate> rememberedAfterBatch(const std::optional<TitleCandidate> &before,
                                                   const TitleFields &fields, const TitleFields &defaults,
                                                   const QList<ConvertedTrack> &converted)
{
    TitleCandidate result;
    result.source = TitleCandidate::Source::Remembered;
    if (before)
        result = *before;
    while (result.tracks.size() < fields.trackTexts.size())
        result.tracks << TrackTitle{};
    const TitleCandidate now = rememberedFrom(fields);
    bool produced = false;
    for (const ConvertedTrack &track : converted) {
        if (track.index < 0 || track.index >= result.tracks.size())
            continue;
        TrackTitle &kept = result.tracks[track.index];
        if (!track.produced) {
            if (track.failed)
                kept = TrackTitle{};
            continue;
        }
        produced = true;
        // A track converted under its default name ("Piste n") was not named: what was
        // remembered for it stays.
        if (track.index < defaults.trackTexts.size() && track.title == defaults.trackTexts[track.index])
            continue;
        kept = TrackTitle{track.title, track.index < now.tracks.size() ? now.tracks[track.index].artist : QString()};
    }
    if (produced && fields.album != defaults.album) {
        result.album = fields.album;
        result.year.clear();
    }
    if (produced && fields.artist != defaults.artist)
        result.artist = fields.artist;
    const bool anyTitle = std::any_of(result.tracks.cbegin(), result.tracks.cend(), [](const TrackTitle &t) {
        return !t.title.trimmed().isEmpty() || !t.artist.trimmed().isEmpty();
    });
    if (!anyTitle && result.album.trimmed().isEmpty() && result.artist.trimmed().isEmpty())
        return std::nullopt;
    return result;
}

} // namespace titles
