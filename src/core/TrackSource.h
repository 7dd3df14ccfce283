#pragma once

#include <QString>
#include <cstdint>

// What one track is encoded with: its title (also the name its files and messages take)
// and the album and artist tags, as the list gives them when the batch reaches the track.
struct TrackTags
{
    QString title;
    QString album;
    QString artist; // the track's own artist on a compilation, else the disc's
};

// The track list as the batch reads it: read-only, positions counted from 1, each read
// giving the list as it is at that moment (a tick or a title changed during a batch counts
// for the tracks not reached yet). Safe to call from any thread.
class TrackSource
{
public:
    virtual ~TrackSource() = default;
    virtual std::int32_t trackCount() const = 0;
    virtual bool trackChecked(std::int32_t position) const = 0;
    virtual TrackTags trackTags(std::int32_t position) const = 0;
};
