#include "DiscToc.h"

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

} // namespace titles
