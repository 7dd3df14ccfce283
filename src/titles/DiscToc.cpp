#include "DiscToc.h"

#include "CdioHandle.h"

namespace titles {

bool DiscToc::isData(int index) const
{
    return index >= 0 && static_cast<std::size_t>(index) < dataTracks.size()
           && dataTracks[static_cast<std::size_t>(index)];
}

bool DiscToc::isEnhanced() const
{
    const int count = trackCount();
    if (count < 2 || !isData(count - 1))
        return false;
    for (int i = 0; i < count - 1; ++i)
        if (isData(i))
            return false;
    return true;
}

int DiscToc::listedTrackCount() const
{
    return isEnhanced() ? trackCount() - 1 : trackCount();
}

std::int32_t DiscToc::audioLeadOut() const
{
    return isEnhanced() ? trackStarts.back() - SessionGapFrames : leadOut;
}

bool DiscToc::isValid() const
{
    if (trackStarts.empty() || firstTrack < 1 || lastTrack > 99
        || lastTrack - firstTrack + 1 != trackCount())
        return false;
    std::int32_t previous = -1;
    for (const std::int32_t start : trackStarts) {
        if (start <= previous)
            return false;
        previous = start;
    }
    return previous < leadOut && trackStarts.front() >= 0 && audioLeadOut() > trackStarts.front();
}

std::optional<DiscToc> readDiscToc(const QString &sourcePath)
{
    const CdioPtr cdio = openCdio(sourcePath);
    if (!cdio)
        return std::nullopt;
    const track_t first = cdio_get_first_track_num(cdio.get());
    const track_t count = cdio_get_num_tracks(cdio.get());
    if (first == CDIO_INVALID_TRACK || count == CDIO_INVALID_TRACK || count == 0)
        return std::nullopt;
    DiscToc toc;
    toc.firstTrack = first;
    toc.lastTrack = first + count - 1;
    for (int n = toc.firstTrack; n <= toc.lastTrack; ++n) {
        const lsn_t start = cdio_get_track_lsn(cdio.get(), static_cast<track_t>(n));
        if (start == CDIO_INVALID_LSN)
            return std::nullopt;
        toc.trackStarts.push_back(start);
        toc.dataTracks.push_back(cdio_get_track_format(cdio.get(), static_cast<track_t>(n)) != TRACK_FORMAT_AUDIO);
    }
    toc.leadOut = cdio_get_track_lsn(cdio.get(), CDIO_CDROM_LEADOUT_TRACK);
    if (!toc.isValid())
        return std::nullopt;
    return toc;
}

} // namespace titles
