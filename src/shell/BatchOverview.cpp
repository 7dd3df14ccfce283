#include "BatchOverview.h"

#include "ShellTexts.h"

#include <algorithm>
#include <cmath>

namespace {

double fraction(const BatchRunner::TrackLine &line)
{
    if (line.max <= 0)
        return 0.0;
    return std::clamp(static_cast<double>(line.value) / line.max, 0.0, 1.0);
}

} // namespace

BatchOverview::BatchOverview(std::vector<std::int32_t> trackFrames, bool encodes)
    : m_trackFrames(std::move(trackFrames))
    , m_encodes(encodes)
{
}

std::int32_t BatchOverview::framesOf(std::int32_t position) const
{
    if (position < 1 || static_cast<std::size_t>(position) > m_trackFrames.size())
        return 0;
    return std::max(0, m_trackFrames[static_cast<std::size_t>(position - 1)]);
}

void BatchOverview::update(const std::vector<BatchRunner::TrackLine> &reached,
                           std::int32_t nextPosition, const std::vector<bool> &ticked, double elapsed)
{
    using Step = BatchRunner::Step;
    double total = 0.0;
    double read = 0.0;
    double encoded = 0.0;
    bool encoding = false;
    m_current = 0;
    m_barMax = 0;
    m_barValue = 0;
    for (std::size_t i = 0; i < reached.size(); ++i) {
        const BatchRunner::TrackLine &line = reached[i];
        const double frames = framesOf(line.position);
        total += frames;
        switch (line.step) {
        case Step::Reading:
            read += frames * fraction(line);
            m_barMax = line.max;
            m_barValue = line.value;
            break;
        case Step::Waiting:
            read += frames;
            break;
        case Step::Encoding:
            read += frames;
            encoded += frames * fraction(line);
            encoding = true;
            break;
        case Step::Finished:
            read += frames;
            encoded += frames;
            break;
        }
        // The status line shows the first track that is not finished.
        if (m_current == 0 && line.step != Step::Finished)
            m_current = static_cast<std::int32_t>(i) + 1;
    }
    m_total = static_cast<std::int32_t>(reached.size());
    for (std::size_t i = static_cast<std::size_t>(std::max(nextPosition, 1)) - 1; i < ticked.size(); ++i) {
        if (ticked[i]) {
            ++m_total;
            total += framesOf(static_cast<std::int32_t>(i) + 1);
        }
    }
    if (m_current == 0)
        m_current = std::min(m_total, static_cast<std::int32_t>(reached.size()) + 1);

    // Only the latest progress reaches the window: a short track may be encoded in full
    // between two updates. Then the encoding began after the update before this one.
    if (!m_encodingSince && (encoding || encoded > 0.0))
        m_encodingSince = encoded > 0.0 ? m_previousElapsed : elapsed;
    m_previousElapsed = elapsed;

    m_secondsLeft.reset();
    if (read <= 0.0 || elapsed <= 0.0)
        return;
    double left = elapsed * (total - read) / read;
    if (m_encodes) {
        if (!m_encodingSince || encoded <= 0.0 || elapsed <= *m_encodingSince)
            return;
        left = std::max(left, (elapsed - *m_encodingSince) * (total - encoded) / encoded);
    }
    m_secondsLeft = left;
}

QString BatchOverview::text() const
{
    if (m_total <= 0)
        return QString();
    QString text = ShellTexts::batchTrack(m_current, m_total);
    if (m_secondsLeft) {
        const std::int64_t seconds = std::llround(*m_secondsLeft);
        if (seconds > 0)
            text += ShellTexts::batchTimeLeft(seconds);
    }
    return text;
}
