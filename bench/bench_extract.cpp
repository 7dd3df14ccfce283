// bench-extract: copies every audio track of a disc image into WAV files through the CD
// reader, 25 sectors per call as the conversion does, raw or with paranoia. Prints the
// number of audio bytes copied; the caller times the process.
//
// Usage: bench-extract [--paranoia] IMAGE.cue OUTDIR

#include "LibcdioReader.h"

#include <QCoreApplication>
#include <QDir>
#include <QStringList>

#include <algorithm>
#include <cstdio>

namespace {

std::int32_t frames(const TocTime &t)
{
    return (t.minutes * 60 + t.seconds) * 75 + t.frames;
}

int fail(const char *what)
{
    std::fprintf(stderr, "bench-extract: %s\n", what);
    return 1;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();
    const bool paranoia = args.removeAll(QStringLiteral("--paranoia")) > 0;
    if (args.size() != 2)
        return fail("usage: bench-extract [--paranoia] IMAGE OUTDIR");
    const QString image = args.at(0);
    const QDir out(args.at(1));
    if (!QDir().mkpath(out.path()))
        return fail("cannot create the output folder");

    LibcdioReader reader({image});
    const std::int32_t drives = reader.ScanDrives();
    // The image comes after any physical drive.
    const std::int32_t handle = reader.OpenDrive(reader.GetDriveAddress(drives - 1));
    if (handle == 0)
        return fail("cannot open the image");
    if (paranoia && !reader.SetDriveParam(handle, CdReader::ParamSecureRead, -1))
        return fail("cannot turn on paranoia");
    if (reader.ReadToc(handle) != 1)
        return fail("cannot read the table of contents");

    const std::int32_t origin = frames(reader.GetTocEntry(0));
    const std::int32_t first = reader.GetFirstTrack();
    const std::int32_t last = reader.GetLastTrack();
    long long bytes = 0;
    // Item p of the track list spans TOC entries p-1 .. p, as in the conversion.
    for (std::int32_t p = 1; p <= last - first + 1; ++p) {
        const std::int32_t n = first + p - 1;
        const std::int32_t start = frames(reader.GetTocEntry(p - 1)) - origin;
        const std::int32_t end = frames(reader.GetTocEntry(p)) - origin;
        reader.OpenWaveFile(out.filePath(QStringLiteral("track%1.wav").arg(n, 2, 10, QLatin1Char('0'))));
        for (std::int32_t s = start; s < end; s += CdReader::MaxSectorsPerRead) {
            const std::int32_t count = std::min(CdReader::MaxSectorsPerRead, end - s);
            if (reader.ReadSectors(handle, s, count) != 1)
                return fail("a read failed");
            bytes += static_cast<long long>(count) * 2352;
        }
        if (!reader.CloseWaveFile())
            return fail("a WAV file could not be completed");
    }
    reader.CloseDrive(handle);
    std::printf("%lld\n", bytes);
    return 0;
}
