// bench-encode: encodes WAV files one after the other with LameEncoder, with the settings
// of a real user (320 kbit/s CBR, high quality, stereo, four tags). The caller times the
// process.
//
// Usage: bench-encode OUTDIR IN.wav...

#include "LameEncoder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStringList>

#include <cstdio>
#include <exception>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();
    if (args.size() < 2) {
        std::fputs("usage: bench-encode OUTDIR IN.wav...\n", stderr);
        return 2;
    }
    const QDir out(args.takeFirst());
    QDir().mkpath(out.path());
    try {
        for (const QString &wav : std::as_const(args)) {
            const QString base = QFileInfo(wav).completeBaseName();
            LameEncoder encoder;
            encoder.setEncodingMode(LameEncoder::ModeStereo);
            encoder.setEncodingBitrate(320);
            encoder.setSampleRate(44.1);
            encoder.setLowQuality(false);
            encoder.setInputFile(wav);
            encoder.setOutputFile(out.filePath(base + QStringLiteral(".mp3")));
            encoder.setTitleTag(base);
            encoder.setArtistTag(QStringLiteral("Sonalbury"));
            encoder.setAlbumTag(QStringLiteral("titre"));
            encoder.setCommentTag(QStringLiteral("Encodé par Sonalbury CD-MP3"));
            encoder.Encode();
        }
    } catch (const std::exception &e) {
        std::fprintf(stderr, "bench-encode: %s\n", e.what());
        return 1;
    }
    return 0;
}
