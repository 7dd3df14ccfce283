#include "DiscImage.h"

#include <QFile>
#include <QDir>
#include <QFileInfo>

#include <ebur128.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <memory>
#include <mutex>
#include <numbers>
#include <utility>
#include <stdexcept>
#include <string>

namespace discimage {

namespace {

constexpr std::int32_t SamplesPerSector = BytesPerSector / 4; // 588 stereo samples
constexpr std::int32_t MaxTracks = 99;
// A CUE sheet cannot address more than 99:59:74.
constexpr std::int32_t MaxFrames = 100 * 60 * FramesPerSecond;
constexpr double SampleRate = 44100.0;

using Frame = std::array<double, 2>; // left, right in [-1, 1]

// Where one track lies in the BIN. The area [areaStart, start) is its INDEX 00 (pregap,
// and for a trailing data track also the session gap); [start, end) is the track proper.
struct Area
{
    std::int32_t areaStart = 0;
    std::int32_t start = 0;
    std::int32_t end = 0;
    bool data = false;
    int audioIndex = 0; // rank among the audio tracks, chooses the tone of a track
    Shape shape;
    double scale = 1.0; // brings a shaped track to its loudness
};

double loudnessScale(Audio style, const Area &area);

std::string describe(const QString &text)
{
    return text.toStdString();
}

std::vector<Area> layoutOf(const DiscLayout &discLayout)
{
    const auto count = static_cast<std::int32_t>(discLayout.tracks.size());
    if (count == 0)
        throw std::invalid_argument("a disc needs at least one track");
    if (count > MaxTracks)
        throw std::invalid_argument("a disc holds at most 99 tracks");
    if (discLayout.dataGap < 0)
        throw std::invalid_argument("the data gap cannot be negative");

    // The session gap goes before the first of the data tracks that follow the last audio track.
    std::int32_t lastAudio = -1;
    for (std::int32_t i = 0; i < count; ++i) {
        if (!discLayout.tracks[static_cast<std::size_t>(i)].data)
            lastAudio = i;
    }
    const std::int32_t gapBefore = lastAudio + 1;
    if (discLayout.dataGap > 0 && (lastAudio < 0 || gapBefore >= count))
        throw std::invalid_argument("a data gap needs audio tracks followed by a data track");

    std::vector<Area> areas;
    areas.reserve(discLayout.tracks.size());
    std::int64_t position = 0;
    int audioIndex = 0;
    for (std::int32_t i = 0; i < count; ++i) {
        const Track &track = discLayout.tracks[static_cast<std::size_t>(i)];
        if (track.frames <= 0)
            throw std::invalid_argument("every track needs at least one frame");
        if (track.pregap < 0)
            throw std::invalid_argument("a pregap cannot be negative");
        Area area;
        area.areaStart = static_cast<std::int32_t>(position);
        if (i == gapBefore)
            position += discLayout.dataGap;
        position += track.pregap;
        if (position >= MaxFrames)
            throw std::invalid_argument("the disc is longer than a CUE sheet can address");
        area.start = static_cast<std::int32_t>(position);
        position += track.frames;
        if (position >= MaxFrames)
            throw std::invalid_argument("the disc is longer than a CUE sheet can address");
        area.end = static_cast<std::int32_t>(position);
        area.data = track.data;
        area.audioIndex = track.data ? 0 : audioIndex++;
        const auto shaped = static_cast<std::size_t>(i);
        if (shaped < discLayout.shapes.size() && discLayout.shapes[shaped].any()) {
            if (track.data || discLayout.audio == Audio::Pattern)
                throw std::invalid_argument("only tracks of tones or music can be shaped");
            if (discLayout.shapes[shaped].leadingSilence < 0)
                throw std::invalid_argument("a leading silence cannot be negative");
            area.shape = discLayout.shapes[shaped];
            area.scale = loudnessScale(discLayout.audio, area);
        }
        areas.push_back(area);
    }
    return areas;
}

const Area &areaOf(const std::vector<Area> &areas, std::int32_t lsn)
{
    if (lsn < 0 || lsn >= areas.back().end)
        throw std::out_of_range("sector outside the disc");
    const auto after = std::upper_bound(areas.begin(), areas.end(), lsn,
                                        [](std::int32_t l, const Area &a) { return l < a.areaStart; });
    return *(after - 1);
}

// --- Signal building blocks, all pure functions of the sample position ---------------------

std::uint64_t mix(std::uint64_t x)
{
    // splitmix64 finaliser: a well-spread hash of the position
    x += 0x9E3779B97F4A7C15ULL;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    return x ^ (x >> 31);
}

// Uniform noise in [-1, 1).
double noise(std::uint64_t seed, std::int64_t n)
{
    const std::uint64_t h = mix(seed * 0x100000001B3ULL ^ static_cast<std::uint64_t>(n));
    return static_cast<double>(h >> 11) / 4503599627370496.0 - 1.0; // 2^52
}

// Sine from a table, indexed by a 32-bit phase: exact integer phases make every sample
// reproducible from its position alone, and the table keeps long images quick to write.
double sine(std::uint32_t phase)
{
    static const std::array<double, 4097> table = [] {
        std::array<double, 4097> t{};
        for (std::size_t i = 0; i < t.size(); ++i)
            t[i] = std::sin(2.0 * std::numbers::pi * static_cast<double>(i) / 4096.0);
        return t;
    }();
    const std::uint32_t index = phase >> 20;
    const double fraction = static_cast<double>(phase & 0xFFFFFu) / 1048576.0;
    return table[index] + (table[index + 1] - table[index]) * fraction;
}

std::uint32_t phaseStep(double frequency)
{
    return static_cast<std::uint32_t>(std::llround(frequency / SampleRate * 4294967296.0));
}

double oscillator(double frequency, std::int64_t n)
{
    return sine(static_cast<std::uint32_t>(static_cast<std::uint64_t>(n) * phaseStep(frequency)));
}

// Raised-cosine fade: 0 at t <= 0, 1 at t >= length.
double fade(double t, double length)
{
    if (t <= 0.0)
        return 0.0;
    if (t >= length)
        return 1.0;
    return 0.5 - 0.5 * std::cos(std::numbers::pi * t / length);
}

std::int16_t toSample(double value)
{
    const double scaled = std::clamp(value, -1.0, 1.0) * 32767.0;
    return static_cast<std::int16_t>(std::lround(scaled));
}

// A major pentatonic run, one root per track.
constexpr std::array<double, 10> Roots{261.63, 293.66, 329.63, 392.00, 440.00,
                                       523.25, 587.33, 659.25, 783.99, 880.00};

// Exact-check audio: a triangle per channel plus a few bits of hashed noise, so that every
// sector differs from every other one, yet the signal still sounds (and encodes) like audio.
std::int16_t patternSample(std::int64_t absoluteSample, int channel)
{
    const std::int64_t period = channel == 0 ? 100 : 148;
    const std::int64_t half = period / 2;
    const std::int64_t amplitude = 6000;
    const std::int64_t p = absoluteSample % period;
    const std::int64_t triangle = p < half ? -amplitude + 2 * amplitude * p / half
                                           : amplitude - 2 * amplitude * (p - half) / half;
    const auto hash = mix(static_cast<std::uint64_t>(absoluteSample) * 2 + static_cast<std::uint64_t>(channel));
    const std::int64_t low = static_cast<std::int64_t>(hash & 0x1F) - 16;
    return static_cast<std::int16_t>(triangle + low);
}

// Demo audio: a soft organ-like note per track, slightly detuned between the channels.
Frame toneFrame(const Area &area, std::int64_t n)
{
    const double seconds = static_cast<double>(n) / SampleRate;
    const double length = static_cast<double>(area.end - area.start) / FramesPerSecond;
    const double root = Roots[static_cast<std::size_t>(area.audioIndex) % Roots.size()];
    const double gain = 0.18 * (1.0 + 0.08 * oscillator(4.5, n))
                        * fade(seconds, std::min(0.5, length / 4.0))
                        * fade(length - seconds, std::min(1.5, length / 4.0));
    Frame frame{};
    for (std::size_t channel = 0; channel < 2; ++channel) {
        const double f = root + (channel == 0 ? 0.0 : 0.7);
        frame[channel] = gain * (oscillator(f, n) + 0.30 * oscillator(2.0 * f, n)
                                 + 0.12 * oscillator(3.0 * f, n));
    }
    return frame;
}

// Benchmark audio: a melody of harmonic notes over a bass line with a noisy off-beat,
// tempo, timbre and notes chosen per track.
Frame musicFrame(const Area &area, std::int64_t n)
{
    const int track = area.audioIndex;
    const auto seed = static_cast<std::uint64_t>(track) + 1;
    const double length = static_cast<double>(area.end - area.start) / FramesPerSecond;
    const double seconds = static_cast<double>(n) / SampleRate;
    const auto beat = static_cast<std::int64_t>(SampleRate * (0.22 + 0.03 * (track % 5)));
    const std::int64_t inBeat = n % beat;
    const double beatSeconds = static_cast<double>(beat) / SampleRate;
    const double t = static_cast<double>(inBeat) / SampleRate;
    const double root = Roots[static_cast<std::size_t>(track) % Roots.size()] / 2.0;

    // Melody note of this beat: a scale degree and octave from the hash of the beat.
    static constexpr std::array<double, 6> Degrees{1.0, 9.0 / 8.0, 5.0 / 4.0, 3.0 / 2.0, 5.0 / 3.0, 2.0};
    const std::uint64_t pick = mix(seed << 32 ^ static_cast<std::uint64_t>(n / beat));
    const double note = root * Degrees[pick % Degrees.size()] * ((pick >> 8) % 3 == 0 ? 2.0 : 1.0);
    // Harmonics fall off faster on some tracks: a duller or brighter timbre.
    static constexpr std::array<std::array<double, 5>, 3> Harmonics{{
        {1.0, 0.5, 0.333, 0.25, 0.2},
        {1.0, 0.406, 0.240, 0.165, 0.123},
        {1.0, 0.330, 0.173, 0.109, 0.076},
    }};
    const auto &weights = Harmonics[static_cast<std::size_t>(track % 3)];
    double melody = 0.0;
    for (std::size_t h = 0; h < weights.size(); ++h)
        melody += weights[h] * oscillator(note * static_cast<double>(h + 1), inBeat);
    melody *= fade(t, 0.008) * std::exp(-t / (beatSeconds * 0.35)) * fade(beatSeconds - t, 0.004);
    const double pan = 0.5 + 0.35 * (static_cast<double>((pick >> 16) % 100) / 100.0 - 0.5);

    // Bass: one note per bar of four beats.
    const std::int64_t bar = beat * 4;
    const std::int64_t inBar = n % bar;
    const double barSeconds = static_cast<double>(bar) / SampleRate;
    const double tb = static_cast<double>(inBar) / SampleRate;
    const double bassNote = root / 2.0 * ((n / bar) % 2 == 0 ? 1.0 : 3.0 / 2.0);
    const double bass = (oscillator(bassNote, inBar) + 0.4 * oscillator(2.0 * bassNote, inBar))
                        * fade(tb, 0.01) * std::exp(-tb / barSeconds) * fade(barSeconds - tb, 0.01);

    // Off-beat noise burst, independent per channel.
    const std::int64_t sinceHat = (n + beat / 2) % beat;
    const double hatLevel = 0.05 * std::exp(-static_cast<double>(sinceHat) / (SampleRate * 0.025));

    const double envelope = fade(seconds, std::min(0.2, length / 4.0))
                            * fade(length - seconds, std::min(1.0, length / 4.0));
    Frame frame{};
    for (std::size_t channel = 0; channel < 2; ++channel) {
        const double side = channel == 0 ? 1.0 - pan : pan;
        const double hat = hatLevel * noise(seed * 2 + channel, n);
        frame[channel] = (0.30 * side * melody + 0.20 * bass + hat) * envelope;
    }
    return frame;
}

// A click: 1.5 ms of a 3 kHz tone under a raised-cosine window, every two seconds from the
// first on; its samples reach -0.5 dBFS.
double click(std::int64_t n)
{
    const auto period = static_cast<std::int64_t>(2 * SampleRate);
    const std::int64_t at = (n + period / 2) % period;
    const auto length = static_cast<std::int64_t>(0.0015 * SampleRate);
    if (at >= length)
        return 0.0;
    const double window = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * static_cast<double>(at)
                                               / static_cast<double>(length));
    // The crest of the tone falls on the middle of the window.
    const double phase = 2.0 * std::numbers::pi * 3000.0 * static_cast<double>(at - length / 2) / SampleRate;
    return std::pow(10.0, -0.5 / 20.0) * window * std::cos(phase);
}

// The audio of a track at sample n of the track, shaped, before the loudness scale applies
// to everything but the clicks.
Frame shapedFrame(Audio style, const Area &area, std::int64_t n, double scale)
{
    const Shape &shape = area.shape;
    const std::int64_t audioStart = static_cast<std::int64_t>(shape.leadingSilence) * SamplesPerSector;
    if (shape.silent || n < audioStart)
        return {};
    const std::int64_t m = n - audioStart;
    Frame frame = style == Audio::Tones ? toneFrame(area, m) : musicFrame(area, m);
    double gain = scale;
    if (shape.fadeIn)
        gain *= std::pow(10.0, std::min(0.0, -70.0 + 10.0 * static_cast<double>(m) / SampleRate) / 20.0);
    for (double &value : frame)
        value *= gain;
    if (shape.peaks) {
        const double extra = click(m);
        for (double &value : frame)
            value += extra;
    }
    return frame;
}

// Integrated loudness of a track as written with a scale.
double measuredLoudness(Audio style, const Area &area, double scale)
{
    const auto release = [](ebur128_state *state) { ebur128_destroy(&state); };
    const std::unique_ptr<ebur128_state, decltype(release)> meter(ebur128_init(2, 44100, EBUR128_MODE_I),
                                                                  release);
    if (!meter)
        throw std::bad_alloc();
    const std::int64_t samples = static_cast<std::int64_t>(area.end - area.start) * SamplesPerSector;
    std::vector<std::int16_t> block;
    block.reserve(2 * 65536);
    for (std::int64_t n = 0; n < samples; ++n) {
        const Frame frame = shapedFrame(style, area, n, scale);
        block.push_back(toSample(frame[0]));
        block.push_back(toSample(frame[1]));
        if (block.size() == block.capacity() || n + 1 == samples) {
            ebur128_add_frames_short(meter.get(), block.data(), block.size() / 2);
            block.clear();
        }
    }
    double lufs = 0.0;
    ebur128_loudness_global(meter.get(), &lufs);
    return lufs;
}

// The scale that gives a shaped track its loudness: found by measuring, since the fade and
// the clicks take their part. Kept per track, as every sector of it asks again.
double loudnessScale(Audio style, const Area &area)
{
    const Shape &shape = area.shape;
    if (!shape.loudness || shape.silent)
        return 1.0;
    static std::mutex mutex;
    static std::map<std::string, double> known;
    const std::string key = std::to_string(static_cast<int>(style)) + ' ' + std::to_string(area.audioIndex)
                            + ' ' + std::to_string(area.end - area.start) + ' ' + std::to_string(*shape.loudness)
                            + ' ' + std::to_string(shape.leadingSilence) + ' ' + std::to_string(shape.fadeIn)
                            + ' ' + std::to_string(shape.peaks);
    const std::lock_guard lock(mutex);
    if (const auto found = known.find(key); found != known.end())
        return found->second;
    // Secant steps on the scale in dB: the loudness grows dB for dB with it, less so when
    // the clicks, which it does not scale, weigh in.
    const auto missing = [&](double db) {
        const double lufs = measuredLoudness(style, area, std::pow(10.0, db / 20.0));
        if (!std::isfinite(lufs))
            throw std::invalid_argument("a track too short or too quiet has no loudness to choose");
        return lufs - *shape.loudness;
    };
    double before = 0.0;
    double missedBefore = missing(before);
    double db = -missedBefore;
    for (int round = 0; round < 8; ++round) {
        const double missed = missing(db);
        if (std::abs(missed) < 0.005 || missed == missedBefore)
            break;
        const double next = db - missed * (db - before) / (missed - missedBefore);
        before = db;
        missedBefore = missed;
        db = next;
    }
    const double scale = std::pow(10.0, db / 20.0);
    known.emplace(key, scale);
    return scale;
}

std::uint8_t bcd(std::int32_t value)
{
    return static_cast<std::uint8_t>((value / 10) << 4 | value % 10);
}

// A MODE1/2352 sector: sync pattern, BCD address header, then a pattern of the position.
void fillDataSector(std::int32_t lsn, char *out)
{
    out[0] = 0;
    for (int i = 1; i <= 10; ++i)
        out[i] = static_cast<char>(0xFF);
    out[11] = 0;
    const std::int32_t address = lsn + 150;
    out[12] = static_cast<char>(bcd(address / (60 * FramesPerSecond)));
    out[13] = static_cast<char>(bcd(address / FramesPerSecond % 60));
    out[14] = static_cast<char>(bcd(address % FramesPerSecond));
    out[15] = 1;
    for (std::int32_t i = 16; i < BytesPerSector; ++i)
        out[i] = static_cast<char>(mix(static_cast<std::uint64_t>(lsn) * BytesPerSector
                                       + static_cast<std::uint64_t>(i)) & 0xFF);
}

void putSample(char *out, std::int16_t sample)
{
    const auto bits = static_cast<std::uint16_t>(sample);
    out[0] = static_cast<char>(bits & 0xFF);
    out[1] = static_cast<char>(bits >> 8);
}

void fillSector(Audio style, const Area &area, std::int32_t lsn, char *out)
{
    if (area.data) {
        fillDataSector(lsn, out);
        return;
    }
    for (std::int32_t k = 0; k < SamplesPerSector; ++k) {
        char *at = out + static_cast<std::ptrdiff_t>(k) * 4;
        const std::int64_t inTrack = static_cast<std::int64_t>(lsn - area.start) * SamplesPerSector + k;
        if (style == Audio::Pattern) {
            const std::int64_t absolute = static_cast<std::int64_t>(lsn) * SamplesPerSector + k;
            putSample(at, patternSample(absolute, 0));
            putSample(at + 2, patternSample(absolute, 1));
        } else if (inTrack < 0) {
            // Pregaps are silent, as on most pressed discs.
            putSample(at, 0);
            putSample(at + 2, 0);
        } else {
            const Frame frame = shapedFrame(style, area, inTrack, area.scale);
            putSample(at, toSample(frame[0]));
            putSample(at + 2, toSample(frame[1]));
        }
    }
}

QString msf(std::int32_t frames)
{
    return QStringLiteral("%1:%2:%3")
        .arg(frames / (60 * FramesPerSecond), 2, 10, QLatin1Char('0'))
        .arg(frames / FramesPerSecond % 60, 2, 10, QLatin1Char('0'))
        .arg(frames % FramesPerSecond, 2, 10, QLatin1Char('0'));
}

// TITLE and PERFORMER lines, indented like the line they follow.
QString textLines(const QString &indent, const QString &title, const QString &performer)
{
    QString lines;
    for (const auto &[key, value] : {std::pair{QStringLiteral("TITLE"), title},
                                     std::pair{QStringLiteral("PERFORMER"), performer}}) {
        if (!value.isEmpty())
            lines += QStringLiteral("%1%2 \"%3\"\n").arg(indent, key, value);
    }
    return lines;
}

void checkText(const QString &text)
{
    if (text.contains(QLatin1Char('"')) || text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r')))
        throw std::invalid_argument("a CUE sheet text cannot hold a double quote or a line break");
}

QByteArray cueSheet(const QString &binName, const std::vector<Area> &areas, const DiscLayout &discLayout,
                    const SheetStyle &style)
{
    QString text = textLines(QString(), discLayout.title, discLayout.performer);
    text += QStringLiteral("FILE \"%1\" BINARY\n").arg(binName);
    for (std::size_t i = 0; i < areas.size(); ++i) {
        const Area &area = areas[i];
        text += QStringLiteral("  TRACK %1 %2\n")
                    .arg(static_cast<int>(i) + 1, 2, 10, QLatin1Char('0'))
                    .arg(area.data ? QStringLiteral("MODE1/2352") : QStringLiteral("AUDIO"));
        if (i < discLayout.trackTexts.size())
            text += textLines(QStringLiteral("    "), discLayout.trackTexts[i].title, discLayout.trackTexts[i].performer);
        if (area.areaStart < area.start)
            text += QStringLiteral("    INDEX 00 %1\n").arg(msf(area.areaStart));
        text += QStringLiteral("    INDEX 01 %1\n").arg(msf(area.start));
    }
    if (style.crlf)
        text.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    return (style.byteOrderMark ? QByteArray("\xEF\xBB\xBF") : QByteArray())
           + (discLayout.textEncoding == TextEncoding::Latin1 ? text.toLatin1() : text.toUtf8());
}

void writeAll(QFile &file, const char *data, qint64 size)
{
    if (file.write(data, size) != size)
        throw std::runtime_error("cannot write " + describe(file.fileName()) + ": "
                                 + describe(file.errorString()));
}

} // namespace

QString write(const QString &basePath, const DiscLayout &discLayout)
{
    return write(basePath, discLayout, SheetStyle{});
}

QString writeToc(const QString &basePath, const DiscLayout &discLayout)
{
    const std::vector<Area> areas = layoutOf(discLayout);
    for (const Area &area : areas) {
        if (area.data || area.areaStart < area.start)
            throw std::invalid_argument("the .toc writer makes audio discs without pregaps only");
    }
    const QString cuePath = write(basePath, discLayout);
    QFile::remove(cuePath);
    const QString binName = QFileInfo(basePath).fileName() + QStringLiteral(".bin");
    QString text = QStringLiteral("CD_DA\n");
    for (const Area &area : areas) {
        text += QStringLiteral("TRACK AUDIO\nFILE \"%1\" %2 %3\n")
                    .arg(binName, msf(area.areaStart), msf(area.end - area.areaStart));
    }
    const QString tocPath = basePath + QStringLiteral(".toc");
    QFile toc(tocPath);
    if (!toc.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw std::runtime_error("cannot create " + describe(tocPath));
    writeAll(toc, text.toUtf8().constData(), text.toUtf8().size());
    return tocPath;
}

QString write(const QString &basePath, const DiscLayout &discLayout, const SheetStyle &style)
{
    const std::vector<Area> areas = layoutOf(discLayout);
    checkText(discLayout.title);
    checkText(discLayout.performer);
    for (const TrackText &track : discLayout.trackTexts) {
        checkText(track.title);
        checkText(track.performer);
    }
    const QString cuePath = basePath + QStringLiteral(".cue");
    QFile bin(style.binName.isEmpty() ? basePath + QStringLiteral(".bin")
                                      : QFileInfo(basePath).dir().filePath(style.binName));
    QFile cue(cuePath);
    // Never leave half an image behind: a reader would take it for a shorter disc.
    const auto discard = [&] {
        bin.close();
        cue.close();
        bin.remove();
        cue.remove();
    };
    try {
        if (!bin.open(QIODevice::WriteOnly | QIODevice::Truncate))
            throw std::runtime_error("cannot create " + describe(bin.fileName()) + ": "
                                     + describe(bin.errorString()));
        // Streamed in blocks: a full-length image is far larger than what we want in memory.
        constexpr std::int32_t BlockSectors = 256;
        QByteArray block(static_cast<qsizetype>(BlockSectors) * BytesPerSector, '\0');
        for (const Area &area : areas) {
            for (std::int32_t lsn = area.areaStart; lsn < area.end;) {
                const std::int32_t count = std::min(BlockSectors, area.end - lsn);
                for (std::int32_t i = 0; i < count; ++i)
                    fillSector(discLayout.audio, area, lsn + i,
                               block.data() + static_cast<qsizetype>(i) * BytesPerSector);
                writeAll(bin, block.constData(), static_cast<qint64>(count) * BytesPerSector);
                lsn += count;
            }
        }
        if (!bin.flush())
            throw std::runtime_error("cannot write " + describe(bin.fileName()) + ": "
                                     + describe(bin.errorString()));
        bin.close();

        if (!cue.open(QIODevice::WriteOnly | QIODevice::Truncate))
            throw std::runtime_error("cannot create " + describe(cue.fileName()) + ": "
                                     + describe(cue.errorString()));
        const QByteArray sheet = cueSheet(QFileInfo(bin.fileName()).fileName(), areas, discLayout, style);
        writeAll(cue, sheet.constData(), sheet.size());
        if (!cue.flush())
            throw std::runtime_error("cannot write " + describe(cue.fileName()) + ": "
                                     + describe(cue.errorString()));
        cue.close();
    } catch (...) {
        discard();
        throw;
    }
    return cuePath;
}

QByteArray sectorBytes(const DiscLayout &discLayout, std::int32_t lsn)
{
    const std::vector<Area> areas = layoutOf(discLayout);
    QByteArray bytes(BytesPerSector, '\0');
    fillSector(discLayout.audio, areaOf(areas, lsn), lsn, bytes.data());
    return bytes;
}

QByteArray rangeBytes(const DiscLayout &discLayout, std::int32_t firstLsn, std::int32_t count)
{
    if (count < 0)
        throw std::out_of_range("negative sector count");
    const std::vector<Area> areas = layoutOf(discLayout);
    QByteArray bytes(static_cast<qsizetype>(count) * BytesPerSector, '\0');
    for (std::int32_t i = 0; i < count; ++i) {
        const std::int32_t lsn = firstLsn + i;
        fillSector(discLayout.audio, areaOf(areas, lsn), lsn,
                   bytes.data() + static_cast<qsizetype>(i) * BytesPerSector);
    }
    return bytes;
}

std::int32_t trackStart(const DiscLayout &discLayout, int trackNumber)
{
    const std::vector<Area> areas = layoutOf(discLayout);
    if (trackNumber < 1 || static_cast<std::size_t>(trackNumber) > areas.size())
        throw std::out_of_range("no such track");
    return areas[static_cast<std::size_t>(trackNumber) - 1].start;
}

std::int32_t totalFrames(const DiscLayout &discLayout)
{
    return layoutOf(discLayout).back().end;
}

} // namespace discimage
