#pragma once

#include <cstdint>
#include <functional>
#include <optional>

// Equal loudness and the cut of the leading silence for one track, decided in one pass over
// the track's PCM before it is encoded. The encoder then starts cutFrames into the track
// and scales every sample by scale() (LAME's own scaling, in floating point, before its
// psychoacoustics): one lossy pass, the length information exact for what is kept.
struct LevelOptions
{
    bool equalLoudness = false;
    bool cutLeadingSilence = false;

    bool any() const { return equalLoudness || cutLeadingSilence; }
};

struct LevelPlan
{
    std::int64_t cutFrames = 0; // frames left out at the start
    double gainDb = 0.0;        // one constant gain for the whole track
    // What was measured, for equal loudness: the track's integrated loudness (LUFS,
    // -infinity for silence) and its true peak (dBTP) when that held the gain back.
    double loudnessLufs = 0.0;
    std::optional<double> truePeakDbtp;
    bool limitedByPeak = false; // the track stays below the target loudness, at reachedLufs()

    double scale() const;
    double reachedLufs() const { return loudnessLufs + gainDb; }
};

struct PcmLayout
{
    int channels = 2;
    int sampleRate = 44100;
    std::int64_t frames = 0;
};

// Reads count interleaved 16-bit frames from frame first on into out, or throws (a read
// failure, a cancel). Called in order for the main pass, then at a few places again.
using FrameReader =
    std::function<void(std::int64_t first, std::int16_t *out, std::int64_t count)>;

// Measures the track and decides. The true peak, the costly part (four-times oversampling),
// is measured only where the peaks could reach the ceiling after the gain: most tracks need
// none of it, and those that do only around their highest passages.
LevelPlan planLevelling(const PcmLayout &layout, const LevelOptions &options,
                        const FrameReader &read);
