#pragma once

#include <cstdint>
#include <optional>

// What equal loudness and the cut of a track's leading silence decide, as pure functions of
// a track's measured levels and lengths. Quiz players hear tracks of many discs one after
// the other: each track is brought to one loudness by one constant gain (never a limiter:
// the music's dynamics stay), and the silence some tracks open with goes.
namespace levelRules {

// ReplayGain 2.0's reference loudness: loud enough for a quiz, with room for the peaks of
// most masterings.
constexpr double TargetLufs = -18.0;
// Room under full scale for what MP3 coding adds to the peaks.
constexpr double PeakCeilingDbtp = -1.0;
// One gating block: below it a track's loudness means nothing.
constexpr double ShortestMeasuredSeconds = 0.4;

// A loudness to act on: a track of at least one gating block that is not silence.
bool hasLoudness(double loudnessLufs, std::int64_t frames, int sampleRate);

// The constant gain of one track.
struct TrackGain
{
    double db = 0.0;
    // The peaks kept the track below the target loudness (by more than the 0.05 LU that a
    // figure to one decimal shows).
    bool limitedByPeak = false;
};

// loudness: integrated loudness in LUFS (-infinity for silence); truePeakDbtp: its true
// peak in dBTP. A track shorter than one gating block, or silent, keeps its level.
TrackGain trackGain(double loudnessLufs, double truePeakDbtp, std::int64_t frames,
                    int sampleRate);

// A sound starts where a 10 ms window's peak rises above -60 dBFS: below that nothing is
// heard in a quiz room, while the quietest fade-in of a record is still above it.
constexpr double SoundThresholdDbfs = -60.0;
constexpr double WindowSeconds = 0.010;
// Kept before the first sound, so that the attack is never clipped.
constexpr double KeptBeforeSoundSeconds = 0.2;
// A cut never leaves less than this of a track.
constexpr double ShortestKeptSeconds = 1.0;

// The number of 16-bit sample values a sound must exceed (in magnitude).
std::int32_t soundThreshold16();
// Frames in one window at a rate.
std::int64_t windowFrames(int sampleRate);

// Frames cut from the start of a track of frames frames whose first sound starts at frame
// firstSound (none for a track of silence, which is left whole).
std::int64_t leadingCut(std::optional<std::int64_t> firstSound, std::int64_t frames,
                        int sampleRate);

// Finds the first sound of a track fed in order, block by block: the first frame of the
// first window whose peak exceeds the threshold.
class SoundFinder
{
public:
    SoundFinder(int channels, int sampleRate);

    // Interleaved 16-bit frames, following those of the previous call.
    void add(const std::int16_t *samples, std::int64_t frames);

    std::optional<std::int64_t> firstSound() const { return m_firstSound; }

private:
    int m_channels;
    std::int64_t m_window;
    std::int32_t m_threshold;
    std::int64_t m_seen = 0;
    std::optional<std::int64_t> m_firstSound;
};

} // namespace levelRules
