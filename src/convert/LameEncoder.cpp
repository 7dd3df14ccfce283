#include "LameEncoder.h"

#include "ConvertTexts.h"
#include "FileSystem.h"
#include "Mp3Tag.h"
#include "OutputFiles.h"
#include "SndfileHandle.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include <lame/lame.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace {

// MPEG-1 layer III bit rates, kbit/s.
constexpr std::array<std::int32_t, 14> Bitrates = {32, 40, 48, 56, 64, 80, 96, 112, 128, 160,
                                                   192, 224, 256, 320};
// MPEG-1 output rates, kHz: the bit rates above exist only at these.
constexpr std::array<double, 3> SampleRatesKHz = {32.0, 44.1, 48.0};

// Large blocks keep the per-block overhead invisible next to LAME's own work; shorter files
// get smaller blocks, about one per percent, so that progress moves evenly.
constexpr sf_count_t LargestBlock = 1152 * 64;
constexpr sf_count_t SmallestBlock = 1152;
// Room for the info frame: larger than any layer III frame.
constexpr std::size_t LargestFrameBytes = 2880;

struct LameCloser
{
    void operator()(lame_global_flags *flags) const noexcept { lame_close(flags); }
};
using LamePtr = std::unique_ptr<lame_global_flags, LameCloser>;

// LAME reports through C callbacks without a context pointer: its last error message is kept
// per thread, and nothing is printed on the terminal.
thread_local char t_lameError[256];

void keepLameError(const char *format, va_list args) noexcept
{
    std::vsnprintf(t_lameError, sizeof t_lameError, format, args);
}

void ignoreLameMessage(const char *, va_list) noexcept {}

QString lameReason()
{
    const QString reason = QString::fromLocal8Bit(t_lameError).trimmed();
    return reason.isEmpty() ? ConvertTexts::unknownEncoderError() : reason;
}

[[noreturn]] void fail(const QString &message)
{
    throw EncoderError(message.toStdString());
}

[[noreturn]] void refuse(const char *property, const QString &value)
{
    fail(ConvertTexts::valueRefused(QLatin1String(property), value));
}

// Writes all of data, or throws with the system's reason. A short write is retried so that
// the call that fails reports why (disk full, file too large).
// shownName: the name the user knows the file by (it is written under a working name).
void writeAll(QFile &file, const QString &shownName, const void *data, qint64 size)
{
    const char *bytes = static_cast<const char *>(data);
    while (size > 0) {
        const qint64 written = file.write(bytes, size);
        if (written <= 0) {
            fail(ConvertTexts::cannotWriteMp3(shownName, file.errorString()));
        }
        bytes += written;
        size -= written;
    }
}

struct Settings
{
    QString input;
    QString output;
    MPEG_mode mode = STEREO;
    int bitrate = 0;
    int outputRateHz = 0;
    int quality = 0;
    QByteArray tag;
    LevelOptions levelling;
};

// Reads count frames at the input's current position, or throws with the reason.
void readFrames(SNDFILE *sound, const QString &input, short *out, sf_count_t count)
{
    if (sf_readf_short(sound, out, count) == count)
        return;
    const QString reason = sf_error(sound) != SF_ERR_NO_ERROR
                               ? QString::fromLocal8Bit(sf_strerror(sound))
                               : ConvertTexts::wavShorterThanHeader();
    fail(ConvertTexts::cannotReadWav(input, reason));
}

void seekTo(SNDFILE *sound, const QString &input, sf_count_t frame)
{
    if (sf_seek(sound, frame, SEEK_SET) != frame)
        fail(ConvertTexts::cannotReadWav(input, QString::fromLocal8Bit(sf_strerror(sound))));
}

// Opens the input through QFile, which takes any Unicode path; libsndfile reads through
// its descriptor and converts any sample format to 16 bits.
SndfilePtr openInput(QFile &in, SF_INFO &info)
{
    if (!in.open(QIODevice::ReadOnly)) {
        fail(ConvertTexts::cannotReadWav(in.fileName(), in.errorString()));
    }
    SndfilePtr sound(sf_open_fd(in.handle(), SFM_READ, &info, SF_FALSE));
    if (!sound) {
        fail(ConvertTexts::notAudio(in.fileName(), QString::fromLocal8Bit(sf_strerror(nullptr))));
    }
    if (info.channels != 1 && info.channels != 2) {
        fail(ConvertTexts::unsupportedChannels(in.fileName(), info.channels));
    }
    return sound;
}

// Never truncate the audio being encoded, nor remove a folder or a device on failure.
void checkOutputPath(const QString &output, const QString &input)
{
    const QFileInfo outInfo(output);
    if (!outInfo.exists())
        return;
    if (outInfo.canonicalFilePath() == QFileInfo(input).canonicalFilePath()) {
        fail(ConvertTexts::mp3WouldReplaceItsWav(output));
    }
    if (!outInfo.isFile()) {
        fail(ConvertTexts::mp3NameTakenByFolder(output));
    }
}

LamePtr prepareLame(const Settings &job, const SF_INFO &info, sf_count_t frames,
                    const LevelPlan &plan)
{
    LamePtr lame(lame_init());
    if (!lame)
        fail(ConvertTexts::encoderOutOfMemory());
    lame_global_flags *const flags = lame.get();
    t_lameError[0] = '\0';
    lame_set_errorf(flags, keepLameError);
    lame_set_debugf(flags, ignoreLameMessage);
    lame_set_msgf(flags, ignoreLameMessage);
    // The exact count makes the info frame's length and gapless padding right.
    lame_set_num_samples(flags, static_cast<unsigned long>(frames));
    lame_set_in_samplerate(flags, info.samplerate);
    lame_set_num_channels(flags, info.channels);
    lame_set_out_samplerate(flags, job.outputRateHz);
    lame_set_mode(flags, info.channels == 1 ? MONO : job.mode);
    lame_set_VBR(flags, vbr_off);
    lame_set_brate(flags, job.bitrate);
    lame_set_quality(flags, job.quality);
    lame_set_write_id3tag_automatic(flags, 0);
    lame_set_bWriteVbrTag(flags, 1);
    // LAME scales the samples in floating point before its analysis: the gain costs no
    // rounding of its own, and nothing is clipped on the way.
    if (plan.gainDb != 0.0)
        lame_set_scale(flags, static_cast<float>(plan.scale()));
    if (lame_init_params(flags) < 0) {
        fail(ConvertTexts::encoderRefuses(job.input, lameReason()));
    }
    return lame;
}

} // namespace

EncodeCancelled::EncodeCancelled()
    : EncoderError(ConvertTexts::encodingCancelled().toStdString())
{
}

LameEncoder::LameEncoder() = default;
LameEncoder::~LameEncoder() = default;

bool LameEncoder::supportsEncodingMode(std::int32_t mode)
{
    return mode == ModeStereo || mode == ModeJointStereo || mode == ModeMono;
}

bool LameEncoder::supportsEncodingBitrate(std::int32_t kbps)
{
    return std::find(Bitrates.begin(), Bitrates.end(), kbps) != Bitrates.end();
}

void LameEncoder::setEncodingMode(std::int32_t mode)
{
    if (!supportsEncodingMode(mode))
        refuse("EncodingMode", QString::number(mode));
    m_mode = mode;
}

void LameEncoder::setEncodingBitrate(std::int32_t kbps)
{
    if (!supportsEncodingBitrate(kbps))
        refuse("EncodingBitrate", QString::number(kbps));
    m_bitrate = kbps;
}

void LameEncoder::setSampleRate(double kHz)
{
    const auto matches = [kHz](double rate) { return std::abs(kHz - rate) < 1e-6; };
    if (std::none_of(SampleRatesKHz.begin(), SampleRatesKHz.end(), matches)) {
        QLocale french(QLocale::French);
        french.setNumberOptions(QLocale::OmitGroupSeparator);
        refuse("SampleRate", french.toString(kHz, 'g', 10));
    }
    m_sampleRateKHz = kHz;
}

void LameEncoder::setLowQuality(bool low)
{
    m_lowQuality = low;
}

void LameEncoder::setInputFile(const QString &path)
{
    m_inputFile = path;
}

void LameEncoder::setOutputFile(const QString &path)
{
    m_outputFile = path;
}

void LameEncoder::setAlbumTag(const QString &text)
{
    m_album = text;
}

void LameEncoder::setArtistTag(const QString &text)
{
    m_artist = text;
}

void LameEncoder::setTitleTag(const QString &text)
{
    m_title = text;
}

void LameEncoder::setCommentTag(const QString &text)
{
    m_comment = text;
}

void LameEncoder::Encode()
{
    if (m_encoding)
        fail(ConvertTexts::alreadyEncoding());
    m_encoding = true;
    struct Release
    {
        bool &busy;
        ~Release() { busy = false; }
    } release{m_encoding};

    // Handlers may change the properties while the file is encoded: work on a copy.
    Settings job;
    job.input = m_inputFile;
    job.output = m_outputFile;
    job.mode = static_cast<MPEG_mode>(m_mode);
    job.bitrate = m_bitrate;
    job.outputRateHz = static_cast<int>(std::lround(m_sampleRateKHz * 1000.0));
    job.quality = m_lowQuality ? 7 : 2;
    Mp3Tag tag;
    tag.title = m_title;
    tag.artist = m_artist;
    tag.album = m_album;
    tag.comment = m_comment;
    job.tag = tag.render();
    job.levelling = m_levelOptions;
    const ProgressHandler progress = m_progress;
    const std::atomic<bool> *const cancel = m_cancel;
    m_levelPlan = LevelPlan{};

    if (job.input.isEmpty())
        fail(ConvertTexts::noInputFile());
    if (job.output.isEmpty())
        fail(ConvertTexts::noOutputFile());

    QFile in(job.input);
    SF_INFO info{};
    const SndfilePtr sound = openInput(in, info);
    const sf_count_t total = std::max<sf_count_t>(info.frames, 0);
    checkOutputPath(job.output, job.input);

    std::int32_t reported = -1;
    const auto throwIfCancelled = [cancel] {
        if (cancel != nullptr && cancel->load())
            throw EncodeCancelled();
    };
    // Every whole percent is reported, even when a block covers more than one.
    const auto reportUpTo = [&](std::int32_t percent) {
        while (reported < percent) {
            ++reported;
            if (progress)
                progress(reported);
            if (reported < 100)
                throwIfCancelled();
        }
    };

    // The sound is measured before any output exists; the encoding then starts where the
    // cut ends, and LAME is told the length of what is kept.
    LevelPlan plan;
    if (job.levelling.any()) {
        plan = planLevelling(PcmLayout{info.channels, info.samplerate, total}, job.levelling,
                             [&](std::int64_t first, std::int16_t *out, std::int64_t count) {
                                 throwIfCancelled();
                                 seekTo(sound.get(), job.input, first);
                                 readFrames(sound.get(), job.input, out, count);
                             });
        seekTo(sound.get(), job.input, plan.cutFrames);
    }
    const sf_count_t kept = total - plan.cutFrames;
    const LamePtr lame = prepareLame(job, info, kept, plan);
    lame_global_flags *const flags = lame.get();

    const sf_count_t block = std::clamp<sf_count_t>(kept / 100, SmallestBlock, LargestBlock);
    std::vector<short> pcm(static_cast<std::size_t>(block * info.channels));
    // LAME's bound for one call, scaled up when it resamples to a higher rate.
    const double growth = std::max(1.0, double(job.outputRateHz) / std::max(info.samplerate, 1));
    const double mp3Bound = std::ceil(1.25 * double(block) * growth) + 7200;
    std::vector<unsigned char> mp3(static_cast<std::size_t>(mp3Bound));
    const int mp3Size = static_cast<int>(mp3.size());
    reportUpTo(0);

    // The file is written under a hidden working name and takes its real name only once
    // complete: a program killed mid-way never leaves a short MP3 for the quiz to pick up.
    const QFileInfo target(job.output);
    const QString partial = target.dir().filePath(OutputFiles::workingName(target.fileName()));
    // What an earlier run left under that name, or a link or a FIFO planted there, is
    // removed, never followed.
    QString createFailure;
    const int fd = OutputFiles::createFresh(partial, &createFailure);
    QFile out;
    if (fd < 0 || !out.open(fd, QIODevice::WriteOnly | QIODevice::Unbuffered,
                            QFileDevice::AutoCloseHandle)) {
        if (fd >= 0) {
            createFailure = out.errorString();
            FileSystem::closeDescriptor(fd);
            OutputFiles::discard(partial);
        }
        fail(ConvertTexts::cannotCreateMp3(job.output, createFailure));
    }
    try {
        // The tag goes first, as players expect; the info frame is the first audio frame.
        writeAll(out, job.output, job.tag.constData(), job.tag.size());
        const qint64 audioStart = job.tag.size();

        for (sf_count_t done = 0; done < kept;) {
            const sf_count_t got = std::min(block, kept - done);
            readFrames(sound.get(), job.input, pcm.data(), got);
            const int frames = static_cast<int>(got);
            const int bytes = info.channels == 2
                                  ? lame_encode_buffer_interleaved(flags, pcm.data(), frames,
                                                                   mp3.data(), mp3Size)
                                  : lame_encode_buffer(flags, pcm.data(), pcm.data(), frames,
                                                       mp3.data(), mp3Size);
            if (bytes < 0)
                fail(ConvertTexts::encoderFailed(job.input, bytes));
            writeAll(out, job.output, mp3.data(), bytes);
            done += got;
            reportUpTo(static_cast<std::int32_t>(std::min<sf_count_t>(99, done * 100 / kept)));
            throwIfCancelled();
        }

        const int flushed = lame_encode_flush(flags, mp3.data(), mp3Size);
        if (flushed < 0)
            fail(ConvertTexts::encoderFailed(job.input, flushed));
        writeAll(out, job.output, mp3.data(), flushed);

        // The info frame now knows the exact length: write it over its placeholder. LAME
        // leaves it out when it does not fit in one frame (stereo below 64 kbit/s at
        // 44.1 kHz): such files play, with LAME's usual delay at the start.
        std::array<unsigned char, LargestFrameBytes> infoFrame{};
        const std::size_t infoBytes =
            lame_get_lametag_frame(flags, infoFrame.data(), infoFrame.size());
        if (infoBytes > infoFrame.size())
            fail(ConvertTexts::encoderCannotFinish(job.output, lameReason()));
        if (infoBytes > 0) {
            if (!out.seek(audioStart))
                fail(ConvertTexts::cannotWriteMp3(job.output, out.errorString()));
            writeAll(out, job.output, infoFrame.data(), static_cast<qint64>(infoBytes));
        }
        // On disk before it takes its name: after a power cut the name must not point at
        // an empty file.
        if (const QString reason = FileSystem::syncToDisk(out.handle()); !reason.isEmpty())
            fail(ConvertTexts::cannotWriteMp3(job.output, reason));
        out.close();
        if (out.error() != QFileDevice::NoError)
            fail(ConvertTexts::cannotWriteMp3(job.output, out.errorString()));
        // One step from the working name to the real one, replacing an earlier file: there
        // is never a moment without a complete MP3 under that name.
        const QString renameFailure = FileSystem::replace(partial, job.output);
        if (!renameFailure.isEmpty())
            fail(ConvertTexts::cannotWriteMp3(job.output, renameFailure));
        m_levelPlan = plan;
        reportUpTo(100);
    } catch (...) {
        out.close();
        OutputFiles::discard(partial);
        throw;
    }
}
