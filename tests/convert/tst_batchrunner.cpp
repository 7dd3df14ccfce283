#include "BatchRunner.h"
#include "Conversion.h"
#include "DiscImage.h"
#include "LibcdioReader.h"
#include "Mp3Check.h"
#include "MusicFolderLock.h"
#include "RecordingView.h"
#include "TestEnvironment.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtTest>

#include <algorithm>
#include <functional>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

constexpr std::int32_t SamplesPerSector = 588; // stereo sample frames

// What a user sees of a batch: status texts, messages and the refresh, in order (without
// the progress values, which the display shows for the tracks in progress).
QStringList shown(const QStringList &events)
{
    QStringList kept;
    for (const QString &event : events) {
        if (event.startsWith(u"status "_s) || event.startsWith(u"message "_s) || event == u"refresh"_s)
            kept << event;
    }
    return kept;
}

// A spy around the real reader: counts the WAV files already in the music folder each time
// a new one is started.
class WavCountingReader : public CdReader
{
public:
    WavCountingReader(CdReader &real, QString folder) : m_real(real), m_folder(std::move(folder)) {}

    int mostWavFiles = 0;

    std::int32_t ScanDrives() override { return m_real.ScanDrives(); }
    std::int32_t GetDriveCount() override { return m_real.GetDriveCount(); }
    DriveAddress GetDriveAddress(std::int32_t i) override { return m_real.GetDriveAddress(i); }
    DriveInfo GetDriveInfo(std::int32_t i) override { return m_real.GetDriveInfo(i); }
    std::int32_t OpenDrive(const DriveAddress &a) override { return m_real.OpenDrive(a); }
    bool CloseDrive(std::int32_t h) override { return m_real.CloseDrive(h); }
    std::int32_t ReadToc(std::int32_t h) override { return m_real.ReadToc(h); }
    std::int32_t GetFirstTrack() override { return m_real.GetFirstTrack(); }
    std::int32_t GetLastTrack() override { return m_real.GetLastTrack(); }
    TocTime GetTocEntry(std::int32_t e) override { return m_real.GetTocEntry(e); }
    bool SetDriveParam(std::int32_t h, std::int32_t p, std::int32_t v) override
    {
        return m_real.SetDriveParam(h, p, v);
    }
    void OpenWaveFile(const QString &path) override
    {
        const auto count = static_cast<int>(withSuffix(entries(m_folder), u".wav"_s).size());
        mostWavFiles = std::max(mostWavFiles, count);
        m_real.OpenWaveFile(path);
    }
    bool CloseWaveFile() override { return m_real.CloseWaveFile(); }
    std::int32_t ReadSectors(std::int32_t h, std::int32_t first, std::int32_t count) override
    {
        return m_real.ReadSectors(h, first, count);
    }

private:
    CdReader &m_real;
    QString m_folder;
};

// Records what the batch shows of the tracks in progress.
class RecordingDisplay : public BatchRunner::Display
{
public:
    std::function<void(const std::vector<BatchRunner::TrackLine> &)> onShow;
    int mostEncodings = 0;
    QList<std::int32_t> finished; // positions, in the order they were reported
    QSet<std::int32_t> waited;    // positions shown as read and waiting for an encoder

    void showTracks(const std::vector<BatchRunner::TrackLine> &lines) override
    {
        const auto encodings = static_cast<int>(std::count_if(lines.begin(), lines.end(), [](const auto &line) {
            return line.status.startsWith(u"Etat : Encodage de "_s);
        }));
        mostEncodings = std::max(mostEncodings, encodings);
        for (const auto &line : lines) {
            if (line.status == u"Etat : En attente d'encodage de Piste %1"_s.arg(line.position))
                waited.insert(line.position);
        }
        if (onShow)
            onShow(lines);
    }
    void trackFinished(const BatchRunner::TrackLine &line) override { finished << line.position; }
};

// A disc image of its own, opened in a real reader, and a music folder.
struct Disc
{
    discimage::DiscLayout discLayout;
    QString folder;
    QString music;
    std::unique_ptr<LibcdioReader> reader;
    std::int32_t handle = 0;

    Disc(const QString &dir, const QList<std::int32_t> &lengths) : folder(dir)
    {
        discLayout.audio = discimage::Audio::Tones;
        // The second track has a pregap, which belongs to the first.
        for (qsizetype i = 0; i < lengths.size(); ++i)
            discLayout.tracks.push_back(discimage::Track{lengths[i], i == 1 ? 30 : 0, false});
        const QString cue = discimage::write(folder + u"/disc"_s, discLayout);
        music = folder + u"/musiques"_s;
        QDir().mkpath(music);
        reader = std::make_unique<LibcdioReader>(QStringList{cue});
        reader->ScanDrives();
        handle = reader->OpenDrive(reader->GetDriveAddress(reader->GetDriveCount() - 1));
    }

    // Sectors of item n: up to the next track's INDEX 01, or to the end of the disc.
    std::int32_t trackSectors(int n) const
    {
        const std::int32_t end = n < int(discLayout.tracks.size()) ? discimage::trackStart(discLayout, n + 1)
                                                             : discimage::totalFrames(discLayout);
        return end - discimage::trackStart(discLayout, n);
    }

    void prepare(FormFields &form, CdReader &drive) const
    {
        form.LoRipper = &drive;
        form.LlHandleCD = handle;
        form.lsDossier = music + QLatin1Char('/');
        form.settings.LlMode = 1;
        form.settings.LlBitrate = 128;
        form.settings.LbHauteQualite = false;
        form.settings.LlTypeEncodage = 0;
    }
};

// What one batch left behind.
struct Outcome
{
    QStringList shown;
    QStringList files;
    std::int32_t attempted = 0;
    std::int32_t produced = 0;
};

} // namespace

class TestParallel : public QObject
{
    Q_OBJECT

private:
    TestEnvironment m_env;
    int m_case = 0;
    QString freshFolder() { return m_env.freshFolder(QStringLiteral("case%1").arg(++m_case)); }

private slots:
    void sameResultAsOneTrackAtATime_data();
    void sameResultAsOneTrackAtATime();
    void encodingsRunAtOnceWithinBounds();
    void closingLeavesNoUnfinishedFile_data();
    void closingLeavesNoUnfinishedFile();
    void emptyListDoesNothing();
    void oneBatchPerMusicFolder();
};

void TestParallel::sameResultAsOneTrackAtATime_data()
{
    QTest::addColumn<QList<std::int32_t>>("lengths");
    QTest::addColumn<QStringList>("items"); // a leading "-" leaves the item unticked
    QTest::addColumn<std::int32_t>("type");
    QTest::addColumn<std::int32_t>("bitrate");
    QTest::addColumn<QString>("blocked"); // a folder that stands in the music folder
    QTest::addColumn<bool>("cutImage");   // the image loses the end of its last track
    QTest::addColumn<bool>("staleCancel");

    const QList<std::int32_t> fourTracks{150, 188, 120, 200};
    // The first track takes longest: the later ones finish first.
    const QList<std::int32_t> longFirst{1200, 90, 120, 100};
    const QStringList four{u"Un"_s, u"Deux"_s, u"Trois"_s, u"Quatre"_s};

    QTest::newRow("every track, MP3 files") << fourTracks << four << 0 << 128 << QString() << false << false;
    QTest::newRow("later tracks finish first") << longFirst << four << 0 << 128 << QString() << false << false;
    QTest::newRow("WAV and MP3 files") << fourTracks << four << 2 << 128 << QString() << false << false;
    QTest::newRow("WAV files only") << fourTracks << four << 1 << 128 << QString() << false << false;
    QTest::newRow("unticked items and unsafe titles")
        << fourTracks << QStringList{u"-Un"_s, u"AC/DC: Live?"_s, u"-Trois"_s, u".."_s} << 0 << 128
        << QString() << false << false;
    QTest::newRow("same name twice")
        << fourTracks << QStringList{u"Intro"_s, u"Intro"_s, u"intro"_s, u"Intro"_s} << 0 << 128
        << QString() << false << false;
    QTest::newRow("a folder where an MP3 file should go")
        << longFirst << four << 0 << 128 << u"Deux.mp3"_s << false << false;
    QTest::newRow("a folder where a WAV file should go")
        << fourTracks << four << 0 << 128 << u"Trois.wav"_s << false << false;
    QTest::newRow("every encoding refused") << fourTracks << four << 0 << 100 << QString() << false << false;
    QTest::newRow("last track cut short") << fourTracks << four << 2 << 128 << QString() << true << false;
    QTest::newRow("cancel pressed before the batch") << fourTracks << four << 0 << 128 << QString() << false << true;
}

void TestParallel::sameResultAsOneTrackAtATime()
{
    QFETCH(QList<std::int32_t>, lengths);
    QFETCH(QStringList, items);
    QFETCH(std::int32_t, type);
    QFETCH(std::int32_t, bitrate);
    QFETCH(QString, blocked);
    QFETCH(bool, cutImage);
    QFETCH(bool, staleCancel);

    // jobs 1: the one-track-at-a-time batch.
    const auto convert = [&](int jobs, const QString &dir) {
        Disc disc(dir, lengths);
        RecordingView view;
        RecordingTracks tracks(view);
        tracks.list.setAlbum(u"Album"_s);
        tracks.list.setArtist(u"Artiste é"_s);
        for (const QString &item : items)
            tracks.addItem(item.startsWith(u'-') ? item.mid(1) : item, !item.startsWith(u'-'));
        FormFields form;
        disc.prepare(form, *disc.reader);
        form.settings.LlTypeEncodage = type;
        form.settings.LlBitrate = bitrate;
        form.LbStop = staleCancel;
        if (!blocked.isEmpty())
            QDir().mkpath(disc.music + u"/"_s + blocked + u"/keep"_s);
        if (cutImage) {
            QFile bin(dir + u"/disc.bin"_s);
            bin.resize(bin.size() - 50 * discimage::BytesPerSector);
        }
        Outcome outcome;
        BatchRunner conversion(form, view, tracks, jobs);
        conversion.ConvertirPistes();
        outcome.attempted = conversion.tracksAttempted();
        outcome.produced = conversion.tracksProduced();
        // Paths differ between the two runs only by their folder.
        outcome.shown = shown(view.events)
                            .replaceInStrings(disc.music, u"<musiques>"_s)
                            .replaceInStrings(QDir::toNativeSeparators(disc.music), u"<musiques>"_s);
        outcome.files = entries(disc.music);
        return outcome;
    };

    const QString one = freshFolder();
    const QString three = freshFolder();
    const Outcome sequential = convert(1, one);
    const Outcome parallel = convert(3, three);

    QVERIFY(!sequential.files.isEmpty());
    QCOMPARE(parallel.shown, sequential.shown);
    QCOMPARE(parallel.files, sequential.files);
    QCOMPARE(parallel.attempted, sequential.attempted);
    QCOMPARE(parallel.produced, sequential.produced);
    for (const QString &file : sequential.files) {
        const QString a = one + u"/musiques/"_s + file;
        const QString b = three + u"/musiques/"_s + file;
        if (!QFileInfo(a).isFile())
            continue;
        if (file.endsWith(u".wav"_s)) {
            QVERIFY2(readAll(a) == readAll(b), qPrintable(file));
        } else if (file.endsWith(u".mp3"_s)) {
            const Mp3Check::Audio audioA = Mp3Check::decodeMp3(a);
            const Mp3Check::Audio audioB = Mp3Check::decodeMp3(b);
            QVERIFY2(audioA.ok() && audioB.ok(), qPrintable(file));
            QVERIFY2(audioA.samples == audioB.samples, qPrintable(file));
            const Mp3Check::Tags tagsA = Mp3Check::readTags(a);
            const Mp3Check::Tags tagsB = Mp3Check::readTags(b);
            QCOMPARE(tagsB.title, tagsA.title);
            QCOMPARE(tagsB.artist, u"Artiste é"_s);
            QCOMPARE(tagsB.album, u"Album"_s);
            QCOMPARE(tagsB.comment, tagsA.comment);
            QCOMPARE(tagsB.frames, tagsA.frames);
        }
    }
}

void TestParallel::encodingsRunAtOnceWithinBounds()
{
    // Ten tracks that take far longer to encode than to read: the reader must wait for the
    // encoders instead of filling the disk with WAV files.
    const int jobs = 2;
    Disc disc(freshFolder(), QList<std::int32_t>(10, 600));
    WavCountingReader spy(*disc.reader, disc.music);
    RecordingView view;
    RecordingTracks tracks(view);
    for (int n = 1; n <= 10; ++n)
        tracks.addItem(u"Piste %1"_s.arg(n), true);
    FormFields form;
    disc.prepare(form, spy);
    form.settings.LbHauteQualite = true; // slower encodings
    RecordingDisplay display;
    BatchRunner conversion(form, view, tracks, jobs, &display);

    conversion.ConvertirPistes();

    QCOMPARE(conversion.tracksProduced(), 10);
    QCOMPARE(withSuffix(entries(disc.music), u".mp3"_s).size(), 10);
    QVERIFY(withSuffix(entries(disc.music), u".wav"_s).isEmpty());
    // Two encodings at once, never more than asked for.
    QCOMPARE(display.mostEncodings, jobs);
    // While a track was read: at most `jobs` WAV files being encoded and `jobs` waiting.
    QVERIFY2(spy.mostWavFiles <= 2 * jobs, qPrintable(QString::number(spy.mostWavFiles)));
    QCOMPARE(display.finished, (QList<std::int32_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
    // Every track, once read, said it waited for an encoder (not "extraction, 100 %").
    QCOMPARE(display.waited.size(), 10);
    QCOMPARE(view.messageTexts(), QStringList{u"Rip du CD terminé"_s});
}

void TestParallel::closingLeavesNoUnfinishedFile_data()
{
    QTest::addColumn<std::int32_t>("type");
    QTest::newRow("MP3 files only") << 0;
    QTest::newRow("WAV and MP3 files") << 2;
}

void TestParallel::closingLeavesNoUnfinishedFile()
{
    QFETCH(std::int32_t, type);

    Disc disc(freshFolder(), QList<std::int32_t>(8, 900));
    RecordingView view;
    RecordingTracks tracks(view);
    for (int n = 1; n <= 8; ++n)
        tracks.addItem(u"Piste %1"_s.arg(n), true);
    FormFields form;
    disc.prepare(form, *disc.reader);
    form.settings.LlTypeEncodage = type;
    form.settings.LbHauteQualite = true;
    RecordingDisplay display;
    // Closed while two encodings are under way, with more tracks read and waiting.
    display.onShow = [&](const std::vector<BatchRunner::TrackLine> &lines) {
        const auto encodingsUnderWay = std::count_if(lines.begin(), lines.end(), [](const auto &line) {
            return line.status.startsWith(u"Etat : Encodage de "_s) && line.value >= 10;
        });
        if (encodingsUnderWay >= 2 && lines.size() >= 3) {
            form.closing = true;
            form.LbStop = true;
        }
    };
    BatchRunner conversion(form, view, tracks, 2, &display);

    conversion.ConvertirPistes();

    QVERIFY(form.closing.load());
    const QStringList files = entries(disc.music);
    const QStringList mp3 = withSuffix(files, u".mp3"_s);
    QVERIFY2(mp3.size() < 8, qPrintable(files.join(u", "_s)));
    // Only finished files: complete MP3 files and, when they were wanted, complete WAV files.
    for (const QString &file : files) {
        QVERIFY2(file.endsWith(u".mp3"_s) || (type == 2 && file.endsWith(u".wav"_s)), qPrintable(file));
        const QString path = disc.music + u"/"_s + file;
        const qint64 frames = file.endsWith(u".mp3"_s) ? Mp3Check::decodeMp3(path).frames()
                                                       : Mp3Check::readWav(path).frames();
        const int n = QFileInfo(file).completeBaseName().section(u' ', 1).toInt();
        QCOMPARE(frames, qint64(disc.trackSectors(n)) * SamplesPerSector);
    }
    if (type == 2) {
        for (const QString &file : mp3)
            QVERIFY(files.contains(QFileInfo(file).completeBaseName() + u".wav"_s));
    }
    // Only the tracks that were made leave a finished line; the interrupted ones none.
    QList<std::int32_t> made;
    for (const QString &file : mp3)
        made << QFileInfo(file).completeBaseName().section(u' ', 1).toInt();
    std::sort(made.begin(), made.end());
    QCOMPARE(display.finished, made);
    QVERIFY(!view.messageTexts().contains(u"Rip du CD terminé"_s));
    QCOMPARE(view.refreshes, 0);
}

void TestParallel::emptyListDoesNothing()
{
    Disc disc(freshFolder(), {100});
    RecordingView view;
    RecordingTracks tracks(view);
    FormFields form;
    disc.prepare(form, *disc.reader);
    form.LbStop = true;
    RecordingDisplay display;
    BatchRunner conversion(form, view, tracks, 4, &display);

    conversion.ConvertirPistes();

    // As the window's batch: no message, no refresh, and the stale cancel forgotten.
    QCOMPARE(shown(view.events), QStringList());
    QVERIFY(!form.LbStop.load());
    QCOMPARE(conversion.tracksAttempted(), 0);
    QVERIFY(entries(disc.music).isEmpty());
}

// Two batches into one music folder would mix their files: the second converts nothing and
// says why; the folder is free again once a batch ends.
void TestParallel::oneBatchPerMusicFolder()
{
    Disc disc(freshFolder(), {100});
    RecordingView view;
    RecordingTracks tracks(view);
    tracks.addItem(u"Piste 1"_s, true);
    FormFields form;
    disc.prepare(form, *disc.reader);
    BatchRunner conversion(form, view, tracks, 2);

    auto other = std::make_unique<MusicFolderLock>(disc.music);
    QVERIFY(other->tryLock());
    conversion.ConvertirPistes();
    QCOMPARE(view.messageTexts(), QStringList{u"Une autre conversion utilise déjà le dossier musiques."_s});
    QCOMPARE(conversion.tracksAttempted(), 0);
    QCOMPARE(conversion.tracksProduced(), 0);
    QCOMPARE(entries(disc.music), QStringList{MusicFolderLock::fileName()});

    other.reset();
    view.messages.clear();
    conversion.ConvertirPistes();
    QCOMPARE(conversion.tracksProduced(), 1);
    QCOMPARE(entries(disc.music), QStringList{u"Piste 1.mp3"_s});
    QVERIFY(MusicFolderLock(disc.music).tryLock());
}

SONALBURY_TEST_MAIN_CORE(TestParallel)
#include "tst_batchrunner.moc"
