#include "TrackList.h"

#include "CoreTexts.h"

#include <utility>

TrackList::TrackList() : m_album(CoreTexts::defaultAlbum()) {}

bool TrackList::inRange(std::int32_t position) const
{
    return position >= 1 && static_cast<std::size_t>(position) <= m_tracks.size();
}

std::vector<ListedTrack> TrackList::tracks() const
{
    const std::lock_guard lock(m_mutex);
    return m_tracks;
}

ListedTrack TrackList::track(std::int32_t position) const
{
    const std::lock_guard lock(m_mutex);
    return inRange(position) ? m_tracks[static_cast<std::size_t>(position - 1)] : ListedTrack{};
}

QString TrackList::album() const
{
    const std::lock_guard lock(m_mutex);
    return m_album;
}

QString TrackList::artist() const
{
    const std::lock_guard lock(m_mutex);
    return m_artist;
}

void TrackList::clear()
{
    setTracks({});
    setAlbum(CoreTexts::defaultAlbum());
    setArtist(QString());
}

void TrackList::setTracks(std::vector<ListedTrack> tracks)
{
    {
        const std::lock_guard lock(m_mutex);
        m_tracks = std::move(tracks);
    }
    emit tracksReset();
}

// Applies change to the track at position and tells the viewers, only when it changed
// something: a viewer that writes back what it shows does not loop.
template <typename Change>
void TrackList::changeTrack(std::int32_t position, Change &&change)
{
    {
        const std::lock_guard lock(m_mutex);
        if (!inRange(position) || !change(m_tracks[static_cast<std::size_t>(position - 1)]))
            return;
    }
    emit trackChanged(position);
}

void TrackList::setText(std::int32_t position, const QString &text)
{
    changeTrack(position, [&](ListedTrack &track) { return std::exchange(track.text, text) != text; });
}

void TrackList::setChecked(std::int32_t position, bool checked)
{
    changeTrack(position, [&](ListedTrack &track) { return std::exchange(track.checked, checked) != checked; });
}

void TrackList::setAllChecked(bool checked)
{
    for (std::int32_t position = 1; position <= trackCount(); ++position)
        setChecked(position, checked);
}

void TrackList::setTrackArtist(std::int32_t position, const QString &artist)
{
    changeTrack(position, [&](ListedTrack &track) { return std::exchange(track.artist, artist) != artist; });
}

void TrackList::setAlbum(const QString &album)
{
    {
        const std::lock_guard lock(m_mutex);
        if (std::exchange(m_album, album) == album)
            return;
    }
    emit discTagsChanged();
}

void TrackList::setArtist(const QString &artist)
{
    {
        const std::lock_guard lock(m_mutex);
        if (std::exchange(m_artist, artist) == artist)
            return;
    }
    emit discTagsChanged();
}

std::int32_t TrackList::trackCount() const
{
    const std::lock_guard lock(m_mutex);
    return static_cast<std::int32_t>(m_tracks.size());
}

bool TrackList::trackChecked(std::int32_t position) const
{
    const std::lock_guard lock(m_mutex);
    return inRange(position) && m_tracks[static_cast<std::size_t>(position - 1)].checked;
}

TrackTags TrackList::trackTags(std::int32_t position) const
{
    const std::lock_guard lock(m_mutex);
    TrackTags tags;
    tags.album = m_album;
    tags.artist = m_artist;
    if (!inRange(position))
        return tags;
    const ListedTrack &track = m_tracks[static_cast<std::size_t>(position - 1)];
    tags.title = track.text;
    // A compilation's track carries its own artist.
    if (!track.artist.isEmpty())
        tags.artist = track.artist;
    return tags;
}
