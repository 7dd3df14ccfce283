#include "TrackTitles.h"

namespace TrackTitles {

titles::TitleFields fieldsOf(const TrackList &list)
{
    titles::TitleFields fields;
    for (const ListedTrack &track : list.tracks()) {
        fields.trackTexts << track.text;
        fields.trackArtists << track.artist;
    }
    fields.album = list.album();
    fields.artist = list.artist();
    return fields;
}

void apply(TrackList &list, const titles::TitleFields &fields)
{
    for (std::int32_t position = 1; position <= list.trackCount(); ++position) {
        const qsizetype i = position - 1;
        if (i >= fields.trackTexts.size())
            break;
        list.setText(position, fields.trackTexts[i]);
        list.setTrackArtist(position, i < fields.trackArtists.size() ? fields.trackArtists[i] : QString());
    }
    list.setAlbum(fields.album);
    list.setArtist(fields.artist);
}

} // namespace TrackTitles
