#include "Disc.h"

#include "CoreTexts.h"
#include "FrameAddress.h"

#include <exception>

namespace {

// The table of contents read last by the reader, as the disc's value, and the track list
// built from it. Every check of the table belongs here: a failure throws, and the caller
// reports the whole table as unreadable.
void listTracks(CdReader &reader, Disc &disc)
{
    disc.firstTrack = reader.GetFirstTrack();
    disc.lastTrack = reader.GetLastTrack();
    for (std::int32_t n = disc.firstTrack; n <= disc.lastTrack; ++n) {
        if (n == disc.firstTrack)
            disc.toc.push_back(reader.GetTocEntry(n - 1));
        disc.toc.push_back(reader.GetTocEntry(n));
        DiscTrack track;
        track.number = n;
        track.start = frameAddress(disc.toc[disc.toc.size() - 2]);
        track.end = frameAddress(disc.toc.back());
        track.duration = FormaterDuree(track.start, track.end);
        track.title = CoreTexts::defaultTrackName(n);
        disc.tracks.push_back(std::move(track));
        if (n == disc.lastTrack)
            break; // the loop counter must not pass the largest track number
    }
}

} // namespace

std::vector<ListedTrack> Disc::listedTracks() const
{
    std::vector<ListedTrack> listed;
    for (const DiscTrack &track : tracks)
        listed.push_back({track.number, track.duration, track.title, false, QString()});
    return listed;
}

QString driveLabel(CdReader &reader, std::int32_t driveIndex)
{
    const DriveInfo info = reader.GetDriveInfo(driveIndex);
    return info.text1.trimmed() + QLatin1Char(' ') + info.text2;
}

Disc openDisc(CdReader &reader, std::int32_t driveIndex)
{
    Disc disc;
    disc.handle = reader.OpenDrive(reader.GetDriveAddress(driveIndex));
    disc.label = driveLabel(reader, driveIndex);
    if (disc.handle == 0) {
        disc.messages << CoreTexts::cannotReadDisc(disc.label, reader.lastOpenFailure());
        return disc;
    }
    // A drive that cannot read with error correction still reads: the user is told.
    if (!reader.SetDriveParam(disc.handle, CdReader::ParamSecureRead, -1))
        disc.messages << CoreTexts::tracksReadError();
    if (reader.ReadToc(disc.handle) != 1) {
        disc.messages << CoreTexts::tracksReadError();
        return disc;
    }
    try {
        listTracks(reader, disc);
    } catch (const std::exception &) {
        disc.toc.clear();
        disc.tracks.clear();
        disc.messages << CoreTexts::tracksReadError();
        return disc;
    }
    disc.tocRead = true;
    return disc;
}
