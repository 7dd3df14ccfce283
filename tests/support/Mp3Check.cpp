#include "Mp3Check.h"

#include <QtGlobal>
#ifdef Q_OS_WIN
#define ENABLE_SNDFILE_WINDOWS_PROTOTYPES 1
#endif
#include "SndfileHandle.h"

#include "FileSystem.h"

#include <QFile>

#include <mpg123.h>
#include <taglib/apetag.h>
#include <taglib/commentsframe.h>
#include <taglib/id3v2frame.h>
#include <taglib/id3v2header.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/textidentificationframe.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <numbers>

namespace {

struct Mpg123Closer
{
    void operator()(mpg123_handle *handle) const noexcept
    {
        mpg123_close(handle);
        mpg123_delete(handle);
    }
};
using Mpg123Ptr = std::unique_ptr<mpg123_handle, Mpg123Closer>;

QString fromTagLib(const TagLib::String &text)
{
    return QString::fromUtf8(text.toCString(true));
}

QString encodingName(TagLib::String::Type type)
{
    switch (type) {
    case TagLib::String::Latin1: return QStringLiteral("Latin1");
    case TagLib::String::UTF16: return QStringLiteral("UTF16");
    case TagLib::String::UTF16BE: return QStringLiteral("UTF16BE");
    case TagLib::String::UTF8: return QStringLiteral("UTF8");
    case TagLib::String::UTF16LE: return QStringLiteral("UTF16LE");
    }
    return QStringLiteral("?");
}

double pearson(const std::vector<double> &a, const std::vector<double> &b)
{
    const std::size_t n = std::min(a.size(), b.size());
    if (n < 2)
        return std::numeric_limits<double>::quiet_NaN();
    double meanA = 0, meanB = 0;
    for (std::size_t i = 0; i < n; ++i) {
        meanA += a[i];
        meanB += b[i];
    }
    meanA /= double(n);
    meanB /= double(n);
    double covariance = 0, varianceA = 0, varianceB = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double da = a[i] - meanA;
        const double db = b[i] - meanB;
        covariance += da * db;
        varianceA += da * da;
        varianceB += db * db;
    }
    return covariance / std::sqrt(varianceA * varianceB);
}

// One channel as doubles; channel -1 mixes all channels down.
std::vector<double> channelOf(const Mp3Check::Audio &audio, int channel)
{
    const auto frames = static_cast<std::size_t>(audio.frames());
    const auto channels = static_cast<std::size_t>(audio.channels);
    std::vector<double> out(frames);
    for (std::size_t f = 0; f < frames; ++f) {
        if (channel >= 0) {
            out[f] = audio.samples[f * channels + static_cast<std::size_t>(channel)];
        } else {
            double sum = 0;
            for (std::size_t c = 0; c < channels; ++c)
                sum += audio.samples[f * channels + c];
            out[f] = sum / double(channels);
        }
    }
    return out;
}

} // namespace

std::int16_t Mp3Check::signalSample(qint64 frame, int channel, int rate)
{
    constexpr double Pi = std::numbers::pi;
    const double t = double(frame) / double(rate);
    const double swell = 0.7 + 0.3 * std::sin(2 * Pi * 0.9 * t);
    const double value = channel == 0
                             ? 0.30 * std::sin(2 * Pi * 440 * t) + 0.15 * std::sin(2 * Pi * 1250 * t)
                             : 0.30 * std::sin(2 * Pi * 660 * t) + 0.15 * std::sin(2 * Pi * 190 * t + 1);
    return static_cast<std::int16_t>(std::lround(value * swell * 32767));
}

Mp3Check::Audio Mp3Check::synthesize(int channels, qint64 frames, int rate)
{
    Audio audio;
    audio.channels = channels;
    audio.rate = rate;
    audio.samples.reserve(static_cast<std::size_t>(frames * channels));
    for (qint64 f = 0; f < frames; ++f) {
        for (int c = 0; c < channels; ++c)
            audio.samples.push_back(signalSample(f, c, rate));
    }
    return audio;
}

SNDFILE *Mp3Check::openSound(const QString &path, int mode, SF_INFO *info)
{
#ifdef Q_OS_WIN
    return sf_wchar_open(reinterpret_cast<const wchar_t *>(path.utf16()), mode, info);
#else
    return sf_open(QFile::encodeName(path).constData(), mode, info);
#endif
}

bool Mp3Check::writeWav(const QString &path, int channels, qint64 frames, int rate, int sndfileFormat)
{
    SF_INFO info{};
    info.channels = channels;
    info.samplerate = rate;
    info.format = sndfileFormat != 0 ? sndfileFormat : SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    const SndfilePtr file(openSound(path, SFM_WRITE, &info));
    if (!file)
        return false;
    const Audio audio = synthesize(channels, frames, rate);
    return sf_writef_short(file.get(), audio.samples.data(), frames) == frames;
}

Mp3Check::Audio Mp3Check::readWav(const QString &path)
{
    Audio audio;
    SF_INFO info{};
    const SndfilePtr file(openSound(path, SFM_READ, &info));
    if (!file) {
        audio.error = QString::fromLocal8Bit(sf_strerror(nullptr));
        return audio;
    }
    audio.channels = info.channels;
    audio.rate = info.samplerate;
    audio.samples.resize(static_cast<std::size_t>(info.frames * info.channels));
    if (sf_readf_short(file.get(), audio.samples.data(), info.frames) != info.frames)
        audio.error = QStringLiteral("short read");
    return audio;
}

Mp3Check::Audio Mp3Check::decodeMp3(const QString &path)
{
    Audio audio;
    int error = MPG123_OK;
    const Mpg123Ptr handle(mpg123_new(nullptr, &error));
    if (!handle) {
        audio.error = QString::fromUtf8(mpg123_plain_strerror(error));
        return audio;
    }
    mpg123_handle *const mh = handle.get();
    mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_GAPLESS | MPG123_QUIET, 0);
    // 16-bit output at whatever rate and channel count the file has.
    mpg123_format_none(mh);
    const long *rates = nullptr;
    std::size_t rateCount = 0;
    mpg123_rates(&rates, &rateCount);
    for (std::size_t i = 0; i < rateCount; ++i)
        mpg123_format(mh, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);

#ifdef Q_OS_WIN
    // libmpg123 built for Windows reads its file names as UTF-8; the long-path form for
    // names near the length limit.
    const QByteArray name = QString::fromStdWString(FileSystem::longPath(path)).toUtf8();
#else
    const QByteArray name = QFile::encodeName(path);
#endif
    if (mpg123_open(mh, name.constData()) != MPG123_OK) {
        audio.error = QString::fromUtf8(mpg123_strerror(mh));
        return audio;
    }
    int encoding = 0;
    if (mpg123_getformat(mh, &audio.rate, &audio.channels, &encoding) != MPG123_OK) {
        audio.error = QString::fromUtf8(mpg123_strerror(mh));
        return audio;
    }

    std::vector<unsigned char> buffer(16 * 1024);
    bool firstFrame = true;
    for (;;) {
        std::size_t done = 0;
        const int result = mpg123_read(mh, buffer.data(), buffer.size(), &done);
        const auto *samples = reinterpret_cast<const std::int16_t *>(buffer.data());
        audio.samples.insert(audio.samples.end(), samples, samples + done / 2);
        mpg123_frameinfo2 info{};
        if (done > 0 && mpg123_info2(mh, &info) == MPG123_OK) {
            if (firstFrame) {
                audio.bitrate = info.bitrate;
                audio.channelMode = info.mode;
                audio.constantBitrate = info.vbr == MPG123_CBR;
                firstFrame = false;
            } else if (info.bitrate != audio.bitrate) {
                audio.bitrate = 0;
                audio.constantBitrate = false;
            }
        }
        if (result == MPG123_DONE)
            break;
        if (result == MPG123_NEW_FORMAT) {
            long rate = 0;
            int channels = 0;
            mpg123_getformat(mh, &rate, &channels, &encoding);
            if (rate != audio.rate || channels != audio.channels) {
                audio.error = QStringLiteral("format changed inside the stream");
                return audio;
            }
            continue;
        }
        if (result != MPG123_OK) {
            audio.error = QString::fromUtf8(mpg123_strerror(mh));
            return audio;
        }
    }
    return audio;
}

double Mp3Check::correlation(const Audio &reference, const Audio &decoded)
{
    if (reference.channels <= 0 || decoded.channels <= 0)
        return std::numeric_limits<double>::quiet_NaN();
    if (decoded.channels == 1)
        return pearson(channelOf(reference, reference.channels == 1 ? 0 : -1), channelOf(decoded, 0));
    if (decoded.channels != reference.channels)
        return std::numeric_limits<double>::quiet_NaN();
    double lowest = 1.0;
    for (int c = 0; c < decoded.channels; ++c) {
        const double r = pearson(channelOf(reference, c), channelOf(decoded, c));
        if (std::isnan(r))
            return r;
        lowest = std::min(lowest, r);
    }
    return lowest;
}

Mp3Check::Tags Mp3Check::readTags(const QString &path)
{
    Tags tags;
    QFile raw(path);
    if (raw.open(QIODevice::ReadOnly)) {
        tags.id3v2AtStart = raw.read(3) == QByteArrayLiteral("ID3");
        if (raw.size() >= 128 && raw.seek(raw.size() - 128))
            tags.hasId3v1 = raw.read(3) == QByteArrayLiteral("TAG");
    }

#ifdef Q_OS_WIN
    TagLib::MPEG::File file(reinterpret_cast<const wchar_t *>(path.utf16()), false);
#else
    const QByteArray name = QFile::encodeName(path);
    TagLib::MPEG::File file(name.constData(), false);
#endif
    if (!file.isValid())
        return tags;
    tags.readable = true;
    tags.hasId3v1 = tags.hasId3v1 || file.hasID3v1Tag();
    tags.hasApe = file.hasAPETag();
    if (!file.hasID3v2Tag())
        return tags;

    TagLib::ID3v2::Tag *tag = file.ID3v2Tag();
    tags.id3v2Version = static_cast<int>(tag->header()->majorVersion());
    tags.title = fromTagLib(tag->title());
    tags.artist = fromTagLib(tag->artist());
    tags.album = fromTagLib(tag->album());
    tags.comment = fromTagLib(tag->comment());
    for (const TagLib::ID3v2::Frame *frame : tag->frameList()) {
        QString encoding;
        if (const auto *text = dynamic_cast<const TagLib::ID3v2::TextIdentificationFrame *>(frame))
            encoding = encodingName(text->textEncoding());
        else if (const auto *comment = dynamic_cast<const TagLib::ID3v2::CommentsFrame *>(frame))
            encoding = encodingName(comment->textEncoding());
        const TagLib::ByteVector id = frame->frameID();
        tags.frames.insert(QString::fromLatin1(id.data(), static_cast<qsizetype>(id.size())), encoding);
    }
    return tags;
}

int Mp3Check::lameQualityIndicator(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    // The Info frame is the first audio frame, after an ID3v2 tag at most a few kB long.
    const QByteArray head = file.read(64 * 1024);
    qsizetype at = head.indexOf("Info");
    if (at < 0)
        at = head.indexOf("Xing");
    if (at < 0 || at + 8 > head.size())
        return -1;
    const auto bigEndian = [&head](qsizetype offset) {
        std::uint32_t value = 0;
        for (qsizetype i = 0; i < 4; ++i)
            value = (value << 8) | static_cast<std::uint8_t>(head.at(offset + i));
        return value;
    };
    const std::uint32_t flags = bigEndian(at + 4);
    qsizetype offset = at + 8;
    if (flags & 1u)
        offset += 4; // frame count
    if (flags & 2u)
        offset += 4; // byte count
    if (flags & 4u)
        offset += 100; // seek table
    if (!(flags & 8u) || offset + 4 > head.size())
        return -1;
    return static_cast<int>(bigEndian(offset));
}
