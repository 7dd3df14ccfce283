#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

// Writes BIN/CUE images of audio CDs whose audio is a known function of its position,
// so that any sector read back can be checked byte for byte.
namespace discimage {

constexpr std::int32_t BytesPerSector = 2352;
constexpr std::int32_t FramesPerSecond = 75;

enum class Audio
{
    Pattern, // every 16-bit sample derived from its absolute position: exact checks
    Tones,   // a distinct, pleasant tone per track with a soft envelope: the demo disc
    Music,   // tones with harmonics, envelopes and some noise, different per track: benchmarks
};

// What a track's audio is made to be, for checks of equal loudness and of the cut of the
// silence a track opens with (Tones and Music discs only).
struct Shape
{
    // Integrated loudness (ITU-R BS.1770, measured by the maker) the track is scaled to.
    std::optional<double> loudness;
    // Digital silence the track opens with, in frames; its audio starts after it.
    std::int32_t leadingSilence = 0;
    // The audio rises from 70 dB below its level, by 10 dB a second.
    bool fadeIn = false;
    // Clicks whose samples reach -0.5 dBFS every two seconds: with a low loudness, a quiet
    // track with high peaks.
    bool peaks = false;
    // Digital silence throughout.
    bool silent = false;

    bool any() const { return loudness || leadingSilence > 0 || fadeIn || peaks || silent; }
};

struct Track
{
    std::int32_t frames = 0;  // length of the track proper (from its INDEX 01)
    std::int32_t pregap = 0;  // frames of INDEX 00 before it, stored in the BIN
    bool data = false;        // a MODE1/2352 data track
};

// CD-Text of one track, written as TITLE / PERFORMER lines when not empty.
struct TrackText
{
    QString title;
    QString performer;
};

// How the CUE sheet stores its TITLE and PERFORMER lines.
enum class TextEncoding
{
    Utf8,
    Latin1, // characters beyond Latin-1 become '?', as in a sheet written by an old tool
};

struct DiscLayout
{
    std::vector<Track> tracks;
    Audio audio = Audio::Pattern;
    // Frames between the last audio track and a trailing data track, as on an enhanced CD
    // (a second session starts 11 400 frames after the end of the first).
    std::int32_t dataGap = 0;
    QString title;     // the disc's CD-Text (album and its artist)
    QString performer;
    std::vector<TrackText> trackTexts; // by track; missing entries write no text
    TextEncoding textEncoding = TextEncoding::Utf8;
    std::vector<Shape> shapes; // by track; missing entries leave the audio as made
};

// How the sheet is written, as other programs write theirs.
struct SheetStyle
{
    QString binName;            // file name of the BIN, beside the sheet; empty: <base>.bin
    bool byteOrderMark = false; // a UTF-8 mark before the sheet, as some editors add
    bool crlf = false;          // Windows line endings
};

// Writes <base>.cue and its BIN in the style given. Returns the path of the CUE file.
QString write(const QString &basePath, const DiscLayout &discLayout, const SheetStyle &style);

// Writes a cdrdao <base>.toc naming <base>.bin by its relative name (audio tracks without
// pregaps only: std::invalid_argument otherwise).
// Returns the path of the .toc file.
QString writeToc(const QString &basePath, const DiscLayout &discLayout);

// Writes <base>.cue and <base>.bin (the BIN named like the CUE, as libcdio expects).
// Returns the path of the CUE file. Throws std::runtime_error on an I/O failure (and
// leaves no partial image), std::invalid_argument for a layout no disc can have (no
// track, an empty track, more than 99 tracks or 99:59:74, a data gap without audio
// tracks followed by a data track, a
// text with a double quote or a line break, which a CUE sheet cannot hold).
QString write(const QString &basePath, const DiscLayout &discLayout);

// Expected bytes of the sector at lsn (0 = first sector of the BIN); std::out_of_range
// outside the disc. Pregaps hold pattern audio, or silence for Tones and Music.
QByteArray sectorBytes(const DiscLayout &discLayout, std::int32_t lsn);

// Expected bytes of [firstLsn, firstLsn + count).
QByteArray rangeBytes(const DiscLayout &discLayout, std::int32_t firstLsn, std::int32_t count);

// LSN of the INDEX 01 of track number n (from 1) and of the end of the BIN.
std::int32_t trackStart(const DiscLayout &discLayout, int trackNumber);
std::int32_t totalFrames(const DiscLayout &discLayout);

} // namespace discimage
