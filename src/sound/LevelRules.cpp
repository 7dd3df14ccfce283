#include "LevelRules.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace levelRules {

namespace {

// A shortfall that a figure to one decimal would not show is no shortfall for the user.
constexpr double ShownShortfallLu = 0.05;

std::int64_t framesOf(double seconds, int sampleRate)
{
    return std::llround(seconds * sampleRate);
}

} // namespace

bool hasLoudness(double loudnessLufs, std::int64_t frames, int sampleRate)
{
    return frames >= framesOf(ShortestMeasuredSeconds, sampleRate) && std::isfinite(loudnessLufs);
}

TrackGain trackGain(double loudnessLufs, double truePeakDbtp, std::int64_t frames,
                    int sampleRate)
{
    if (!hasLoudness(loudnessLufs, frames, sampleRate))
        return {};
    const double toTarget = TargetLufs - loudnessLufs;
    // A true peak that cannot be measured (no sample at all) sets no limit.
    const double toCeiling = std::isfinite(truePeakDbtp) ? PeakCeilingDbtp - truePeakDbtp
                                                         : toTarget;
    TrackGain gain;
    gain.db = std::min(toTarget, toCeiling);
    gain.limitedByPeak = toTarget - gain.db > ShownShortfallLu;
    return gain;
}

std::int32_t soundThreshold16()
{
    // -60 dBFS of the 32768 steps of full scale is 32.8: a sample of 33 or more is heard.
    return static_cast<std::int32_t>(std::floor(32768.0 * std::pow(10.0, SoundThresholdDbfs / 20.0)));
}

std::int64_t windowFrames(int sampleRate)
{
    return std::max<std::int64_t>(1, framesOf(WindowSeconds, sampleRate));
}

std::int64_t leadingCut(std::optional<std::int64_t> firstSound, std::int64_t frames,
                        int sampleRate)
{
    if (!firstSound)
        return 0;
    const std::int64_t beforeSound = *firstSound - framesOf(KeptBeforeSoundSeconds, sampleRate);
    const std::int64_t mostCut = frames - framesOf(ShortestKeptSeconds, sampleRate);
    return std::max<std::int64_t>(0, std::min(beforeSound, mostCut));
}

SoundFinder::SoundFinder(int channels, int sampleRate)
    : m_channels(std::max(1, channels)),
      m_window(windowFrames(sampleRate)),
      m_threshold(soundThreshold16())
{
}

void SoundFinder::add(const std::int16_t *samples, std::int64_t frames)
{
    if (!m_firstSound) {
        const std::int64_t count = frames * m_channels;
        for (std::int64_t i = 0; i < count; ++i) {
            if (std::abs(static_cast<std::int32_t>(samples[i])) > m_threshold) {
                const std::int64_t frame = m_seen + i / m_channels;
                m_firstSound = frame - frame % m_window;
                break;
            }
        }
    }
    m_seen += frames;
}

} // namespace levelRules
