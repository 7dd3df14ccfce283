#include "BatchRunner.h"
#include "CoreTexts.h"
#include "DiscImage.h"
#include "LibcdioReader.h"
#include "LoudnessMeter.h"
#include "Mp3Check.h"
#include "RecordingView.h"
#include "TestEnvironment.h"
#include "TestFiles.h"

#include <QRegularExpression>
#include <QtTest>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

constexpr std::int32_t TrackSectors = 750; // ten seconds
constexpr std::int64_t Rate = 44100;

struct Measured
{
    double lufs = 0.0;
    double truePeakDbtp = 0.0;
};

Measured measure(const std::vector<std::int16_t> &samples)
{
    LoudnessMeter meter(2, static_cast<int>(Rate), LoudnessMeter::Loudness | LoudnessMeter::TruePeak);
    meter.add(samples.data(), samples.size() / 2);
    return {meter.integratedLoudness(), decibels(meter.truePeak())};
}

// The first frame with a sample above -60 dBFS; -1 for none.
std::int64_t firstSound(const std::vector<std::int16_t> &samples)
{
    for (std::size_t i = 0; i < samples.size(); ++i) {
        if (std::abs(int(samples[i])) > 32)
            return static_cast<std::int64_t>(i / 2);
    }
    return -1;
}

// A disc of ten-second tracks of music shaped as given, converted by the window's batch
// (or one with several jobs) with the level options given, at a bit rate.
class QuizDisc
{
public:
    QuizDisc(const QString &folder, const std::vector<discimage::Shape> &shapes)
    {
        m_layout.audio = discimage::Audio::Music;
        m_layout.tracks.assign(shapes.size(), discimage::Track{TrackSectors, 0, false});
        m_layout.shapes = shapes;
        m_cue = discimage::write(folder + u"/disc"_s, m_layout);
        m_music = folder + u"/musiques/"_s;
        QDir().mkpath(m_music);
    }

    // Converts every track, titled "1", "2"...; returns the closing messages.
    QStringList convert(const LevelOptions &options, std::int32_t kbps, int jobs = 1)
    {
        LibcdioReader reader(QStringList{m_cue});
        reader.ScanDrives();
        RecordingView view;
        RecordingTracks tracks(view);
        FormFields form;
        form.LoRipper = &reader;
        form.LlHandleCD = reader.OpenDrive(reader.GetDriveAddress(reader.GetDriveCount() - 1));
        form.lsDossier = m_music;
        form.settings.LlBitrate = kbps;
        form.settings.LbHauteQualite = true;
        for (std::size_t i = 0; i < m_layout.tracks.size(); ++i)
            tracks.addItem(QString::number(i + 1), true);
        BatchRunner batch(form, view, tracks, jobs);
        batch.setLevelOptions(options);
        batch.ConvertirPistes();
        return view.messageTexts();
    }

    std::vector<std::int16_t> source(int track) const
    {
        const QByteArray bytes =
            discimage::rangeBytes(m_layout, discimage::trackStart(m_layout, track), TrackSectors);
        std::vector<std::int16_t> samples(static_cast<std::size_t>(bytes.size() / 2));
        std::memcpy(samples.data(), bytes.constData(), samples.size() * 2);
        return samples;
    }
    QString mp3(int track) const { return m_music + QString::number(track) + u".mp3"_s; }
    Mp3Check::Audio decoded(int track) const { return Mp3Check::decodeMp3(mp3(track)); }

private:
    discimage::DiscLayout m_layout;
    QString m_cue;
    QString m_music;
};

discimage::Shape atLoudness(double lufs, bool peaks = false)
{
    discimage::Shape shape;
    shape.loudness = lufs;
    shape.peaks = peaks;
    return shape;
}

} // namespace

Q_DECLARE_METATYPE(LevelOptions)

class TestQuizSound : public QObject
{
    Q_OBJECT

private:
    TestEnvironment m_env;
    int m_case = 0;
    QString freshFolder() { return m_env.freshFolder(QStringLiteral("case%1").arg(++m_case)); }

private slots:
    void tracksComeOutAtOneLoudness_data();
    void tracksComeOutAtOneLoudness();
    void leadingSilenceIsCut();
    void optionsThatChangeNothingLeaveTheFileAsItWas_data();
    void optionsThatChangeNothingLeaveTheFileAsItWas();
};

// Two tracks 10 LU apart and a quiet one with high peaks: the first two come out at
// -18 LUFS, the third as loud as its peaks allow, which the closing message says; no true
// peak above -0.5 dBTP after decoding.
void TestQuizSound::tracksComeOutAtOneLoudness_data()
{
    QTest::addColumn<std::int32_t>("kbps");
    QTest::addColumn<int>("jobs");
    QTest::addColumn<double>("tolerance");
    QTest::newRow("320 kbit/s, two jobs") << std::int32_t{320} << 2 << 0.5;
    QTest::newRow("128 kbit/s, one job") << std::int32_t{128} << 1 << 1.0;
}

void TestQuizSound::tracksComeOutAtOneLoudness()
{
    QFETCH(std::int32_t, kbps);
    QFETCH(int, jobs);
    QFETCH(double, tolerance);
    QuizDisc disc(freshFolder(), {atLoudness(-13.0), atLoudness(-23.0), atLoudness(-30.0, true)});

    const QStringList messages = disc.convert(LevelOptions{true, false}, kbps, jobs);

    std::vector<Measured> out;
    for (int track = 1; track <= 3; ++track) {
        const Mp3Check::Audio decoded = disc.decoded(track);
        QVERIFY2(decoded.ok(), qPrintable(decoded.error));
        QCOMPARE(decoded.frames(), qint64(TrackSectors) * 588);
        out.push_back(measure(decoded.samples));
        const Measured in = measure(disc.source(track));
        qInfo("track %d: %.2f LUFS, %.2f dBTP on the disc; %.2f LUFS, %.2f dBTP decoded", track, in.lufs,
              in.truePeakDbtp, out.back().lufs, out.back().truePeakDbtp);
        QVERIFY2(out.back().truePeakDbtp <= -0.5, qPrintable(QString::number(out.back().truePeakDbtp)));
    }
    QVERIFY2(std::abs(out[0].lufs - -18.0) <= tolerance, qPrintable(QString::number(out[0].lufs)));
    QVERIFY2(std::abs(out[1].lufs - -18.0) <= tolerance, qPrintable(QString::number(out[1].lufs)));
    QVERIFY(std::abs(out[0].lufs - out[1].lufs) <= 0.5);

    // The closing message names the third track and the loudness it reached.
    QCOMPARE(messages.size(), 1);
    static const QRegularExpression note(u"^Rip du CD terminé\\n\\n3 : limitée à −(\\d+),(\\d) LUFS par ses crêtes$"_s);
    const QRegularExpressionMatch match = note.match(messages.first());
    QVERIFY2(match.hasMatch(), qPrintable(messages.first()));
    const double reached = -(match.captured(1).toDouble() + match.captured(2).toDouble() / 10.0);
    QVERIFY2(reached < -19.0 && std::abs(reached - out[2].lufs) <= tolerance,
             qPrintable(QString::number(out[2].lufs)));
}

// Two seconds of silence, a fade-in from -70 dB, a track of silence, a track that sounds at
// once: what comes out starts 0.2 s before the first sound (within one 10 ms window), and
// is the rest of the track, unchanged; silence stays whole.
void TestQuizSound::leadingSilenceIsCut()
{
    std::vector<discimage::Shape> shapes(4);
    shapes[0].leadingSilence = 150;
    shapes[1].fadeIn = true;
    shapes[2].silent = true;
    QuizDisc disc(freshFolder(), shapes);

    const QStringList messages = disc.convert(LevelOptions{false, true}, 320);

    QCOMPARE(messages, QStringList{CoreTexts::ripFinished()});
    for (int track = 1; track <= 4; ++track) {
        const std::vector<std::int16_t> source = disc.source(track);
        const Mp3Check::Audio decoded = disc.decoded(track);
        QVERIFY2(decoded.ok(), qPrintable(decoded.error));
        const std::int64_t cut = static_cast<std::int64_t>(source.size() / 2) - decoded.frames();
        const std::int64_t sound = firstSound(source);
        if (track >= 3) {
            QCOMPARE(cut, std::int64_t{0});
            continue;
        }
        QVERIFY(sound > Rate);
        const std::int64_t keptBefore = sound - cut;
        QVERIFY2(keptBefore >= Rate / 5 && keptBefore < Rate / 5 + Rate / 100,
                 qPrintable(QString::number(keptBefore)));
        Mp3Check::Audio rest;
        rest.samples.assign(source.begin() + 2 * cut, source.end());
        rest.channels = 2;
        rest.rate = Rate;
        QVERIFY(Mp3Check::correlation(rest, decoded) > 0.99);
    }
}

// A track the options would not change comes out byte for byte as with the options off:
// the measuring pass leaves no trace in the file.
void TestQuizSound::optionsThatChangeNothingLeaveTheFileAsItWas_data()
{
    QTest::addColumn<bool>("silent");
    QTest::addColumn<LevelOptions>("options");
    QTest::newRow("silence, both options") << true << LevelOptions{true, true};
    QTest::newRow("sound at once, cut") << false << LevelOptions{false, true};
}

void TestQuizSound::optionsThatChangeNothingLeaveTheFileAsItWas()
{
    QFETCH(bool, silent);
    QFETCH(LevelOptions, options);
    discimage::Shape shape;
    shape.silent = silent;
    QuizDisc disc(freshFolder(), {shape});

    disc.convert(LevelOptions{}, 320);
    const QByteArray off = readAll(disc.mp3(1));
    disc.convert(options, 320);

    QVERIFY(!off.isEmpty());
    QVERIFY(readAll(disc.mp3(1)) == off);
}

SONALBURY_TEST_MAIN_CORE(TestQuizSound)

#include "tst_quizsound.moc"
