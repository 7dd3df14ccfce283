#include "DiscIds.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QStringList>

#include <optional>

namespace titles {

namespace {

constexpr std::int32_t LeadIn = 150;
constexpr std::int32_t FramesPerSecond = 75;

// MusicBrainz refuses a lead-out beyond 90 minutes (lead-in included).
constexpr std::int32_t LongestDisc = 90 * 60 * FramesPerSecond;

int digitSum(std::int32_t n)
{
    int sum = 0;
    for (; n > 0; n /= 10)
        sum += n % 10;
    return sum;
}

} // namespace

namespace {

// The audio session as MusicBrainz sees it: an enhanced CD drops its data track and ends
// where the first session ends. Offsets by track number from 1 (a disc numbered from 2
// leaves the first one zero), index 0 the lead-out; lead-in included. Empty when
// MusicBrainz would refuse the table.
struct AudioSession
{
    int first = 0;
    int last = 0;
    std::int32_t offsets[100] = {};
};

std::optional<AudioSession> audioSession(const DiscToc &toc)
{
    if (!toc.isValid())
        return std::nullopt;
    const int audioCount = toc.listedTrackCount();
    AudioSession session;
    session.first = toc.firstTrack;
    session.last = toc.firstTrack + audioCount - 1;
    session.offsets[0] = toc.audioLeadOut() + LeadIn;
    if (audioCount < 1 || session.last > 99 || session.offsets[0] > LongestDisc)
        return std::nullopt;
    for (int i = 0; i < audioCount; ++i)
        session.offsets[toc.firstTrack + i] = toc.trackStarts[static_cast<std::size_t>(i)] + LeadIn;
    return session;
}

} // namespace

QString musicBrainzDiscId(const DiscToc &toc)
{
    const std::optional<AudioSession> session = audioSession(toc);
    if (!session)
        return {};
    // SHA-1 of the first and last track numbers (2 hex digits each) and the 100 offsets
    // (8 hex digits each).
    QByteArray text = QByteArray::number(session->first, 16).rightJustified(2, '0')
                      + QByteArray::number(session->last, 16).rightJustified(2, '0');
    for (const std::int32_t offset : session->offsets)
        text += QByteArray::number(offset, 16).rightJustified(8, '0');
    const QByteArray digest = QCryptographicHash::hash(text.toUpper(), QCryptographicHash::Sha1);
    // Base64 with the three characters that URLs and file names dislike replaced.
    QByteArray id = digest.toBase64();
    id.replace('+', '.').replace('/', '_').replace('=', '-');
    return QString::fromLatin1(id);
}

QString musicBrainzToc(const DiscToc &toc)
{
    const std::optional<AudioSession> session = audioSession(toc);
    if (!session)
        return {};
    QStringList parts{QString::number(session->first), QString::number(session->last),
                      QString::number(session->offsets[0])};
    for (int n = session->first; n <= session->last; ++n)
        parts << QString::number(session->offsets[n]);
    return parts.join(QLatin1Char('+'));
}

QString cddbDiscId(const DiscToc &toc)
{
    if (!toc.isValid())
        return {};
    int sum = 0;
    for (const std::int32_t start : toc.trackStarts)
        sum += digitSum((start + LeadIn) / FramesPerSecond);
    const std::int32_t seconds =
        (toc.leadOut + LeadIn) / FramesPerSecond - (toc.trackStarts.front() + LeadIn) / FramesPerSecond;
    const quint32 id = (static_cast<quint32>(sum % 255) << 24) | (static_cast<quint32>(seconds) << 8)
                       | static_cast<quint32>(toc.trackCount());
    return QStringLiteral("%1").arg(id, 8, 16, QLatin1Char('0'));
}

QString cddbQueryArguments(const DiscToc &toc)
{
    if (!toc.isValid())
        return {};
    QStringList parts{cddbDiscId(toc), QString::number(toc.trackCount())};
    for (const std::int32_t start : toc.trackStarts)
        parts << QString::number(start + LeadIn);
    parts << QString::number((toc.leadOut + LeadIn) / FramesPerSecond);
    return parts.join(QLatin1Char('+'));
}

} // namespace titles
