#include "DiscImage.h"
#include "LoudnessMeter.h"
#include "TestEnvironment.h"
#include "TestFiles.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

using discimage::Audio;
using discimage::DiscLayout;
using discimage::Track;

Q_DECLARE_METATYPE(discimage::DiscLayout)
Q_DECLARE_METATYPE(discimage::Audio)

namespace {

DiscLayout disc(std::vector<Track> tracks, std::int32_t dataGap = 0, Audio audio = Audio::Pattern)
{
    DiscLayout discLayout;
    discLayout.tracks = std::move(tracks);
    discLayout.dataGap = dataGap;
    discLayout.audio = audio;
    return discLayout;
}

// Samples of one channel of a stretch of audio, as fractions of full scale.
std::vector<double> channel(const QByteArray &audio, int which)
{
    std::vector<double> samples;
    for (qsizetype at = which * 2; at + 1 < audio.size(); at += 4)
        samples.push_back(qFromLittleEndian<qint16>(audio.constData() + at) / 32768.0);
    return samples;
}

double peak(const std::vector<double> &samples)
{
    double top = 0.0;
    for (const double s : samples)
        top = std::max(top, std::abs(s));
    return top;
}

// Rises through zero per second: a rough pitch.
double crossingsPerSecond(const std::vector<double> &samples)
{
    int rises = 0;
    for (std::size_t i = 1; i < samples.size(); ++i)
        rises += samples[i - 1] < 0.0 && samples[i] >= 0.0 ? 1 : 0;
    return rises * 44100.0 / double(samples.size());
}

} // namespace

class TestDiscImage : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

private slots:
    void binHoldsExactlyTheExpectedSectors_data();
    void binHoldsExactlyTheExpectedSectors();
    void cueSheetDescribesTheLayout();
    void patternSectorsAreAllDistinct();
    void dataSectorsLookLikeMode1();
    void demoAndBenchmarkAudioSoundLikeMusic_data();
    void demoAndBenchmarkAudioSoundLikeMusic();
    void tracksShapedForLevelling();
    void impossibleDiscsAreRefused_data();
    void impossibleDiscsAreRefused();
    void writeFailureLeavesNoHalfImage();
    void commandLine_data();
    void commandLine();
};

void TestDiscImage::binHoldsExactlyTheExpectedSectors_data()
{
    QTest::addColumn<DiscLayout>("discLayout");
    QTest::addColumn<QList<int>>("starts");
    QTest::addColumn<int>("total");

    const std::vector<Track> tracks{{100, 0, false}, {50, 20, false}, {30, 0, true}};
    QTest::newRow("pattern") << disc(tracks, 40) << QList<int>{0, 120, 210} << 240;
    QTest::newRow("tones") << disc(tracks, 40, Audio::Tones) << QList<int>{0, 120, 210} << 240;
    QTest::newRow("music") << disc(tracks, 40, Audio::Music) << QList<int>{0, 120, 210} << 240;
    QTest::newRow("pregap before track 1") << disc({{80, 10, false}, {20, 5, false}})
                                           << QList<int>{10, 95} << 115;
}

void TestDiscImage::binHoldsExactlyTheExpectedSectors()
{
    QFETCH(DiscLayout, discLayout);
    QFETCH(QList<int>, starts);
    QFETCH(int, total);

    const QString base = m_dir.filePath(QStringLiteral("exact"));
    QCOMPARE(discimage::write(base, discLayout), base + QStringLiteral(".cue"));
    for (int n = 1; n <= starts.size(); ++n)
        QCOMPARE(discimage::trackStart(discLayout, n), starts[n - 1]);
    QCOMPARE(discimage::totalFrames(discLayout), total);
    const QByteArray bin = readAll(base + QStringLiteral(".bin"));
    QCOMPARE(bin.size(), qsizetype(total) * SectorBytes);
    QVERIFY(bin == discimage::rangeBytes(discLayout, 0, total));
    QVERIFY(bin.mid(7 * SectorBytes, SectorBytes) == discimage::sectorBytes(discLayout, 7));
}

void TestDiscImage::cueSheetDescribesTheLayout()
{
    const QString base = m_dir.filePath(QStringLiteral("sheet"));
    discimage::write(base, disc({{100, 0, false}, {50, 20, false}, {30, 0, true}}, 11400));
    QCOMPARE(QString::fromUtf8(readAll(base + QStringLiteral(".cue"))),
             QStringLiteral("FILE \"sheet.bin\" BINARY\n"
                            "  TRACK 01 AUDIO\n"
                            "    INDEX 01 00:00:00\n"
                            "  TRACK 02 AUDIO\n"
                            "    INDEX 00 00:01:25\n"
                            "    INDEX 01 00:01:45\n"
                            "  TRACK 03 MODE1/2352\n"
                            "    INDEX 00 00:02:20\n"
                            "    INDEX 01 02:34:20\n"));
}

void TestDiscImage::patternSectorsAreAllDistinct()
{
    const DiscLayout discLayout = disc({{400, 0, false}, {300, 75, false}});
    QSet<QByteArray> seen;
    const QByteArray all = discimage::rangeBytes(discLayout, 0, discimage::totalFrames(discLayout));
    for (qsizetype at = 0; at < all.size(); at += SectorBytes)
        seen.insert(QCryptographicHash::hash(all.mid(at, SectorBytes), QCryptographicHash::Sha1));
    QCOMPARE(seen.size(), qsizetype(discimage::totalFrames(discLayout)));
    // Still audio-like: loud enough to encode, far from clipping.
    const double top = peak(channel(all, 0));
    QVERIFY(top > 0.1 && top < 0.5);
}

void TestDiscImage::dataSectorsLookLikeMode1()
{
    const DiscLayout discLayout = disc({{4500, 0, false}, {10, 0, true}});
    const QByteArray sector = discimage::sectorBytes(discLayout, 4503);
    // Sync pattern, then the address 01:02:03 (LSN 4503 + 150) in BCD and mode 1.
    QCOMPARE(sector.left(16).toHex(), QByteArray("00ffffffffffffffffffff0001020301"));
    QVERIFY(sector.mid(16) != discimage::sectorBytes(discLayout, 4504).mid(16));
}

void TestDiscImage::demoAndBenchmarkAudioSoundLikeMusic_data()
{
    QTest::addColumn<Audio>("audio");
    QTest::newRow("tones") << Audio::Tones;
    QTest::newRow("music") << Audio::Music;
}

void TestDiscImage::demoAndBenchmarkAudioSoundLikeMusic()
{
    QFETCH(Audio, audio);
    const DiscLayout discLayout = disc({{750, 0, false}, {750, 150, false}}, 0, audio);

    // The pregap is silent.
    QVERIFY(discimage::rangeBytes(discLayout, 750, 150).count('\0') == 150 * SectorBytes);

    std::vector<double> pitches;
    QList<QByteArray> tracks;
    for (const std::int32_t start : {0, 900}) {
        const QByteArray track = discimage::rangeBytes(discLayout, start, 750);
        tracks << track;
        const std::vector<double> left = channel(track, 0);
        const std::vector<double> right = channel(track, 1);
        const double top = std::max(peak(left), peak(right));
        QVERIFY2(top > 0.1 && top < 0.8, qPrintable(QString::number(top)));
        // Soft attack and release: the first and last 10 ms are far below the peak.
        const std::vector<double> head(left.begin(), left.begin() + 441);
        const std::vector<double> tail(left.end() - 441, left.end());
        QVERIFY(peak(head) < top / 10 && peak(tail) < top / 10);
        QVERIFY(left != right); // stereo, not twice the same channel
        const std::vector<double> middle(left.begin() + 44100, left.begin() + 3 * 44100);
        pitches.push_back(crossingsPerSecond(middle));
    }
    QVERIFY2(tracks[0] != tracks[1], "each track has its own sound");
    if (audio == Audio::Tones)
        QVERIFY2(std::abs(pitches[0] - pitches[1]) > 0.05 * pitches[0], "each track has its own pitch");
}

// Tracks at a chosen loudness, a quiet one with high peaks, one opening with silence, one
// fading in from far below, one of silence.
void TestDiscImage::tracksShapedForLevelling()
{
    DiscLayout discLayout = disc(std::vector<Track>(5, Track{750, 0, false}), 0, Audio::Music);
    discLayout.shapes.resize(5);
    discLayout.shapes[0].loudness = -14.0;
    discLayout.shapes[1].loudness = -30.0;
    discLayout.shapes[1].peaks = true;
    discLayout.shapes[2].leadingSilence = 150;
    discLayout.shapes[3].fadeIn = true;
    discLayout.shapes[4].silent = true;
    const auto track = [&](int index) {
        const QByteArray bytes = discimage::rangeBytes(discLayout, index * 750, 750);
        std::vector<std::int16_t> samples(static_cast<std::size_t>(bytes.size() / 2));
        for (std::size_t i = 0; i < samples.size(); ++i)
            samples[i] = qFromLittleEndian<qint16>(bytes.constData() + 2 * i);
        return samples;
    };
    const auto loudness = [](const std::vector<std::int16_t> &samples) {
        LoudnessMeter meter(2, 44100, LoudnessMeter::Loudness);
        meter.add(samples.data(), samples.size() / 2);
        return meter.integratedLoudness();
    };
    const auto peakOf = [](const std::vector<std::int16_t> &samples, double from, double to) {
        int top = 0;
        for (auto i = std::size_t(from * 44100) * 2; i < std::size_t(to * 44100) * 2; ++i)
            top = std::max(top, std::abs(int(samples[i])));
        return decibels(top / 32768.0);
    };

    QVERIFY(std::abs(loudness(track(0)) - -14.0) < 0.05);
    const std::vector<std::int16_t> quiet = track(1);
    QVERIFY2(std::abs(loudness(quiet) - -30.0) < 0.05, qPrintable(QString::number(loudness(quiet))));
    QVERIFY(std::abs(peakOf(quiet, 0, 10) - -0.5) < 0.1);
    const std::vector<std::int16_t> late = track(2);
    QVERIFY(peakOf(late, 0, 2) == -std::numeric_limits<double>::infinity());
    QVERIFY(peakOf(late, 2, 2.1) > -60.0);
    const std::vector<std::int16_t> fading = track(3);
    QVERIFY(peakOf(fading, 0, 1) < -60.0);
    QVERIFY(peakOf(fading, 8, 9) > -30.0);
    QVERIFY(peakOf(track(4), 0, 10) == -std::numeric_limits<double>::infinity());
}

void TestDiscImage::impossibleDiscsAreRefused_data()
{
    QTest::addColumn<DiscLayout>("discLayout");
    QTest::newRow("no track") << disc({});
    QTest::newRow("empty track") << disc({{100, 0, false}, {0, 0, false}});
    QTest::newRow("negative pregap") << disc({{100, 0, false}, {100, -1, false}});
    QTest::newRow("negative data gap") << disc({{100, 0, false}, {100, 0, true}}, -5);
    QTest::newRow("data gap without a data track") << disc({{100, 0, false}}, 11400);
    QTest::newRow("data gap without audio before it") << disc({{100, 0, true}, {100, 0, false}}, 11400);
    QTest::newRow("longer than a cue sheet can say") << disc({{449999, 0, false}, {1, 0, false}});
    QTest::newRow("100 tracks") << disc(std::vector<Track>(100, Track{10, 0, false}));
    DiscLayout shapedPattern = disc({{100, 0, false}});
    shapedPattern.shapes.resize(1);
    shapedPattern.shapes[0].silent = true;
    QTest::newRow("shaped pattern track") << shapedPattern;
}

void TestDiscImage::impossibleDiscsAreRefused()
{
    QFETCH(DiscLayout, discLayout);
    const QString base = m_dir.filePath(QStringLiteral("impossible"));
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument, discimage::write(base, discLayout));
    QVERIFY(!QFile::exists(base + QStringLiteral(".cue")));
    QVERIFY(!QFile::exists(base + QStringLiteral(".bin")));
}

void TestDiscImage::writeFailureLeavesNoHalfImage()
{
    const QString base = m_dir.filePath(QStringLiteral("missing folder/disc"));
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, discimage::write(base, disc({{10, 0, false}})));
    QVERIFY(!QFile::exists(base + QStringLiteral(".bin")));
}

void TestDiscImage::commandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<int>("binFrames"); // -1: no image expected

    QTest::newRow("demo disc") << QStringList{"--audio", "tones", "--tracks", "20,30,25", "--pregap", "15"} << 0
                               << 105;
    QTest::newRow("option=value") << QStringList{"--audio=music", "--tracks=40"} << 0 << 40;
    QTest::newRow("enhanced CD gap by default") << QStringList{"--tracks", "20", "--data-track", "10"} << 0
                                                << 20 + 11400 + 10;
    QTest::newRow("chosen data gap") << QStringList{"--tracks", "20", "--data-track", "10", "--data-gap", "5"}
                                     << 0 << 35;
    QTest::newRow("help") << QStringList{"--help"} << 0 << -1;
    QTest::newRow("no tracks") << QStringList{"--audio", "tones"} << 2 << -1;
    QTest::newRow("bad length") << QStringList{"--tracks", "20,abc"} << 2 << -1;
    QTest::newRow("zero length") << QStringList{"--tracks", "20,0"} << 2 << -1;
    QTest::newRow("unknown style") << QStringList{"--audio", "jazz", "--tracks", "20"} << 2 << -1;
    QTest::newRow("unknown option") << QStringList{"--speed", "4", "--tracks", "20"} << 2 << -1;
    QTest::newRow("data gap alone") << QStringList{"--tracks", "20", "--data-gap", "5"} << 2 << -1;
    QTest::newRow("missing value") << QStringList{"--tracks"} << 2 << -1;
    QTest::newRow("chosen loudness") << QStringList{"--audio", "music", "--tracks", "40,150", "--loudness", ",-20"}
                                     << 0 << 190;
    QTest::newRow("loudness of a pattern") << QStringList{"--tracks", "40", "--loudness", "-20"} << 2 << -1;
    QTest::newRow("loudness above full scale") << QStringList{"--tracks", "40", "--loudness", "3"} << 2 << -1;
}

void TestDiscImage::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(int, binFrames);

    const QString folder = QDir(m_dir.path()).filePath(QString::fromLatin1(QTest::currentDataTag()));
    QVERIFY(QDir().mkpath(folder));
    const QString base = folder + QStringLiteral("/disque");
    QProcess tool;
    tool.start(QStringLiteral(MAKE_DISC_IMAGE), arguments << base);
    QVERIFY(tool.waitForFinished(60000));
    QCOMPARE(tool.exitStatus(), QProcess::NormalExit);
    QCOMPARE(tool.exitCode(), exitCode);
    const QString out = QString::fromLocal8Bit(tool.readAllStandardOutput());
    const QString err = QString::fromLocal8Bit(tool.readAllStandardError());
    if (exitCode != 0)
        QVERIFY2(err.contains(QStringLiteral("Usage:")), qPrintable(err));
    if (binFrames < 0) {
        QVERIFY(!QFile::exists(base + QStringLiteral(".bin")));
        return;
    }
    QCOMPARE(out.trimmed(), QDir::toNativeSeparators(base + QStringLiteral(".cue")));
    QCOMPARE(QFileInfo(base + QStringLiteral(".bin")).size(), qint64(binFrames) * SectorBytes);
}

SONALBURY_TEST_MAIN_CORE(TestDiscImage)

#include "tst_discimage.moc"
