#pragma once

#include <QMap>
#include <QString>
#include <cstdint>
#include <vector>

// Checks MP3 files with tools other than the encoder: libmpg123 (gapless) decodes them,
// TagLib and the raw bytes tell what tag they carry. Also writes WAV files of a known
// signal with libsndfile.
class Mp3Check
{
public:
    // Interleaved 16-bit audio.
    struct Audio
    {
        std::vector<std::int16_t> samples;
        int channels = 0;
        long rate = 0;
        QString error; // empty when the file was read completely
        // For a decoded MP3: what its frame headers say.
        int bitrate = 0;            // kbit/s of the frames (0 if they differ)
        int channelMode = -1;       // 0 stereo, 1 joint stereo, 2 dual channel, 3 mono
        bool constantBitrate = false;

        bool ok() const { return error.isEmpty(); }
        qint64 frames() const
        {
            return channels > 0 ? static_cast<qint64>(samples.size()) / channels : 0;
        }
    };

    struct Tags
    {
        bool readable = false;  // TagLib opened the file as MPEG
        int id3v2Version = 0;   // major version of the ID3v2 tag, 0 without one
        bool id3v2AtStart = false;
        bool hasId3v1 = false;  // TagLib or the last 128 bytes say so
        bool hasApe = false;
        QString title;
        QString artist;
        QString album;
        QString comment;
        // Frame id → text encoding ("Latin1", "UTF16", "UTF16BE", "UTF8", "UTF16LE"; "" for
        // frames that carry no text).
        QMap<QString, QString> frames;
    };

    // The known test signal: a few tones per channel, different on each, with a slow swell.
    static std::int16_t signalSample(qint64 frame, int channel, int rate);
    static Audio synthesize(int channels, qint64 frames, int rate = 44100);

    // Writes a file of the known signal, by default RIFF/WAVE PCM 16-bit; sndfileFormat is a
    // libsndfile SF_FORMAT_* combination. False on failure.
    static bool writeWav(const QString &path, int channels, qint64 frames, int rate = 44100,
                         int sndfileFormat = 0);
    static Audio readWav(const QString &path);
    // libsndfile's open of any Unicode name (its wide-character open on Windows, where a
    // narrow name holds only the ANSI code page). Null on failure; the caller closes it.
    static struct sf_private_tag *openSound(const QString &path, int mode, struct SF_INFO *info);

    // Decodes with libmpg123, gapless, to 16-bit samples at the file's own rate.
    static Audio decodeMp3(const QString &path);

    // Pearson correlation of the common length, the lowest over the channels. A stereo
    // reference is mixed down when the other side is mono. NaN when nothing can be compared.
    static double correlation(const Audio &reference, const Audio &decoded);

    static Tags readTags(const QString &path);

    // The quality indicator of the encoder's Info (or Xing) frame, 0 (best) to 100; -1 when
    // the file has none.
    static int lameQualityIndicator(const QString &path);
};
