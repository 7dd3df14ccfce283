#pragma once

#include "TrackSource.h"

#include <QObject>
#include <QString>
#include <cstdint>
#include <mutex>
#include <vector>

// One track of the disc as the list holds it.
struct ListedTrack
{
    std::int32_t number = 0; // the disc's own track number
    QString duration;        // "mm:ss"
    QString text;            // the title, as the disc lists it, typed or applied
    bool checked = false;    // ticked for the next conversion
    QString artist;          // its own artist (a compilation's); empty = the disc's
};

// The disc's tracks and the album and artist tags: the one list the window shows and the
// terminal fills, and that the batch reads as a TrackSource. It is written from the thread
// it lives in (the interface thread) and read from any thread: a batch with several jobs
// reads it on its reading thread while the user may tick a track or rename it.
class TrackList : public QObject, public TrackSource
{
    Q_OBJECT

public:
    TrackList();

    // Every track, in disc order.
    std::vector<ListedTrack> tracks() const;
    // A track, from 1; an empty one out of range.
    ListedTrack track(std::int32_t position) const;
    QString album() const;
    QString artist() const;

    // No disc: no track, and the album and artist tags as the window opens them (titles
    // applied to a disc belong to it).
    void clear();
    // The tracks of a disc; the tags are left as they are.
    void setTracks(std::vector<ListedTrack> tracks);
    void setText(std::int32_t position, const QString &text);
    void setChecked(std::int32_t position, bool checked);
    void setAllChecked(bool checked);
    void setTrackArtist(std::int32_t position, const QString &artist);
    void setAlbum(const QString &album);
    void setArtist(const QString &artist);

    // TrackSource
    std::int32_t trackCount() const override;
    bool trackChecked(std::int32_t position) const override;
    TrackTags trackTags(std::int32_t position) const override;

signals:
    // The list was replaced.
    void tracksReset();
    // A track's text, tick or own artist changed.
    void trackChanged(std::int32_t position);
    // The album or the artist tag changed.
    void discTagsChanged();

private:
    bool inRange(std::int32_t position) const; // under m_mutex
    template <typename Change>
    void changeTrack(std::int32_t position, Change &&change);

    mutable std::mutex m_mutex;
    std::vector<ListedTrack> m_tracks;
    QString m_album;
    QString m_artist;
};
