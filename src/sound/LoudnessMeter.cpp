#include "LoudnessMeter.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

struct LoudnessMeter::State
{
    struct Deleter
    {
        void operator()(ebur128_state *state) const noexcept { ebur128_destroy(&state); }
    };
    std::unique_ptr<ebur128_state, Deleter> handle;
    unsigned int channels = 0;
};

namespace {

int modeOf(int measures)
{
    int mode = EBUR128_MODE_M;
    if ((measures & LoudnessMeter::Loudness) != 0)
        mode |= EBUR128_MODE_I;
    if ((measures & LoudnessMeter::TruePeak) != 0)
        mode |= EBUR128_MODE_TRUE_PEAK;
    return mode;
}

} // namespace

LoudnessMeter::LoudnessMeter(int channels, int sampleRate, int measures)
    : m_state(std::make_unique<State>())
{
    m_state->channels = static_cast<unsigned int>(std::max(1, channels));
    m_state->handle.reset(ebur128_init(m_state->channels,
                                       static_cast<unsigned long>(std::max(1, sampleRate)),
                                       modeOf(measures)));
    if (!m_state->handle)
        throw std::bad_alloc();
    if (m_state->channels == 1)
        ebur128_set_channel(m_state->handle.get(), 0, EBUR128_DUAL_MONO);
}

LoudnessMeter::~LoudnessMeter() = default;

void LoudnessMeter::add(const std::int16_t *samples, std::size_t frames)
{
    if (ebur128_add_frames_short(m_state->handle.get(), samples, frames) != EBUR128_SUCCESS)
        throw std::bad_alloc();
}

double LoudnessMeter::integratedLoudness() const
{
    double lufs = -std::numeric_limits<double>::infinity();
    if (ebur128_loudness_global(m_state->handle.get(), &lufs) != EBUR128_SUCCESS)
        return -std::numeric_limits<double>::infinity();
    return lufs;
}

template <typename PeakOf>
double LoudnessMeter::highestChannel(PeakOf peakOf) const
{
    double highest = 0.0;
    for (unsigned int c = 0; c < m_state->channels; ++c) {
        double peak = 0.0;
        if (peakOf(m_state->handle.get(), c, &peak) == EBUR128_SUCCESS)
            highest = std::max(highest, peak);
    }
    return highest;
}

double LoudnessMeter::truePeak() const
{
    return highestChannel(ebur128_true_peak);
}

double LoudnessMeter::lastTruePeak() const
{
    return highestChannel(ebur128_prev_true_peak);
}

double decibels(double amplitude)
{
    return amplitude > 0.0 ? 20.0 * std::log10(amplitude)
                           : -std::numeric_limits<double>::infinity();
}
