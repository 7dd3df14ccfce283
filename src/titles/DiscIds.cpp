#include "DiscIds.h"

#include <QStringList>

#include <discid/discid.h>

#include <memory>

namespace titles {

namespace {

constexpr std::int32_t LeadIn = 150;
constexpr std::int32_t FramesPerSecond = 75;

struct DiscIdDeleter
{
    void operator()(DiscId *disc) const { discid_free(disc); }
};

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
    // libdiscid sees the audio session only: an enhanced CD drops its data track and
    // ends where the first session ends.
    const int audioCount = toc.listedTrackCount();
    int offsets[100] = {};
    offsets[0] = toc.audioLeadOut() + LeadIn;
    // Indexed by track number: a disc numbered from 2 leaves offsets[1] empty.
    for (int i = 0; i < audioCount; ++i)
        offsets[toc.firstTrack + i] = toc.trackStarts[static_cast<std::size_t>(i)] + LeadIn;
    const std::unique_ptr<DiscId, DiscIdDeleter> disc(discid_new());
    if (!disc || !discid_put(disc.get(), toc.firstTrack, toc.firstTrack + audioCount - 1, offsets))
        return {};
    return QString::fromLatin1(discid_get_id(disc.get()));
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
