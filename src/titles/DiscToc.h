#pragma once

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace titles {

// A disc's table of contents as the title services need it. Positions are LSNs
// (sector 0 is at 00:02:00), as libcdio gives them; the disc IDs add the 150-frame lead-in.
struct DiscToc
{
    int firstTrack = 1;
    int lastTrack = 0;
    std::vector<std::int32_t> trackStarts; // INDEX 01 of firstTrack..lastTrack
    std::vector<bool> dataTracks;          // same size as trackStarts (missing = audio)
    std::int32_t leadOut = 0;              // the disc's lead-out (after the last session)

    int trackCount() const { return static_cast<int>(trackStarts.size()); }
    bool isData(int index) const;          // index from 0
    // Audio tracks followed by one trailing data track: a second, data session.
    bool isEnhanced() const;
    // The tracks the program lists: all but the data track of an enhanced CD.
    int listedTrackCount() const;
    // End of the audio session: the data track start minus 11 400 frames on an enhanced CD.
    std::int32_t audioLeadOut() const;
    // Track numbers in 1..99, starts ascending and inside the lead-out.
    bool isValid() const;
};

// The whole table of contents of a device or image as libcdio reads it, data tracks and
// the final lead-out included (the disc IDs need them, the track list does not show them).
// Empty when the source cannot be opened or its table is not usable.
std::optional<DiscToc> readDiscToc(const QString &sourcePath);

// Frames between the end of the first session and the start of the second one.
constexpr std::int32_t SessionGapFrames = 11400;

} // namespace titles
