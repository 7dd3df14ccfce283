#include "TrackLevelling.h"

#include "LevelRules.h"
#include "LoudnessMeter.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <optional>
#include <vector>

namespace {

// Blocks as large as the encoder's: the pass costs a read of a file the system still holds.
constexpr std::int64_t BlockFrames = 1152 * 64;
// Passages whose peaks are kept: small enough that a track's true peak is looked for in a
// few of them, large enough that few reads find them. BlockFrames is a multiple of it.
constexpr std::int64_t SegmentFrames = 2048;
constexpr double FullScale16 = 32768.0;

struct Pass
{
    std::optional<std::int64_t> firstSound;
    double loudnessLufs = -std::numeric_limits<double>::infinity();
    std::vector<std::int32_t> segmentPeaks; // highest sample magnitude of each segment
};

Pass measure(const PcmLayout &layout, const LevelOptions &options, const FrameReader &read)
{
    Pass pass;
    const auto channels = static_cast<std::size_t>(layout.channels);
    std::vector<std::int16_t> buffer(static_cast<std::size_t>(BlockFrames) * channels);
    std::optional<LoudnessMeter> meter;
    if (options.equalLoudness) {
        meter.emplace(layout.channels, layout.sampleRate, LoudnessMeter::Loudness);
        pass.segmentPeaks.reserve(static_cast<std::size_t>(layout.frames / SegmentFrames + 1));
    }
    levelRules::SoundFinder finder(layout.channels, layout.sampleRate);
    for (std::int64_t done = 0; done < layout.frames;) {
        const std::int64_t count = std::min(BlockFrames, layout.frames - done);
        read(done, buffer.data(), count);
        if (meter) {
            meter->add(buffer.data(), static_cast<std::size_t>(count));
            for (std::int64_t s = 0; s < count; s += SegmentFrames) {
                const auto from = static_cast<std::size_t>(s) * channels;
                const auto to = static_cast<std::size_t>(std::min(count, s + SegmentFrames)) * channels;
                std::int32_t peak = 0;
                for (std::size_t i = from; i < to; ++i)
                    peak = std::max(peak, std::abs(static_cast<std::int32_t>(buffer[i])));
                pass.segmentPeaks.push_back(peak);
            }
        }
        if (options.cutLeadingSilence)
            finder.add(buffer.data(), count);
        done += count;
        // The first sound alone needs no more of the track.
        if (!meter && finder.firstSound())
            break;
    }
    pass.firstSound = finder.firstSound();
    if (meter)
        pass.loudnessLufs = meter->integratedLoudness();
    return pass;
}

// The highest true peak above limit (full scale 1), or nothing when no passage can exceed
// limit. Passages are measured from the one with the highest samples down, and only while
// their samples could still give an inter-sample peak above what was found: the result is
// the peak a pass over the whole track gives.
std::optional<double> truePeakAbove(double limit, const PcmLayout &layout,
                                    const std::vector<std::int32_t> &segmentPeaks,
                                    const FrameReader &read)
{
    // A passage's filter output also depends on the frames just before it.
    std::vector<std::pair<double, std::size_t>> candidates;
    for (std::size_t k = 0; k < segmentPeaks.size(); ++k) {
        const std::int32_t around = std::max(segmentPeaks[k], k > 0 ? segmentPeaks[k - 1] : 0);
        const double bound = LoudnessMeter::TruePeakOverSamplePeak * around / FullScale16;
        if (bound > limit)
            candidates.emplace_back(bound, k);
    }
    if (candidates.empty())
        return std::nullopt;
    std::sort(candidates.begin(), candidates.end(),
              [](const auto &a, const auto &b) { return a.first > b.first; });

    LoudnessMeter meter(layout.channels, layout.sampleRate, LoudnessMeter::TruePeak);
    const auto channels = static_cast<std::size_t>(layout.channels);
    constexpr auto Memory = static_cast<std::int64_t>(LoudnessMeter::FilterMemoryFrames);
    std::vector<std::int16_t> buffer(static_cast<std::size_t>(Memory + SegmentFrames) * channels);
    double highest = 0.0;
    for (const auto &[bound, k] : candidates) {
        if (bound <= std::max(limit, highest))
            break;
        const std::int64_t start = static_cast<std::int64_t>(k) * SegmentFrames;
        const std::int64_t count = std::min(SegmentFrames, layout.frames - start);
        // Before the track the filter holds silence, as in a pass from its start.
        const std::int64_t context = std::min(Memory, start);
        std::fill(buffer.begin(), buffer.end(), std::int16_t{0});
        std::int16_t *const passage = buffer.data() + static_cast<std::size_t>(Memory) * channels;
        read(start - context, passage - static_cast<std::size_t>(context) * channels,
             context + count);
        meter.add(buffer.data(), static_cast<std::size_t>(Memory));
        meter.add(passage, static_cast<std::size_t>(count));
        highest = std::max(highest, meter.lastTruePeak());
    }
    if (highest <= limit)
        return std::nullopt;
    return highest;
}

} // namespace

double LevelPlan::scale() const
{
    return std::pow(10.0, gainDb / 20.0);
}

LevelPlan planLevelling(const PcmLayout &layout, const LevelOptions &options,
                        const FrameReader &read)
{
    LevelPlan plan;
    if (!options.any() || layout.frames <= 0 || layout.channels <= 0 || layout.sampleRate <= 0)
        return plan;
    const Pass pass = measure(layout, options, read);
    if (options.cutLeadingSilence)
        plan.cutFrames = levelRules::leadingCut(pass.firstSound, layout.frames, layout.sampleRate);
    if (!options.equalLoudness)
        return plan;

    plan.loudnessLufs = pass.loudnessLufs;
    if (!levelRules::hasLoudness(pass.loudnessLufs, layout.frames, layout.sampleRate))
        return plan;
    const double noPeak = -std::numeric_limits<double>::infinity();
    const levelRules::TrackGain wanted =
        levelRules::trackGain(pass.loudnessLufs, noPeak, layout.frames, layout.sampleRate);
    plan.gainDb = wanted.db;
    // The true peak above which the ceiling, not the target, sets the gain.
    const double limit = std::pow(10.0, (levelRules::PeakCeilingDbtp - wanted.db) / 20.0);
    if (const std::optional<double> peak = truePeakAbove(limit, layout, pass.segmentPeaks, read)) {
        plan.truePeakDbtp = decibels(*peak);
        const levelRules::TrackGain held = levelRules::trackGain(
            pass.loudnessLufs, *plan.truePeakDbtp, layout.frames, layout.sampleRate);
        plan.gainDb = held.db;
        plan.limitedByPeak = held.limitedByPeak;
    }
    return plan;
}
