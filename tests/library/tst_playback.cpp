#include "UnderWine.h"
#include "Mp3Check.h"
#include "TestEnvironment.h"
#include "modDirectShow.h"

#include <QAudioOutput>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QMediaPlayer>
#include <QPointer>
#include <QUrl>
#include <QtTest>
#include <cmath>
#include <lame/lame.h>
#include <sndfile.h>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

constexpr int Rate = 44100;

// GStreamer on a loaded, shared machine may take many seconds to start a file: the waits
// are generous, since only a player that never moves is a fault.
constexpr int PlaybackWait = 30000;

// Interleaved stereo 16-bit samples of a tone.
std::vector<short> tone(double hertz, double seconds)
{
    const auto frames = static_cast<std::size_t>(seconds * Rate);
    std::vector<short> samples(frames * 2);
    for (std::size_t i = 0; i < frames; ++i) {
        const double value = 9000.0 * std::sin(2.0 * M_PI * hertz * static_cast<double>(i) / Rate);
        samples[2 * i] = samples[2 * i + 1] = static_cast<short>(value);
    }
    return samples;
}

bool writeWav(const QString &path, const std::vector<short> &samples)
{
    SF_INFO info{};
    info.samplerate = Rate;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE *file = Mp3Check::openSound(path, SFM_WRITE, &info);
    if (!file)
        return false;
    const auto count = static_cast<sf_count_t>(samples.size());
    const bool written = sf_write_short(file, samples.data(), count) == count;
    return sf_close(file) == 0 && written;
}

bool writeMp3(const QString &path, std::vector<short> samples)
{
    lame_t lame = lame_init();
    lame_set_in_samplerate(lame, Rate);
    lame_set_num_channels(lame, 2);
    lame_set_brate(lame, 128);
    lame_set_num_samples(lame, static_cast<unsigned long>(samples.size() / 2));
    if (lame_init_params(lame) < 0) {
        lame_close(lame);
        return false;
    }
    const int frames = static_cast<int>(samples.size() / 2);
    std::vector<unsigned char> out(static_cast<std::size_t>(frames) * 5 / 4 + 7200 + 7200);
    int size = lame_encode_buffer_interleaved(lame, samples.data(), frames, out.data(),
                                              static_cast<int>(out.size()));
    if (size >= 0) {
        const int flushed = lame_encode_flush(lame, out.data() + size,
                                              static_cast<int>(out.size()) - size);
        size = flushed < 0 ? -1 : size + flushed;
    }
    lame_close(lame);
    QFile file(path);
    return size > 0 && file.open(QIODevice::WriteOnly)
           && file.write(reinterpret_cast<const char *>(out.data()), size) == size;
}

// Messages that only say this machine has no sound server.
bool aboutMissingSoundServer(const QString &message)
{
    return message.contains(u"pa_context_connect"_s) || message.contains(u"Failed to connect"_s);
}

// Records the messages written while it lives, and still lets them through.
class MessageRecorder
{
public:
    MessageRecorder() { s_previous = qInstallMessageHandler(record); }
    ~MessageRecorder() { qInstallMessageHandler(s_previous); }
    static inline QStringList messages;

private:
    static void record(QtMsgType type, const QMessageLogContext &context, const QString &message)
    {
        if (!aboutMissingSoundServer(message))
            messages << message;
        s_previous(type, context, message);
    }
    static inline QtMessageHandler s_previous = nullptr;
};

const QMediaPlayer &player()
{
    return *modDirectShow::currentPlayer();
}

bool isPlaying(const QMediaPlayer *candidate)
{
    return candidate && candidate->playbackState() == QMediaPlayer::PlayingState;
}

qsizetype playerCount()
{
    return QCoreApplication::instance()->findChildren<QMediaPlayer *>().size();
}

} // namespace

class TestPlayback : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void playsFromTheStart_data();
    void playsFromTheStart();
    void secondFileStopsTheFirst();
    void sameFileRestartsFromTheStart();
    void fullVolumeNormalSpeedAtEveryLoad();
    void unplayableStopsCurrentSilently_data();
    void unplayableStopsCurrentSilently();
    void terminateReleasesThePlayer();

private:
    QString file(const QString &name) const { return m_folder.filePath(name); }
    // Loads and plays path as a double-click does, and waits until it is heard.
    void playUntilHeard(const QString &path);

    QDir m_folder;
};

void TestPlayback::initTestCase()
{
    SKIP_UNDER_WINE("Wine plays no sound through Media Foundation");
    // Qt's ffmpeg back end crashes without an audio device.
    if (qEnvironmentVariableIsEmpty("QT_MEDIA_BACKEND"))
        qputenv("QT_MEDIA_BACKEND", "gstreamer");
    m_folder.setPath(QDir::home().filePath(u"musiques"_s));
    QVERIFY(m_folder.mkpath(u"."_s));
    QVERIFY(writeWav(file(u"La.wav"_s), tone(440, 3)));
    QVERIFY(writeWav(file(u"Mi.wav"_s), tone(660, 3)));
    QVERIFY(writeMp3(file(u"Do.mp3"_s), tone(523.25, 3)));
    QFile text(file(u"notes.txt"_s));
    QVERIFY(text.open(QIODevice::WriteOnly));
    text.write("Ceci n'est pas de la musique.\n");
    text.close();
    QFile empty(file(u"vide.mp3"_s));
    QVERIFY(empty.open(QIODevice::WriteOnly));
    empty.close();
}

void TestPlayback::cleanup()
{
    QVERIFY(modDirectShow::TerminateEngine());
    QCOMPARE(playerCount(), 0);
}

void TestPlayback::playUntilHeard(const QString &path)
{
    QVERIFY(modDirectShow::LoadMP3(path));
    QVERIFY(modDirectShow::PlayMP3());
    QTRY_VERIFY_WITH_TIMEOUT(player().position() > 300, PlaybackWait);
    QCOMPARE(player().playbackState(), QMediaPlayer::PlayingState);
}

void TestPlayback::playsFromTheStart_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("WAV") << u"La.wav"_s;
    QTest::newRow("MP3") << u"Do.mp3"_s;
}

void TestPlayback::playsFromTheStart()
{
    QFETCH(QString, name);
    QVERIFY(modDirectShow::LoadMP3(file(name)));
    QCOMPARE(player().source(), QUrl::fromLocalFile(file(name)));
    QCOMPARE(player().position(), 0);
    QVERIFY(modDirectShow::PlayMP3());
    QTRY_VERIFY_WITH_TIMEOUT(player().position() > 300, PlaybackWait);
    QCOMPARE(player().playbackState(), QMediaPlayer::PlayingState);
    QCOMPARE(player().error(), QMediaPlayer::NoError);
}

void TestPlayback::secondFileStopsTheFirst()
{
    playUntilHeard(file(u"La.wav"_s));
    const QPointer<const QMediaPlayer> first = modDirectShow::currentPlayer();
    QVERIFY(modDirectShow::LoadMP3(file(u"Mi.wav"_s)));
    // The first is stopped and gone before the second starts: never two at once.
    QVERIFY(first.isNull());
    QCOMPARE(playerCount(), 1);
    QVERIFY(modDirectShow::PlayMP3());
    QTRY_VERIFY_WITH_TIMEOUT(player().position() > 300, PlaybackWait);
    QCOMPARE(player().source(), QUrl::fromLocalFile(file(u"Mi.wav"_s)));
    QCOMPARE(playerCount(), 1);
}

void TestPlayback::sameFileRestartsFromTheStart()
{
    playUntilHeard(file(u"La.wav"_s));
    QTRY_VERIFY_WITH_TIMEOUT(player().position() > 1200, PlaybackWait);
    QVERIFY(modDirectShow::LoadMP3(file(u"La.wav"_s)));
    QCOMPARE(player().position(), 0);
    QVERIFY(modDirectShow::PlayMP3());
    QTRY_COMPARE_WITH_TIMEOUT(player().playbackState(), QMediaPlayer::PlayingState, PlaybackWait);
    QTRY_VERIFY_WITH_TIMEOUT(player().position() > 100, PlaybackWait);
    QVERIFY(player().position() < 1000);
    QCOMPARE(playerCount(), 1);
}

void TestPlayback::fullVolumeNormalSpeedAtEveryLoad()
{
    playUntilHeard(file(u"La.wav"_s));
    // Whatever happened to the last one, the next file plays at full volume and normal speed.
    player().audioOutput()->setVolume(0.2f);
    player().audioOutput()->setMuted(true);
    QVERIFY(modDirectShow::LoadMP3(file(u"Mi.wav"_s)));
    QVERIFY(modDirectShow::PlayMP3());
    QCOMPARE(player().audioOutput()->volume(), 1.0f);
    QVERIFY(!player().audioOutput()->isMuted());
    QCOMPARE(player().playbackRate(), 1.0);
    QTRY_VERIFY_WITH_TIMEOUT(player().position() > 300, PlaybackWait);
}

void TestPlayback::unplayableStopsCurrentSilently_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("refusedAtOnce");
    const QString folder = QDir::home().filePath(u"musiques/"_s);
    QTest::newRow("text file") << folder + u"notes.txt"_s << false;
    QTest::newRow("empty file") << folder + u"vide.mp3"_s << false;
    QTest::newRow("file gone") << folder + u"absent.mp3"_s << true;
    // No row selected: the path is the music folder itself.
    QTest::newRow("folder") << folder << true;
    QTest::newRow("empty path") << QString() << true;
}

void TestPlayback::unplayableStopsCurrentSilently()
{
    QFETCH(QString, path);
    QFETCH(bool, refusedAtOnce);
    playUntilHeard(file(u"La.wav"_s));
    const QPointer<const QMediaPlayer> playing = modDirectShow::currentPlayer();

    MessageRecorder::messages.clear();
    const MessageRecorder recorder;
    const bool loaded = modDirectShow::LoadMP3(path);
    const bool played = modDirectShow::PlayMP3();
    QVERIFY(playing.isNull());
    if (refusedAtOnce) {
        QVERIFY(!loaded);
        QVERIFY(!played);
        QVERIFY(!modDirectShow::currentPlayer());
    } else {
        QTRY_COMPARE_WITH_TIMEOUT(player().mediaStatus(), QMediaPlayer::InvalidMedia, PlaybackWait);
        QCOMPARE(player().playbackState(), QMediaPlayer::StoppedState);
        QCOMPARE(player().position(), 0);
        QVERIFY(!modDirectShow::PlayMP3());
    }
    // Nothing starts later either, and nothing was said.
    QTest::qWait(300);
    QVERIFY(!isPlaying(modDirectShow::currentPlayer()));
    QCOMPARE(MessageRecorder::messages, QStringList());

    // The next double-click on a good file plays again.
    playUntilHeard(file(u"Mi.wav"_s));
}

void TestPlayback::terminateReleasesThePlayer()
{
    playUntilHeard(file(u"La.wav"_s));
    const QPointer<const QMediaPlayer> playing = modDirectShow::currentPlayer();
    QVERIFY(modDirectShow::TerminateEngine());
    QVERIFY(playing.isNull());
    QVERIFY(!modDirectShow::currentPlayer());
    QCOMPARE(QCoreApplication::instance()->findChildren<QAudioOutput *>().size(), 0);
    QVERIFY(!modDirectShow::PlayMP3());
    QVERIFY(modDirectShow::TerminateEngine());
}

SONALBURY_TEST_MAIN_CORE(TestPlayback)
#include "tst_playback.moc"
