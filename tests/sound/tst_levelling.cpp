#include "LevelRules.h"
#include "LoudnessMeter.h"
#include "TestEnvironment.h"
#include "TrackLevelling.h"

#include <QtTest>

#include <cmath>
#include <limits>
#include <numbers>
#include <utility>
#include <vector>

namespace {

constexpr int Rate = 44100;
constexpr double Infinity = std::numeric_limits<double>::infinity();

// Stretches of a stereo 1 kHz sine: (seconds, peak level in dBFS).
using Steps = std::vector<std::pair<double, double>>;

std::int64_t frames(double seconds)
{
    return std::llround(seconds * Rate);
}

// Appends a stereo sine of frequency hz whose crest reaches dbfs (phase in radians).
void appendSine(std::vector<std::int16_t> &pcm, double seconds, double dbfs, double hz = 1000.0,
                double phase = 0.0)
{
    const double amplitude = 32768.0 * std::pow(10.0, dbfs / 20.0);
    for (std::int64_t n = 0; n < frames(seconds); ++n) {
        const double value = amplitude * std::sin(2.0 * std::numbers::pi * hz * double(n) / Rate + phase);
        const auto sample = static_cast<std::int16_t>(std::clamp(std::lround(value), -32768L, 32767L));
        pcm.push_back(sample);
        pcm.push_back(sample);
    }
}

PcmLayout layoutOf(const std::vector<std::int16_t> &pcm)
{
    return PcmLayout{2, Rate, static_cast<std::int64_t>(pcm.size() / 2)};
}

FrameReader readerOf(const std::vector<std::int16_t> &pcm)
{
    return [&pcm](std::int64_t first, std::int16_t *out, std::int64_t count) {
        QVERIFY(first >= 0 && (first + count) * 2 <= static_cast<std::int64_t>(pcm.size()));
        std::copy_n(pcm.begin() + first * 2, count * 2, out);
    };
}

} // namespace

Q_DECLARE_METATYPE(Steps)

class TestLevelling : public QObject
{
    Q_OBJECT

private slots:
    void ebuTech3341Signals_data();
    void ebuTech3341Signals();
    void gainRule_data();
    void gainRule();
    void silenceRule_data();
    void silenceRule();
    void truePeakIsLookedForWhereItCanBe();
    void truePeakStaysWithinItsBound();
};

// EBU Tech 3341, test signals 1 to 5: the integrated loudness within 0.1 LU.
void TestLevelling::ebuTech3341Signals_data()
{
    QTest::addColumn<Steps>("steps");
    QTest::addColumn<double>("expected");
    QTest::newRow("1: -23 dBFS") << Steps{{20, -23}} << -23.0;
    QTest::newRow("2: -33 dBFS") << Steps{{20, -33}} << -33.0;
    QTest::newRow("3: relative gate") << Steps{{10, -36}, {60, -23}, {10, -36}} << -23.0;
    QTest::newRow("4: both gates") << Steps{{10, -72}, {10, -36}, {60, -23}, {10, -36}, {10, -72}} << -23.0;
    QTest::newRow("5: level steps") << Steps{{20, -26}, {20.1, -20}, {20, -26}} << -23.0;
}

void TestLevelling::ebuTech3341Signals()
{
    QFETCH(Steps, steps);
    QFETCH(double, expected);
    std::vector<std::int16_t> pcm;
    for (const auto &[seconds, dbfs] : steps)
        appendSine(pcm, seconds, dbfs);
    LoudnessMeter meter(2, Rate, LoudnessMeter::Loudness);
    meter.add(pcm.data(), pcm.size() / 2);
    QVERIFY2(std::abs(meter.integratedLoudness() - expected) <= 0.1,
             qPrintable(QString::number(meter.integratedLoudness())));
}

void TestLevelling::gainRule_data()
{
    QTest::addColumn<double>("loudness");
    QTest::addColumn<double>("truePeak");
    QTest::addColumn<double>("seconds");
    QTest::addColumn<double>("gain");
    QTest::addColumn<bool>("limited");
    QTest::newRow("quiet, room to rise") << -28.0 << -12.0 << 180.0 << 10.0 << false;
    QTest::newRow("loud, brought down") << -8.0 << 0.5 << 180.0 << -10.0 << false;
    QTest::newRow("quiet, held by its peaks") << -28.0 << -3.0 << 180.0 << 2.0 << true;
    QTest::newRow("at target, peaks over the ceiling") << -18.0 << 1.0 << 180.0 << -2.0 << true;
    QTest::newRow("a shortfall too small to show") << -20.0 << -2.96 << 180.0 << 1.96 << false;
    QTest::newRow("silence") << -Infinity << -Infinity << 180.0 << 0.0 << false;
    QTest::newRow("shorter than one block") << -30.0 << -20.0 << 0.39 << 0.0 << false;
    QTest::newRow("one block") << -30.0 << -20.0 << 0.4 << 12.0 << false;
}

void TestLevelling::gainRule()
{
    QFETCH(double, loudness);
    QFETCH(double, truePeak);
    QFETCH(double, seconds);
    QFETCH(double, gain);
    QFETCH(bool, limited);
    const levelRules::TrackGain result = levelRules::trackGain(loudness, truePeak, frames(seconds), Rate);
    QVERIFY2(std::abs(result.db - gain) < 1e-9, qPrintable(QString::number(result.db)));
    QCOMPARE(result.limitedByPeak, limited);
}

// A track of silence with one sample of a level at a place: what is cut from its start.
void TestLevelling::silenceRule_data()
{
    QTest::addColumn<double>("seconds");     // length of the track
    QTest::addColumn<qint64>("soundAt");     // frame of the one sample, -1 for none
    QTest::addColumn<int>("level");          // its value
    QTest::addColumn<int>("channel");
    QTest::addColumn<qint64>("cut");         // frames
    QTest::newRow("2 s of silence") << 10.0 << qint64(88200) << 1000 << 0 << qint64(88200 - 8820);
    QTest::newRow("sound inside a 10 ms window") << 10.0 << qint64(88200 + 300) << 1000 << 1 << qint64(88200 - 8820);
    QTest::newRow("-60 dBFS is silence") << 10.0 << qint64(88200) << 32 << 0 << qint64(0);
    QTest::newRow("just above -60 dBFS") << 10.0 << qint64(88200) << -33 << 1 << qint64(88200 - 8820);
    QTest::newRow("sound at once") << 10.0 << qint64(0) << 1000 << 0 << qint64(0);
    QTest::newRow("sound within 0.2 s") << 10.0 << qint64(6615) << 1000 << 0 << qint64(0);
    QTest::newRow("late sound keeps 1 s") << 10.0 << qint64(432180) << 1000 << 0 << qint64(441000 - 44100);
    QTest::newRow("all silence stays whole") << 10.0 << qint64(-1) << 0 << 0 << qint64(0);
    QTest::newRow("shorter than a second") << 0.8 << qint64(22050) << 1000 << 0 << qint64(0);
}

void TestLevelling::silenceRule()
{
    QFETCH(double, seconds);
    QFETCH(qint64, soundAt);
    QFETCH(int, level);
    QFETCH(int, channel);
    QFETCH(qint64, cut);
    std::vector<std::int16_t> pcm(static_cast<std::size_t>(frames(seconds)) * 2, 0);
    if (soundAt >= 0)
        pcm[static_cast<std::size_t>(soundAt * 2 + channel)] = static_cast<std::int16_t>(level);
    const LevelPlan plan = planLevelling(layoutOf(pcm), LevelOptions{false, true}, readerOf(pcm));
    QCOMPARE(static_cast<qint64>(plan.cutFrames), cut);
    QCOMPARE(plan.gainDb, 0.0);
}

// The true peak is measured only in the passages whose samples could reach the ceiling after
// the gain; the result must be the whole track's true peak all the same. A quiet track holds
// two loud bursts: one with the highest samples, and one whose samples are lower but whose
// crests fall between them (a quarter of the sample rate, 45 degrees off), across the edge
// of a passage.
void TestLevelling::truePeakIsLookedForWhereItCanBe()
{
    std::vector<std::int16_t> pcm;
    appendSine(pcm, 3.0, -30.0);
    appendSine(pcm, 0.05, -4.0);
    appendSine(pcm, 4.0, -30.0);
    const std::int64_t edge = (static_cast<std::int64_t>(pcm.size() / 2) / 4096 + 1) * 4096;
    appendSine(pcm, double(edge - static_cast<std::int64_t>(pcm.size() / 2) - 20) / Rate, -30.0);
    appendSine(pcm, 0.05, -3.0, Rate / 4.0, std::numbers::pi / 4.0);
    appendSine(pcm, 3.0, -30.0);

    LoudnessMeter whole(2, Rate, LoudnessMeter::Loudness | LoudnessMeter::TruePeak);
    whole.add(pcm.data(), pcm.size() / 2);
    const double truePeak = decibels(whole.truePeak());
    QVERIFY2(truePeak > -3.5, "the crests between samples set the true peak");

    const LevelPlan plan = planLevelling(layoutOf(pcm), LevelOptions{true, false}, readerOf(pcm));
    QVERIFY(std::abs(plan.loudnessLufs - whole.integratedLoudness()) < 1e-9);
    QVERIFY(plan.truePeakDbtp.has_value());
    QVERIFY2(std::abs(*plan.truePeakDbtp - truePeak) < 1e-6, qPrintable(QString::number(*plan.truePeakDbtp)));
    QVERIFY(plan.limitedByPeak);
    QVERIFY(std::abs(plan.gainDb - (levelRules::PeakCeilingDbtp - truePeak)) < 1e-6);
    QCOMPARE(static_cast<qint64>(plan.cutFrames), qint64(0));
}

// The search above skips the passages whose samples are too low to hold the true peak,
// which holds only while libebur128's interpolator keeps to its bound. The worst input for
// the point half-way between two samples: full-scale samples of the signs of its
// coefficients (a windowed sinc, positive over the two nearest samples, then alternating).
void TestLevelling::truePeakStaysWithinItsBound()
{
    std::vector<std::int16_t> pcm(2 * 200, 0);
    for (int k = 0; k < 12; ++k) {
        const int distance = k < 6 ? 5 - k : k - 6; // from the middle, in whole samples
        const auto sample = static_cast<std::int16_t>(distance % 2 == 0 ? 32767 : -32767);
        pcm[static_cast<std::size_t>(2 * (100 + k))] = sample;
        pcm[static_cast<std::size_t>(2 * (100 + k) + 1)] = sample;
    }
    LoudnessMeter meter(2, Rate, LoudnessMeter::TruePeak);
    meter.add(pcm.data(), pcm.size() / 2);
    const double overSamples = meter.truePeak() / (32767.0 / 32768.0);
    QVERIFY2(overSamples > 1.8 && overSamples <= LoudnessMeter::TruePeakOverSamplePeak,
             qPrintable(QString::number(overSamples)));
}

SONALBURY_TEST_MAIN_CORE(TestLevelling)

#include "tst_levelling.moc"
