#include "LameEncoder.h"
#include "Mp3Check.h"
#include "TestEnvironment.h"
#include "TestFiles.h"
#include "TestPlatform.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <sndfile.h>
#ifdef Q_OS_UNIX
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <csignal>
#include <cstring>
#include <functional>
#include <limits>

using namespace Qt::StringLiterals;

namespace {

const QString Comment = u"Encodé par Sonalbury CD-MP3"_s;

QString messageOf(const std::exception &error)
{
    return QString::fromUtf8(error.what());
}

// Quality indicator of the LAME info frame (100 - 10 × VBR quality - quality), -1 without one.
int infoFrameQuality(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray head = file.read(8192);
    qsizetype frame = 0;
    if (head.startsWith("ID3") && head.size() > 10) {
        frame = 10 + ((head[6] & 0x7F) << 21 | (head[7] & 0x7F) << 14 | (head[8] & 0x7F) << 7
                      | (head[9] & 0x7F));
    }
    const qsizetype tag = head.indexOf("Info", frame);
    if (tag < 0 || tag > frame + 64)
        return -1;
    const auto be32 = [&head](qsizetype at) {
        return qFromBigEndian<quint32>(head.constData() + at);
    };
    const quint32 flags = be32(tag + 4);
    qsizetype at = tag + 8;
    at += (flags & 1) ? 4 : 0;   // frame count
    at += (flags & 2) ? 4 : 0;   // byte count
    at += (flags & 4) ? 100 : 0; // seek table
    return (flags & 8) ? static_cast<int>(be32(at)) : -1;
}

#ifdef Q_OS_UNIX
// Runs body in a child process whose files may not grow beyond limit bytes (writes past it
// fail with EFBIG, as on a full disk). Returns the child's exit code; the text the child
// writes to its pipe lands in message.
int inChildWithFileLimit(rlim_t limit, const std::function<int(int pipe)> &body, QString *message)
{
    int fds[2];
    if (pipe(fds) != 0)
        return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit small{limit, limit};
        setrlimit(RLIMIT_FSIZE, &small);
        _exit(body(fds[1]));
    }
    close(fds[1]);
    QByteArray text;
    char buffer[512];
    for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) > 0;)
        text.append(buffer, n);
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    *message = QString::fromUtf8(text);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
}
#endif

} // namespace

class TestLameEncoder : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    QString path(const QString &name) const { return m_dir.filePath(name); }

    QString makeWav(const QString &name, int channels, qint64 frames, int rate = 44100, int format = 0)
    {
        const QString wav = path(name);
        if (!Mp3Check::writeWav(wav, channels, frames, rate, format))
            qFatal("cannot write a test WAV file");
        return wav;
    }

    // The encoder as the conversion sets it up.
    static void prepare(LameEncoder &encoder, const QString &wav, const QString &mp3)
    {
        encoder.setEncodingMode(LameEncoder::ModeStereo);
        encoder.setEncodingBitrate(320);
        encoder.setSampleRate(44.1);
        encoder.setLowQuality(false);
        encoder.setInputFile(wav);
        encoder.setOutputFile(mp3);
        encoder.setAlbumTag(u"titre"_s);
        encoder.setArtistTag(QString());
        encoder.setTitleTag(u"Piste 1"_s);
        encoder.setCommentTag(Comment);
    }

private slots:
    // Every case starts from an empty folder.
    void init()
    {
        QFile::setPermissions(path(u"locked"_s), QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                                     | QFileDevice::ExeOwner);
        QDir(m_dir.path()).removeRecursively();
        QVERIFY(QDir().mkpath(m_dir.path()));
    }

    void encodesExactAudio_data()
    {
        QTest::addColumn<qint64>("frames");
        QTest::addColumn<int>("channels");
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("bitrate");
        QTest::addColumn<bool>("lowQuality");

        QTest::addColumn<bool>("exact");

        QTest::newRow("empty WAV") << qint64(0) << 2 << 0 << 320 << false << true;
        QTest::newRow("1 frame") << qint64(1) << 2 << 0 << 320 << false << true;
        QTest::newRow("one MP3 frame less 1") << qint64(1151) << 2 << 1 << 128 << false << true;
        QTest::newRow("one MP3 frame") << qint64(1152) << 2 << 0 << 160 << true << true;
        QTest::newRow("one MP3 frame and 1") << qint64(1153) << 2 << 3 << 64 << false << true;
        QTest::newRow("2 s + 37, stereo 320") << qint64(88237) << 2 << 0 << 320 << false << true;
        QTest::newRow("3 s, joint stereo 192, low quality") << qint64(132300) << 2 << 1 << 192 << true << true;
        QTest::newRow("3 s, stereo to mono 128") << qint64(132317) << 2 << 3 << 128 << false << true;
        QTest::newRow("2 s, mono WAV 96") << qint64(88200) << 1 << 0 << 96 << false << true;
        QTest::newRow("2 s, stereo 256") << qint64(88200) << 2 << 0 << 256 << true << true;
        // Below these rates LAME's info frame does not fit in one frame: no exact length.
        QTest::newRow("1 s, stereo 64") << qint64(44100) << 2 << 0 << 64 << false << true;
        QTest::newRow("1 s, mono 56") << qint64(44100) << 2 << 3 << 56 << false << true;
        QTest::newRow("1 s, joint stereo 56") << qint64(44100) << 2 << 1 << 56 << false << false;
        QTest::newRow("1 s, mono 48") << qint64(44100) << 2 << 3 << 48 << false << false;
        QTest::newRow("2 s, joint stereo 32") << qint64(88211) << 2 << 1 << 32 << false << false;
    }

    // Another decoder, gapless, gives back exactly the WAV's length and audio close to it.
    void encodesExactAudio()
    {
        QFETCH(qint64, frames);
        QFETCH(int, channels);
        QFETCH(int, mode);
        QFETCH(int, bitrate);
        QFETCH(bool, lowQuality);
        QFETCH(bool, exact);
        // Paths beyond Latin-1, as track titles give them.
        QVERIFY(QDir(m_dir.path()).mkpath(u"Dossier é ♫"_s));
        const QString wav = makeWav(u"Dossier é ♫/Ça ira – 1.wav"_s, channels, frames);
        const QString mp3 = path(u"Dossier é ♫/Été – Ça ira ♫.mp3"_s);

        LameEncoder encoder;
        prepare(encoder, wav, mp3);
        encoder.setEncodingMode(mode);
        encoder.setEncodingBitrate(bitrate);
        encoder.setLowQuality(lowQuality);
        encoder.Encode();

        Mp3Check::Audio decoded = Mp3Check::decodeMp3(mp3);
        QVERIFY2(decoded.ok(), qPrintable(decoded.error));
        QCOMPARE(decoded.rate, 44100L);
        const bool mono = channels == 1 || mode == LameEncoder::ModeMono;
        QCOMPARE(decoded.channels, mono ? 1 : 2);
        if (frames > 0) {
            QCOMPARE(decoded.bitrate, bitrate);
            QVERIFY(decoded.constantBitrate);
            QCOMPARE(decoded.channelMode, mono ? 3 : mode);
        }
        if (exact) {
            QCOMPARE(decoded.frames(), frames);
            QCOMPARE(infoFrameQuality(mp3), 100 - 40 - (lowQuality ? 7 : 2));
        } else {
            // LAME's encoder and decoder delays stay in front; the audio follows whole.
            constexpr qint64 Delay = 576 + 529;
            QVERIFY(decoded.frames() >= frames + Delay);
            QVERIFY(decoded.frames() <= frames + Delay + 2 * 1152);
            decoded.samples.erase(decoded.samples.begin(),
                                  decoded.samples.begin() + Delay * decoded.channels);
        }
        if (frames >= 4410) {
            const double r = Mp3Check::correlation(Mp3Check::readWav(wav), decoded);
            QVERIFY2(r > 0.99, qPrintable(u"correlation %1"_s.arg(r)));
        }
    }

    void resamples_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<int>("channels");
        QTest::addColumn<int>("inRate");
        QTest::addColumn<double>("kHz");
        const int pcm16 = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
        QTest::newRow("CD to 32 kHz") << pcm16 << 2 << 44100 << 32.0;
        QTest::newRow("CD to 48 kHz") << pcm16 << 2 << 44100 << 48.0;
        QTest::newRow("48 kHz WAV") << pcm16 << 2 << 48000 << 44.1;
        QTest::newRow("mono 22.05 kHz WAV") << pcm16 << 1 << 22050 << 44.1;
        QTest::newRow("24-bit WAV") << (SF_FORMAT_WAV | SF_FORMAT_PCM_24) << 2 << 44100 << 44.1;
        QTest::newRow("float WAV") << (SF_FORMAT_WAV | SF_FORMAT_FLOAT) << 2 << 44100 << 44.1;
        QTest::newRow("8-bit WAV") << (SF_FORMAT_WAV | SF_FORMAT_PCM_U8) << 2 << 44100 << 44.1;
    }

    // Other sample formats and rates are read, and the audio keeps its length in time.
    void resamples()
    {
        QFETCH(int, format);
        QFETCH(int, channels);
        QFETCH(int, inRate);
        QFETCH(double, kHz);
        const qint64 frames = 2 * inRate;
        const QString wav = makeWav(u"rate.wav"_s, channels, frames, inRate, format);
        const QString mp3 = path(u"rate.mp3"_s);
        LameEncoder encoder;
        prepare(encoder, wav, mp3);
        encoder.setSampleRate(kHz);
        encoder.Encode();

        const Mp3Check::Audio decoded = Mp3Check::decodeMp3(mp3);
        QVERIFY2(decoded.ok(), qPrintable(decoded.error));
        const long rate = std::lround(kHz * 1000);
        QCOMPARE(decoded.rate, rate);
        QVERIFY2(std::abs(decoded.frames() - frames * rate / inRate) <= 1,
                 qPrintable(QString::number(decoded.frames())));
        const Mp3Check::Audio expected = Mp3Check::synthesize(channels, decoded.frames(), int(rate));
        const double r = Mp3Check::correlation(expected, decoded);
        QVERIFY2(r > 0.99, qPrintable(u"correlation %1"_s.arg(r)));
    }

    void writesTag_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("artist");
        QTest::addColumn<QString>("album");
        QTest::addColumn<QString>("comment");
        QTest::addColumn<QStringList>("frames");

        QTest::newRow("as the window sends them")
            << u"Été – Ça ira ♫"_s << QString() << u"titre"_s << Comment
            << QStringList{u"COMM Latin1"_s, u"TALB Latin1"_s, u"TIT2 UTF16"_s};
        QTest::newRow("Latin-1 everywhere")
            << u"Piste 1"_s << u"Édith"_s << u"Chansons d'été"_s << Comment
            << QStringList{u"COMM Latin1"_s, u"TALB Latin1"_s, u"TIT2 Latin1"_s, u"TPE1 Latin1"_s};
        QTest::newRow("beyond the BMP") << u"Clé 🎵"_s << u"Ωmega"_s << QString() << QString()
                                        << QStringList{u"TIT2 UTF16"_s, u"TPE1 UTF16"_s};
        QTest::newRow("every field empty") << QString() << QString() << QString() << QString()
                                           << QStringList();
    }

    // ID3v2.3 alone, text as typed, a frame only for a filled field; gapless decoding intact.
    void writesTag()
    {
        QFETCH(QString, title);
        QFETCH(QString, artist);
        QFETCH(QString, album);
        QFETCH(QString, comment);
        QFETCH(QStringList, frames);
        const QString wav = makeWav(u"tag.wav"_s, 2, 44100 + 99);
        const QString mp3 = path(u"tag.mp3"_s);
        LameEncoder encoder;
        prepare(encoder, wav, mp3);
        encoder.setTitleTag(title);
        encoder.setArtistTag(artist);
        encoder.setAlbumTag(album);
        encoder.setCommentTag(comment);
        encoder.Encode();

        const Mp3Check::Tags tags = Mp3Check::readTags(mp3);
        QVERIFY(tags.readable);
        QVERIFY(!tags.hasId3v1);
        QVERIFY(!tags.hasApe);
        QCOMPARE(tags.id3v2Version, frames.isEmpty() ? 0 : 3);
        QCOMPARE(tags.id3v2AtStart, !frames.isEmpty());
        QCOMPARE(tags.title, title);
        QCOMPARE(tags.artist, artist);
        QCOMPARE(tags.album, album);
        QCOMPARE(tags.comment, comment);
        QStringList found;
        for (auto it = tags.frames.cbegin(); it != tags.frames.cend(); ++it)
            found << it.key() + u' ' + it.value();
        QCOMPARE(found, frames);
        QCOMPARE(Mp3Check::decodeMp3(mp3).frames(), 44100 + 99);
    }

    void propertyValues_data()
    {
        QTest::addColumn<QString>("property");
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("refusal"); // empty when the value is accepted

        const auto refusal = [](const char *property, const QString &value) {
            return u"Valeur refusée pour %1 : %2"_s.arg(QLatin1String(property), value);
        };
        for (const int mode : {0, 1, 3})
            QTest::addRow("EncodingMode %d", mode) << u"EncodingMode"_s << double(mode) << QString();
        for (const int mode : {-1, 2, 4})
            QTest::addRow("EncodingMode %d", mode)
                << u"EncodingMode"_s << double(mode) << refusal("EncodingMode", QString::number(mode));
        for (const int kbps : {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320})
            QTest::addRow("EncodingBitrate %d", kbps) << u"EncodingBitrate"_s << double(kbps) << QString();
        for (const int kbps : {0, 8, 100, 144, 330, 384, -128})
            QTest::addRow("EncodingBitrate %d", kbps)
                << u"EncodingBitrate"_s << double(kbps) << refusal("EncodingBitrate", QString::number(kbps));
        for (const double kHz : {32.0, 44.1, 48.0})
            QTest::addRow("SampleRate %g", kHz) << u"SampleRate"_s << kHz << QString();
        QTest::newRow("SampleRate 22.05") << u"SampleRate"_s << 22.05 << refusal("SampleRate", u"22,05"_s);
        QTest::newRow("SampleRate 44") << u"SampleRate"_s << 44.0 << refusal("SampleRate", u"44"_s);
        QTest::newRow("SampleRate 44.1 Hz") << u"SampleRate"_s << 44100.0 << refusal("SampleRate", u"44100"_s);
        QTest::newRow("SampleRate 0") << u"SampleRate"_s << 0.0 << refusal("SampleRate", u"0"_s);
        QTest::newRow("SampleRate -44.1") << u"SampleRate"_s << -44.1 << refusal("SampleRate", u"-44,1"_s);
        QTest::newRow("SampleRate NaN") << u"SampleRate"_s << std::numeric_limits<double>::quiet_NaN()
                                        << refusal("SampleRate", u"nan"_s);
    }

    // A refused value names the property and the value, and leaves the property as it was.
    void propertyValues()
    {
        QFETCH(QString, property);
        QFETCH(double, value);
        QFETCH(QString, refusal);
        LameEncoder encoder;
        const auto current = [&]() -> double {
            if (property == u"EncodingMode"_s)
                return encoder.encodingMode();
            if (property == u"EncodingBitrate"_s)
                return encoder.encodingBitrate();
            return encoder.sampleRate();
        };
        const double before = current();
        try {
            if (property == u"EncodingMode"_s)
                encoder.setEncodingMode(static_cast<std::int32_t>(value));
            else if (property == u"EncodingBitrate"_s)
                encoder.setEncodingBitrate(static_cast<std::int32_t>(value));
            else
                encoder.setSampleRate(value);
            QVERIFY2(refusal.isEmpty(), "value accepted");
            QCOMPARE(current(), value);
        } catch (const EncoderError &error) {
            QCOMPARE(messageOf(error), refusal);
            QCOMPARE(current(), before);
        }
    }

    void reportsProgress_data()
    {
        QTest::addColumn<qint64>("frames");
        QTest::newRow("empty") << qint64(0);
        QTest::newRow("1 frame") << qint64(1);
        QTest::newRow("fewer frames than percents") << qint64(73);
        QTest::newRow("3 s") << qint64(132300);
        QTest::newRow("5 s and a bit") << qint64(5 * 44100 + 5);
    }

    // Every whole percent once, in order, 0 before any work and 100 once the file is complete.
    void reportsProgress()
    {
        QFETCH(qint64, frames);
        const QString wav = makeWav(u"progress.wav"_s, 2, frames);
        const QString mp3 = path(u"progress.mp3"_s);
        LameEncoder encoder;
        prepare(encoder, wav, mp3);
        QList<std::int32_t> events;
        bool completeAt100 = false;
        encoder.setProgressHandler([&](std::int32_t percent) {
            events << percent;
            if (percent == 0)
                QVERIFY(!QFile::exists(mp3));
            // Until it is complete the file does not exist under its real name.
            if (percent == 50 && frames > 44100)
                QVERIFY(!QFile::exists(mp3) && QFile::exists(path(u".progress.mp3.part"_s)));
            if (percent == 100)
                completeAt100 = Mp3Check::decodeMp3(mp3).frames() == frames;
        });
        encoder.Encode();

        QList<std::int32_t> expected;
        for (std::int32_t p = 0; p <= 100; ++p)
            expected << p;
        QCOMPARE(events, expected);
        QVERIFY(completeAt100);
    }

    void cancels_data()
    {
        QTest::addColumn<int>("at"); // percent whose event sets the flag, -1 before Encode
        QTest::newRow("before the start") << -1;
        QTest::newRow("at 0 %") << 0;
        QTest::newRow("at 1 %") << 1;
        QTest::newRow("at 50 %") << 50;
        QTest::newRow("at 99 %") << 99;
    }

    // The flag stops the encoding at once and leaves no file of its own: an earlier MP3
    // stays as it was. The encoder then works again.
    void cancels()
    {
        QFETCH(int, at);
        const QString wav = makeWav(u"cancel.wav"_s, 2, 3 * 44100);
        const QString mp3 = path(u"cancel.mp3"_s);
        QFile earlier(mp3);
        QVERIFY(earlier.open(QIODevice::WriteOnly) && earlier.write("earlier run") == 11);
        earlier.close();
        std::atomic<bool> stop = at < 0;
        LameEncoder encoder;
        prepare(encoder, wav, mp3);
        encoder.setCancelFlag(&stop);
        std::int32_t last = -1;
        int trigger = at;
        encoder.setProgressHandler([&](std::int32_t percent) {
            last = percent;
            if (percent == trigger) {
                stop = true;
                trigger = -1;
            }
        });
        QVERIFY_THROWS_EXCEPTION(EncodeCancelled, encoder.Encode());
        QCOMPARE(last, std::max(at, 0));
        QVERIFY(earlier.open(QIODevice::ReadOnly));
        QCOMPARE(earlier.readAll(), QByteArray("earlier run"));
        earlier.close();
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);

        stop = false;
        encoder.Encode();
        QCOMPARE(last, 100);
        QCOMPARE(Mp3Check::decodeMp3(mp3).frames(), 3 * 44100);
    }

    void refusesBadInput_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("needle"); // part of the message
        // The system's own words for a missing file (Windows has its own).
        QFile absent(path(u"absent.wav"_s));
        QVERIFY(!absent.open(QIODevice::ReadOnly));
        QTest::newRow("missing") << path(u"absent.wav"_s) << absent.errorString();
        QTest::newRow("not audio") << path(u"notes.wav"_s) << QDir::toNativeSeparators(path(u"notes.wav"_s));
        QTest::newRow("a folder") << path(u"folder.wav"_s) << QDir::toNativeSeparators(path(u"folder.wav"_s));
        QTest::newRow("six channels") << path(u"six.wav"_s) << u"6 canaux"_s;
        QTest::newRow("no path") << QString() << u"Aucun fichier WAV"_s;
    }

    void refusesBadInput()
    {
        QFETCH(QString, input);
        QFETCH(QString, needle);
        QFile notes(path(u"notes.wav"_s));
        QVERIFY(notes.open(QIODevice::WriteOnly));
        notes.write(QByteArray(5000, 'x'));
        notes.close();
        QDir(m_dir.path()).mkpath(u"folder.wav"_s);
        makeWav(u"six.wav"_s, 6, 4410);
        const QString mp3 = path(u"bad.mp3"_s);

        LameEncoder encoder;
        prepare(encoder, input, mp3);
        try {
            encoder.Encode();
            QFAIL("no error");
        } catch (const EncoderError &error) {
            QVERIFY2(messageOf(error).contains(needle), error.what());
        }
        QVERIFY(!QFile::exists(mp3));
    }

    void refusesUnwritableOutput_data()
    {
        QTest::addColumn<QString>("output");
        QTest::newRow("missing folder") << path(u"nowhere/out.mp3"_s);
        QTest::newRow("a file in place of the folder") << path(u"plain/out.mp3"_s);
        QTest::newRow("a folder in place of the file") << path(u"taken.mp3"_s);
        QTest::newRow("read-only folder") << path(u"locked/out.mp3"_s);
    }

    // The message names the file and the system's reason; nothing is left or removed.
    void refusesUnwritableOutput()
    {
        QFETCH(QString, output);
        QDir dir(m_dir.path());
        QFile plain(path(u"plain"_s));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.close();
        dir.mkpath(u"taken.mp3"_s);
        dir.mkpath(u"locked"_s);
        QFile::setPermissions(path(u"locked"_s), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        if (output.contains(u"locked"_s) && !TestPlatform::folderPermissionsBind())
            QSKIP("folder permissions do not bind this user (the superuser, or anyone on Windows)");
        const QString wav = makeWav(u"out.wav"_s, 2, 4410);

        LameEncoder encoder;
        prepare(encoder, wav, output);
        try {
            encoder.Encode();
            QFAIL("no error");
        } catch (const EncoderError &error) {
            QVERIFY2(messageOf(error).contains(u"« "_s + QDir::toNativeSeparators(output) + u" » : "_s), error.what());
        }
        QVERIFY(!QFileInfo(output).isFile());
        QVERIFY(QFileInfo(path(u"taken.mp3"_s)).isDir());
    }

    // The WAV is the only copy of the audio: an output path naming it is refused.
    void neverOverwritesItsInput()
    {
        const QString wav = makeWav(u"self.wav"_s, 2, 4410);
        QFile before(wav);
        QVERIFY(before.open(QIODevice::ReadOnly));
        const QByteArray bytes = before.readAll();
        before.close();
        LameEncoder encoder;
        prepare(encoder, wav, QDir(m_dir.path()).filePath(u"./self.wav"_s));
        QVERIFY_THROWS_EXCEPTION(EncoderError, encoder.Encode());
        QFile after(wav);
        QVERIFY(after.open(QIODevice::ReadOnly));
        QCOMPARE(after.readAll(), bytes);
    }

    void removesPartialFileWhenDiskFills_data()
    {
        QTest::addColumn<qint64>("limit"); // bytes allowed; negative: that many short of the full file
        QTest::newRow("in the tag") << qint64(100);
        QTest::newRow("in the audio") << qint64(40000);
        QTest::newRow("at the last byte") << qint64(-1);
    }

    void removesPartialFileWhenDiskFills()
    {
#ifndef Q_OS_UNIX
        QSKIP("Windows has no file-size limit (RLIMIT_FSIZE) to stand for a full disk");
#else
        QFETCH(qint64, limit);
        const QString wav = makeWav(u"full.wav"_s, 2, 3 * 44100);
        const QString mp3 = path(u"full.mp3"_s);
        if (limit < 0) {
            LameEncoder whole;
            prepare(whole, wav, mp3);
            whole.Encode();
            limit += QFileInfo(mp3).size();
            QFile::remove(mp3);
        }

        QString message;
        const int code = inChildWithFileLimit(
            static_cast<rlim_t>(limit),
            [&](int pipe) {
                LameEncoder encoder;
                prepare(encoder, wav, mp3);
                try {
                    encoder.Encode();
                    return 1;
                } catch (const EncoderError &error) {
                    const ssize_t n = write(pipe, error.what(), std::strlen(error.what()));
                    return n < 0 ? 3 : QFile::exists(mp3) ? 2 : 0;
                }
            },
            &message);
        QCOMPARE(code, 0);
        QCOMPARE(message, u"Impossible d'écrire le fichier MP3 « %1 » : %2"_s
                              .arg(mp3, QString::fromLocal8Bit(std::strerror(EFBIG))));
#endif
    }

    // A file left by an earlier run is replaced entirely, not written over in part.
    void replacesAnEarlierFile()
    {
        const QString wav = makeWav(u"again.wav"_s, 2, 44100);
        const QString mp3 = path(u"again.mp3"_s);
        QFile old(mp3);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(2'000'000, '\xFF'));
        old.close();
        LameEncoder encoder;
        prepare(encoder, wav, mp3);
        encoder.Encode();
        QVERIFY(QFileInfo(mp3).size() < 100'000);
        QCOMPARE(Mp3Check::decodeMp3(mp3).frames(), 44100);
    }

    // The longest names a track can get still make their file: the hidden working name must
    // fit within the 255-byte limit too.
    void namesAtTheLengthLimit_data()
    {
        QTest::addColumn<QString>("baseName");
        QTest::newRow("250 ASCII bytes") << QString(250, u'a');
        QTest::newRow("250 bytes of é") << QString(125, u'é');
        QTest::newRow("just fits with the dot") << QString(245, u'b');
    }

    void namesAtTheLengthLimit()
    {
        QFETCH(QString, baseName);
        const QString wav = makeWav(u"long.wav"_s, 2, 44100);
        // Two names that differ only at their end each make their own file.
        for (const QString &ending : {u"1"_s, u"2"_s}) {
            const QString mp3 = path(baseName.chopped(1) + ending + u".mp3"_s);
            LameEncoder encoder;
            prepare(encoder, wav, mp3);
            encoder.Encode();
            QCOMPARE(Mp3Check::decodeMp3(mp3).frames(), 44100);
        }
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 3);
    }

    // Whatever sits at the working name or the final name (a link planted towards a file
    // elsewhere, a FIFO, an earlier run's leftover) is neither written through nor waited on.
    void neverFollowsWhatIsPlantedAtItsNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("planted");
        QTest::newRow("working name: link elsewhere") << u".planted.mp3.part"_s << u"link"_s;
        QTest::newRow("working name: dangling link") << u".planted.mp3.part"_s << u"dangling"_s;
        QTest::newRow("working name: FIFO") << u".planted.mp3.part"_s << u"fifo"_s;
        QTest::newRow("working name: leftover") << u".planted.mp3.part"_s << u"file"_s;
        QTest::newRow("final name: link elsewhere") << u"planted.mp3"_s << u"link"_s;
        QTest::newRow("final name: dangling link") << u"planted.mp3"_s << u"dangling"_s;
    }

    void neverFollowsWhatIsPlantedAtItsNames()
    {
#ifndef Q_OS_UNIX
        QSKIP("links and FIFOs planted at a file's name: a POSIX file-system matter");
#else
        QFETCH(QString, name);
        QFETCH(QString, planted);
        const QString wav = makeWav(u"planted.wav"_s, 2, 44100);
        const QString mp3 = path(u"planted.mp3"_s);
        QVERIFY(QDir().mkpath(path(u"outside"_s)));
        const QString elsewhere = path(u"outside/precious.txt"_s);
        QFile target(elsewhere);
        QVERIFY(target.open(QIODevice::WriteOnly));
        target.write("precious");
        target.close();
        plantEntry(path(name), planted, elsewhere, path(u"outside/new.txt"_s));
        if (QTest::currentTestFailed())
            return;

        LameEncoder encoder;
        prepare(encoder, wav, mp3);
        encoder.Encode();
        QFile after(elsewhere);
        QVERIFY(after.open(QIODevice::ReadOnly));
        QCOMPARE(after.readAll(), QByteArray("precious"));
        QVERIFY(!QFile::exists(path(u"outside/new.txt"_s)));
        QVERIFY(!QFileInfo(mp3).isSymLink());
        QCOMPARE(Mp3Check::decodeMp3(mp3).frames(), 44100);
        QVERIFY(!QFileInfo::exists(path(u".planted.mp3.part"_s)) && !QFileInfo(path(u".planted.mp3.part"_s)).isSymLink());
#endif
    }

    // The progress handler lets the window run: what it changes applies to the next file.
    void changesDuringEncodeWaitForNextFile()
    {
        const QString wav = makeWav(u"busy.wav"_s, 2, 44100);
        const QString mp3 = path(u"busy.mp3"_s);
        const QString other = path(u"other.mp3"_s);
        LameEncoder encoder;
        prepare(encoder, wav, mp3);
        QString nested;
        encoder.setProgressHandler([&](std::int32_t percent) {
            if (percent != 50)
                return;
            encoder.setTitleTag(u"Autre"_s);
            encoder.setOutputFile(other);
            encoder.setEncodingMode(LameEncoder::ModeMono);
            try {
                encoder.Encode();
            } catch (const EncoderError &error) {
                nested = messageOf(error);
            }
        });
        encoder.Encode();
        QCOMPARE(nested, u"Un encodage est déjà en cours."_s);
        QVERIFY(!QFile::exists(other));
        QCOMPARE(Mp3Check::readTags(mp3).title, u"Piste 1"_s);
        QCOMPARE(Mp3Check::decodeMp3(mp3).channels, 2);
    }
};

SONALBURY_TEST_MAIN_CORE(TestLameEncoder)
#include "tst_lameencoder.moc"
