#include "DiscIds.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QStringList>

namespace titles {

namespace {

constexpr std::int32_t LeadIn = 150;
constexpr std::int32_t FramesPerSecond = 75;

int digitSum(std::int32_t n)
{
    int sum = 0;
    for (; n > 0; n /= 10)
        sum += n % 10;
    return sum;
}

} // namespace

QString musicBrainzDiscId(const DiscToc &toc)
{
    if (!toc.isValid())
        return {};
    // The audio session only: an enhanced CD drops its data track and ends where the first
    // session ends.
    const int audioCount = toc.listedTrackCount();
    const int lastAudio = toc.firstTrack + audioCount - 1;
    // MusicBrainz's definition: SHA-1 of the first and last track numbers (two hex digits
    // each), then 100 offsets of eight hex digits, upper case: the lead-out, then the start
    // of each track by its number, 0 for the numbers the disc does not use; the digest in
    // base64 with ".", "_" and "-" for "+", "/" and "=".
    std::int32_t offsets[100] = {};
    offsets[0] = toc.audioLeadOut() + LeadIn;
    for (int i = 0; i < audioCount; ++i)
        offsets[toc.firstTrack + i] = toc.trackStarts[static_cast<std::size_t>(i)] + LeadIn;
    QByteArray text = QByteArray::number(toc.firstTrack, 16).rightJustified(2, '0')
                      + QByteArray::number(lastAudio, 16).rightJustified(2, '0');
    for (const std::int32_t offset : offsets)
        text += QByteArray::number(offset, 16).rightJustified(8, '0');
    QByteArray id = QCryptographicHash::hash(text.toUpper(), QCryptographicHash::Sha1).toBase64();
    id.replace('+', '.').replace('/', '_').replace('=', '-');
    return QString::fromLatin1(id);
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
