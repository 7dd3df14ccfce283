#include "CoreTexts.h"
#include "DiscImage.h"
#include "Extraction.h"
#include "FrameAddress.h"
#include "LibcdioReader.h"
#include "Mp3Check.h"
#include "RecordingView.h"
#include "ScriptedCdReader.h"
#include "TestEnvironment.h"
#include "TestFiles.h"
#include "TestPlatform.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtTest>

#include <sndfile.h>

#include <limits>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

// The PCM bytes of a WAV file, read through libsndfile as the encoder reads them.
QByteArray wavSamples(const QString &path, SF_INFO *infoOut = nullptr)
{
    SF_INFO info{};
    SNDFILE *file = Mp3Check::openSound(path, SFM_READ, &info);
    if (file == nullptr)
        return {};
    QByteArray bytes(static_cast<qsizetype>(info.frames * info.channels * 2), '\0');
    const sf_count_t read =
        sf_readf_short(file, reinterpret_cast<short *>(bytes.data()), info.frames);
    sf_close(file);
    if (infoOut != nullptr)
        *infoOut = info;
    bytes.truncate(static_cast<qsizetype>(read * info.channels * 2));
    return bytes;
}

} // namespace

class TestExtraction : public QObject
{
    Q_OBJECT

private:
    // A fresh reader, view and form for every test case.
    struct Rig
    {
        ScriptedCdReader reader;
        RecordingView view;
        FormFields form;
        QString folder;
        QString path;

        explicit Rig(const QString &dir) : folder(dir)
        {
            form.LoRipper = &reader;
            form.LlHandleCD = 7;
            form.lsDossier = folder + QLatin1Char('/');
            path = form.lsDossier + QStringLiteral("Piste 1.wav");
        }
        bool extract(std::int32_t start, std::int32_t length)
        {
            return ExtraireWav(form, view, start, length, path);
        }
        QStringList readList() const
        {
            QStringList list;
            for (const auto &r : reader.reads)
                list << QStringLiteral("%1 %2").arg(r.first).arg(r.count);
            return list;
        }
    };

    TestEnvironment m_env;
    int m_case = 0;
    QString freshFolder() { return m_env.freshFolder(QStringLiteral("case%1").arg(++m_case)); }

private slots:
    void chunksAndProgress_data();
    void chunksAndProgress();
    void yieldComesAfterTheBarMoved();
    void handleIsReadForEveryChunk();
    void existingFileIsReplacedNotRewritten_data();
    void existingFileIsReplacedNotRewritten();
    void entryThatCannotBeRemovedStopsTheCopy();
    void stopRequests_data();
    void stopRequests();
    void failedRead_data();
    void failedRead();
    void failedReadWhileClosingShowsNothing_data();
    void failedReadWhileClosingShowsNothing();
    void unfinishedHeaderIsAFailedWrite();
    void negativeLengthTouchesNothing();
    void overflowingPositionClosesTheFile();
    void imageTrackIsCopiedExactly_data();
    void imageTrackIsCopiedExactly();
    void truncatedImageFailsMidTrack();
};

void TestExtraction::chunksAndProgress_data()
{
    QTest::addColumn<std::int32_t>("length");
    QTest::addColumn<QStringList>("reads");
    QTest::addColumn<QList<std::int32_t>>("values");

    QTest::newRow("60: 25, 25, 10") << 60
                                    << QStringList{u"1000 25"_s, u"1025 25"_s, u"1050 10"_s}
                                    << QList<std::int32_t>{0, 25, 50, 60, 60};
    QTest::newRow("50: no read of 0") << 50 << QStringList{u"1000 25"_s, u"1025 25"_s}
                                      << QList<std::int32_t>{0, 25, 50, 50};
    QTest::newRow("1 sector") << 1 << QStringList{u"1000 1"_s} << QList<std::int32_t>{0, 1, 1};
    QTest::newRow("0: one read of 0") << 0 << QStringList{u"1000 0"_s}
                                      << QList<std::int32_t>{0, 0};

    // 1 % of 2 000 is 20: the bar moves after every chunk.
    QStringList reads2000;
    QList<std::int32_t> values2000{0};
    for (std::int32_t p = 0; p < 2000; p += 25) {
        reads2000 << QStringLiteral("%1 25").arg(1000 + p);
        values2000 << p + 25;
    }
    values2000 << 2000;
    QTest::newRow("2000: every chunk") << 2000 << reads2000 << values2000;

    // 1 % of 10 000 is 100, and 100 is not more than 100: the bar moves every 125 sectors.
    QStringList reads10000;
    QList<std::int32_t> values10000{0};
    for (std::int32_t p = 0; p < 10000; p += 25)
        reads10000 << QStringLiteral("%1 25").arg(1000 + p);
    for (std::int32_t v = 125; v <= 10000; v += 125)
        values10000 << v;
    values10000 << 10000;
    QTest::newRow("10000: every 125") << 10000 << reads10000 << values10000;
}

void TestExtraction::chunksAndProgress()
{
    QFETCH(std::int32_t, length);
    QFETCH(QStringList, reads);
    QFETCH(QList<std::int32_t>, values);

    Rig rig(freshFolder());
    QVERIFY(rig.extract(1000, length));

    QCOMPARE(rig.readList(), reads);
    QCOMPARE(rig.view.max, length);
    QCOMPARE(rig.view.values, values);
    QCOMPARE(rig.view.yields, reads.size());
    QCOMPARE(rig.reader.openWaveCount, 1);
    QCOMPARE(rig.reader.closeWaveCount, 1);
    QCOMPARE(rig.reader.wavePath, rig.path);
    QVERIFY(rig.view.messages.isEmpty());
    QCOMPARE(QFileInfo(rig.path).size(), qint64(length) * SectorBytes);
}

void TestExtraction::yieldComesAfterTheBarMoved()
{
    Rig rig(freshFolder());
    QVERIFY(rig.extract(0, 60));
    const QStringList expected{u"max 60"_s,  u"value 0"_s, u"value 25"_s, u"yield"_s,
                               u"value 50"_s, u"yield"_s,   u"value 60"_s, u"yield"_s,
                               u"value 60"_s};
    QCOMPARE(rig.view.events, expected);
}

void TestExtraction::handleIsReadForEveryChunk()
{
    Rig rig(freshFolder());
    rig.view.onYield = [&rig](int index) {
        if (index == 0)
            rig.form.LlHandleCD = 9;
    };
    QVERIFY(rig.extract(0, 60));
    QCOMPARE(rig.reader.reads.size(), std::size_t(3));
    QCOMPARE(rig.reader.reads[0].handle, 7);
    QCOMPARE(rig.reader.reads[1].handle, 9);
    QCOMPARE(rig.reader.reads[2].handle, 9);
}

void TestExtraction::existingFileIsReplacedNotRewritten_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("plain file") << u"plain"_s;
    QTest::newRow("second hard link") << u"hard"_s;
    QTest::newRow("symbolic link to a file elsewhere") << u"symbolic"_s;
    QTest::newRow("dangling symbolic link") << u"dangling"_s;
}

void TestExtraction::existingFileIsReplacedNotRewritten()
{
    // The old file is removed before the copy starts: another name for the same data keeps
    // its content, and a link never leads the copy out of the folder.
    QFETCH(QString, kind);
    Rig rig(freshFolder());
    const QString other = m_env.freshFolder(QStringLiteral("elsewhere%1").arg(m_case))
                          + QStringLiteral("/other.wav");
    const QByteArray old("old audio that must not be rewritten");
    if (kind == u"plain"_s) {
        writeFile(rig.path, old);
    } else if (kind == u"hard"_s) {
        writeFile(other, old);
        QVERIFY(TestPlatform::hardLink(other, rig.path));
    } else if (kind == u"symbolic"_s) {
        writeFile(other, old);
        QVERIFY(QFile::link(other, rig.path));
    } else {
        QVERIFY(QFile::link(other, rig.path));
    }
    // The copy fails at once: the old file is gone all the same.
    rig.reader.failReadAt = 0;
    QVERIFY(!rig.extract(0, 60));
    QCOMPARE(rig.view.messageTexts(), QStringList{CoreTexts::writeError(rig.path)});

    const QFileInfo result(rig.path);
    QVERIFY(!result.isSymLink());
    QCOMPARE(result.size(), 0);
    if (kind == u"dangling"_s)
        QVERIFY(!QFileInfo::exists(other));
    else if (kind != u"plain"_s)
        QCOMPARE(readAll(other), old);
}

void TestExtraction::entryThatCannotBeRemovedStopsTheCopy()
{
    Rig rig(freshFolder());
    QVERIFY(QDir().mkpath(rig.path + QStringLiteral("/inside")));

    QVERIFY(!rig.extract(0, 60));

    QCOMPARE(rig.reader.openWaveCount, 0);
    QVERIFY(rig.reader.reads.empty());
    QVERIFY(QFileInfo(rig.path + QStringLiteral("/inside")).isDir());
    QCOMPARE(rig.view.messages.size(), 1);
    const auto &message = rig.view.messages.first();
    QVERIFY2(message.text.startsWith(QStringLiteral("Impossible de supprimer le fichier ")
                                     + QDir::toNativeSeparators(rig.path) + QLatin1Char('\n')),
             qPrintable(message.text));
    // The system's reason follows the path.
    QVERIFY(message.text.size() > (QStringLiteral("Impossible de supprimer le fichier ")
                                   + QDir::toNativeSeparators(rig.path) + QLatin1Char('\n')).size());
    QCOMPARE(message.icon, MessageIcon::Exclamation);
    QCOMPARE(message.title, u"Sonalbury CD-MP3"_s);
}

void TestExtraction::stopRequests_data()
{
    QTest::addColumn<bool>("closing");   // the flag raised: closing, else LbStop
    QTest::addColumn<int>("atYield");    // -1: raised before the call
    QTest::addColumn<int>("reads");
    QTest::addColumn<bool>("result");

    // Length 100: four chunks.
    QTest::newRow("cancel already set: one chunk") << false << -1 << 1 << false;
    QTest::newRow("cancel after chunk 1") << false << 0 << 2 << false;
    QTest::newRow("cancel after chunk 3") << false << 2 << 4 << false;
    QTest::newRow("cancel during the last yield: too late") << false << 3 << 4 << true;
    QTest::newRow("closing already set") << true << -1 << 1 << false;
    QTest::newRow("closing after chunk 2") << true << 1 << 3 << false;
}

void TestExtraction::stopRequests()
{
    QFETCH(bool, closing);
    QFETCH(int, atYield);
    QFETCH(int, reads);
    QFETCH(bool, result);

    Rig rig(freshFolder());
    std::atomic<bool> &flag = closing ? rig.form.closing : rig.form.LbStop;
    if (atYield < 0)
        flag = true;
    else
        rig.view.raiseAtYield(flag, atYield);

    QCOMPARE(rig.extract(0, 100), result);

    QCOMPARE(rig.reader.reads.size(), std::size_t(reads));
    QCOMPARE(rig.reader.closeWaveCount, 1);
    QVERIFY(rig.view.messages.isEmpty());
    QCOMPARE(QFileInfo::exists(rig.path), result);
    // The flag belongs to the caller: the extraction never clears it.
    QVERIFY(flag.load());
    // A stopped copy yields no more: the interface is not given a turn for a read not made.
    QCOMPARE(rig.view.yields, result ? reads : reads - 1);
}

void TestExtraction::failedRead_data()
{
    QTest::addColumn<int>("failAt");
    QTest::newRow("first chunk") << 0;
    QTest::newRow("second chunk") << 1;
    QTest::newRow("last chunk") << 3;
}

void TestExtraction::failedRead()
{
    QFETCH(int, failAt);
    Rig rig(freshFolder());
    rig.reader.failReadAt = failAt;

    QVERIFY(!rig.extract(0, 100));

    QCOMPARE(rig.reader.reads.size(), std::size_t(failAt + 1));
    QCOMPARE(rig.reader.closeWaveCount, 1);
    // The partial file stays, with what was read before the failure.
    QCOMPARE(QFileInfo(rig.path).size(), qint64(failAt) * 25 * SectorBytes);
    QCOMPARE(rig.view.messages.size(), 1);
    QCOMPARE(rig.view.messages.first().text,
             QStringLiteral("Erreur lors de l'ecriture du fichier ") + QDir::toNativeSeparators(rig.path));
    QCOMPARE(rig.view.messages.first().icon, MessageIcon::Exclamation);
    QCOMPARE(rig.view.messages.first().title, u"Sonalbury CD-MP3"_s);
    QCOMPARE(rig.view.yields, failAt);
}

void TestExtraction::failedReadWhileClosingShowsNothing_data()
{
    QTest::addColumn<bool>("closing"); // the flag raised during the read: closing, else LbStop
    QTest::newRow("closing") << true;
    // A cancel stops a read with retries midway: the read fails, and that is no write error.
    QTest::newRow("cancel") << false;
}

void TestExtraction::failedReadWhileClosingShowsNothing()
{
    QFETCH(bool, closing);
    Rig rig(freshFolder());
    rig.reader.failReadAt = 1;
    rig.view.raiseAtYield(closing ? rig.form.closing : rig.form.LbStop, 0);

    QVERIFY(!rig.extract(0, 100));
    QCOMPARE(rig.reader.reads.size(), std::size_t(2));
    QVERIFY(rig.view.messages.isEmpty());
    QVERIFY(!QFileInfo::exists(rig.path));

    Rig closingFirst(freshFolder());
    closingFirst.reader.failReadAt = 0;
    closingFirst.form.closing = true;
    QVERIFY(!closingFirst.extract(0, 100));
    QVERIFY(closingFirst.view.messages.isEmpty());
    QVERIFY(!QFileInfo::exists(closingFirst.path));
    QCOMPARE(closingFirst.reader.closeWaveCount, 1);
}

void TestExtraction::unfinishedHeaderIsAFailedWrite()
{
    Rig rig(freshFolder());
    rig.reader.failClose = true;

    QVERIFY(!rig.extract(0, 60));
    QCOMPARE(rig.reader.closeWaveCount, 1);
    QCOMPARE(rig.view.messageTexts(), QStringList{CoreTexts::writeError(rig.path)});

    // A cancelled copy removes its file even when the close fails, and says nothing.
    Rig cancelled(freshFolder());
    cancelled.reader.failClose = true;
    cancelled.form.LbStop = true;
    QVERIFY(!cancelled.extract(0, 60));
    QCOMPARE(cancelled.reader.closeWaveCount, 1);
    QVERIFY(cancelled.view.messages.isEmpty());
    QVERIFY(!QFileInfo::exists(cancelled.path));
}

void TestExtraction::negativeLengthTouchesNothing()
{
    Rig rig(freshFolder());
    writeFile(rig.path, "earlier");

    QVERIFY(!rig.extract(0, -75));

    QVERIFY(rig.reader.calls.isEmpty());
    QCOMPARE(readAll(rig.path), QByteArray("earlier"));
    QVERIFY(rig.view.messages.isEmpty());
}

void TestExtraction::overflowingPositionClosesTheFile()
{
    Rig rig(freshFolder());
    const std::int32_t start = std::numeric_limits<std::int32_t>::max() - 30;
    QVERIFY_THROWS_EXCEPTION(FrameOverflow, rig.extract(start, 100));
    // start + 25 still fits, start + 50 does not.
    QCOMPARE(rig.reader.reads.size(), std::size_t(2));
    QCOMPARE(rig.reader.closeWaveCount, 1);
}

void TestExtraction::imageTrackIsCopiedExactly_data()
{
    QTest::addColumn<int>("track");
    QTest::addColumn<bool>("secure");
    QTest::newRow("track 1, plain reads") << 1 << false;
    QTest::newRow("track 2 after a pregap, plain reads") << 2 << false;
    QTest::newRow("track 3, error-correcting reads") << 3 << true;
}

void TestExtraction::imageTrackIsCopiedExactly()
{
    QFETCH(int, track);
    QFETCH(bool, secure);

    const QString folder = freshFolder();
    discimage::DiscLayout discLayout;
    discLayout.tracks = {discimage::Track{163, 0, false}, discimage::Track{75, 40, false},
                   discimage::Track{112, 0, false}};
    const QString cue = discimage::write(folder + QStringLiteral("/disc"), discLayout);

    LibcdioReader reader({cue});
    RecordingView view;
    FormFields form;
    form.LoRipper = &reader;
    reader.ScanDrives();
    // Images come after the machine's drives.
    form.LlHandleCD = reader.OpenDrive(reader.GetDriveAddress(reader.GetDriveCount() - 1));
    QVERIFY(form.LlHandleCD != 0);
    if (secure)
        QVERIFY(reader.SetDriveParam(form.LlHandleCD, CdReader::ParamSecureRead, -1));
    QCOMPARE(reader.ReadToc(form.LlHandleCD), 1);

    const std::int32_t entry0 = frameAddress(reader.GetTocEntry(0));
    const std::int32_t begin = frameAddress(reader.GetTocEntry(track - 1));
    const std::int32_t end = frameAddress(reader.GetTocEntry(track));
    const std::int32_t length = end - begin;
    QCOMPARE(length, discLayout.tracks[std::size_t(track - 1)].frames
                         + (track < 3 ? discLayout.tracks[std::size_t(track)].pregap : 0));

    const QString path = folder + QStringLiteral("/track.wav");
    QVERIFY(ExtraireWav(form, view, begin - entry0, length, path));

    SF_INFO info{};
    const QByteArray samples = wavSamples(path, &info);
    QCOMPARE(info.samplerate, 44100);
    QCOMPARE(info.channels, 2);
    QCOMPARE(info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    const std::int32_t firstLsn = discimage::trackStart(discLayout, 1) + (begin - entry0);
    QVERIFY(samples == discimage::rangeBytes(discLayout, firstLsn, length));
}

void TestExtraction::truncatedImageFailsMidTrack()
{
    // The .bin holds less than the table of contents read at the opening promises (the
    // image shrank once opened): the read fails inside the last track.
    const QString folder = freshFolder();
    discimage::DiscLayout discLayout;
    discLayout.tracks = {discimage::Track{100, 0, false}, discimage::Track{200, 0, false}};
    const QString cue = discimage::write(folder + QStringLiteral("/disc"), discLayout);

    LibcdioReader reader({cue});
    RecordingView view;
    FormFields form;
    form.LoRipper = &reader;
    reader.ScanDrives();
    form.LlHandleCD = reader.OpenDrive(reader.GetDriveAddress(reader.GetDriveCount() - 1));
    QVERIFY(form.LlHandleCD != 0);
    // Cut at a chunk boundary of track 2: 75 of its 200 sectors remain.
    QVERIFY(QFile::resize(folder + QStringLiteral("/disc.bin"),
                          qint64(discimage::totalFrames(discLayout) - 125) * SectorBytes));
    QCOMPARE(reader.ReadToc(form.LlHandleCD), 1);
    const std::int32_t entry0 = frameAddress(reader.GetTocEntry(0));
    const std::int32_t begin = frameAddress(reader.GetTocEntry(1));
    const std::int32_t length = frameAddress(reader.GetTocEntry(2)) - begin;

    const QString path = folder + QStringLiteral("/track.wav");
    QVERIFY(!ExtraireWav(form, view, begin - entry0, length, path));
    QCOMPARE(view.messageTexts(), QStringList{CoreTexts::writeError(path)});
    // The part read before the failure stays, readable and exact.
    const QByteArray samples = wavSamples(path);
    QCOMPARE(samples.size(), qsizetype(75) * SectorBytes);
    QVERIFY(samples == discimage::rangeBytes(discLayout, discimage::trackStart(discLayout, 1) + (begin - entry0),
                                             std::int32_t(samples.size() / SectorBytes)));
}

SONALBURY_TEST_MAIN_CORE(TestExtraction)

#include "tst_extraction.moc"
