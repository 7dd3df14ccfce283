#pragma once

#include "BatchRunner.h"

#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

// How far the window's batch has come, for the second panel of the status bar and the
// progress bar: the track the status line is at, out of how many, and the time left.
//
// The time left is estimated from the work done so far. A track's work is its reading and
// its encoding, each weighed by the track's length. With several jobs the two run side by
// side, so the batch ends when the slower of them has done all its work: the time left is
// the larger of the two estimates, each at its own pace so far (the encoding's counted from
// when the first encoding began, since nothing can be encoded before a track is read).
// With one job the two alternate and each pace already includes the other's share.
class BatchOverview
{
public:
    // trackFrames: the length of every item of the list, item 1 first. encodes: an MP3 file
    // follows each reading (not WAV files alone).
    BatchOverview(std::vector<std::int32_t> trackFrames, bool encodes);

    // reached and nextPosition as the batch reports them; ticked: whether each list item
    // (item 1 first) is ticked now, for the items the batch has not reached yet; elapsed:
    // seconds since the batch began.
    void update(const std::vector<BatchRunner::TrackLine> &reached, std::int32_t nextPosition,
                const std::vector<bool> &ticked, double elapsed);

    // "Piste 3 sur 12 — 2 min 10 s restantes": the track the status line is at, among the
    // tracks of the batch; without the time until there is work to judge it by. Empty for a
    // batch without any track.
    QString text() const;
    std::optional<double> secondsLeft() const { return m_secondsLeft; }

    // The progress bar with several jobs: the track being read, else empty.
    std::int32_t barMax() const { return m_barMax; }
    std::int32_t barValue() const { return m_barValue; }

private:
    std::int32_t framesOf(std::int32_t position) const;

    std::vector<std::int32_t> m_trackFrames;
    bool m_encodes;
    std::optional<double> m_encodingSince; // when the first encoding began
    double m_previousElapsed = 0.0;
    std::int32_t m_current = 0;
    std::int32_t m_total = 0;
    std::optional<double> m_secondsLeft;
    std::int32_t m_barMax = 0;
    std::int32_t m_barValue = 0;
};
