#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

// Loudness of 16-bit PCM as ITU-R BS.1770-4 and EBU R128 define it, measured with
// libebur128: the integrated loudness (K-weighting, 400 ms blocks, absolute and relative
// gates) and the true peak (libebur128 oversamples four times below 96 kHz).
class LoudnessMeter
{
public:
    enum Measure
    {
        Loudness = 1,
        TruePeak = 2,
    };

    // measures: a combination of Measure. A single channel counts as the two identical
    // channels a mono file plays on. Throws std::bad_alloc when libebur128 cannot start.
    LoudnessMeter(int channels, int sampleRate, int measures);
    ~LoudnessMeter();
    LoudnessMeter(const LoudnessMeter &) = delete;
    LoudnessMeter &operator=(const LoudnessMeter &) = delete;

    // Interleaved frames, following those of the previous call.
    void add(const std::int16_t *samples, std::size_t frames);

    // LUFS; -infinity when no 400 ms block rises above the absolute gate (silence, or less
    // than one block).
    double integratedLoudness() const;
    // Full scale is 1; the highest of the channels.
    double truePeak() const;
    // The true peak of what the last add() gave (the oversampling filter's output for those
    // frames, its memory holding the frames before them).
    double lastTruePeak() const;

    // Frames the oversampling filter remembers: fed before a passage, they make the filter's
    // output over the passage what it is in a pass over the whole track.
    static constexpr std::size_t FilterMemoryFrames = 13;
    // No output of libebur128's interpolator (49 taps, four phases) exceeds the largest
    // sample under its taps by more than the sum of one phase's coefficients, at most 1.864
    // (half-way between two samples): passages whose samples are lower than a true peak
    // found, divided by this, cannot hold a higher one.
    static constexpr double TruePeakOverSamplePeak = 1.87;

private:
    struct State;
    // The highest over the channels of a peak libebur128 gives per channel.
    template <typename PeakOf>
    double highestChannel(PeakOf peakOf) const;
    std::unique_ptr<State> m_state;
};

// dB of a linear amplitude (-infinity for 0).
double decibels(double amplitude);
