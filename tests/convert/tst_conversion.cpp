#include "BatchRunner.h"
#include "Conversion.h"
#include "CoreTexts.h"
#include "DiscImage.h"
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

#ifdef Q_OS_UNIX
#include <sys/resource.h>
#endif

#include <csignal>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

constexpr std::int32_t SamplesPerSector = 588; // stereo sample frames

// The samples of a WAV file, read through libsndfile.
std::vector<std::int16_t> wavSamples(const QString &path)
{
    return Mp3Check::readWav(path).samples;
}

std::vector<std::int16_t> samplesOf(const QByteArray &pcm)
{
    std::vector<std::int16_t> samples(static_cast<std::size_t>(pcm.size() / 2));
    std::memcpy(samples.data(), pcm.constData(), samples.size() * 2);
    return samples;
}

// The progress values written after the bar was set to 0..100 for an encoding.
QList<std::int32_t> encodingValues(const QStringList &events)
{
    QList<std::int32_t> values;
    const qsizetype from = events.indexOf(u"max 100"_s);
    for (qsizetype i = from < 0 ? events.size() : from; i < events.size(); ++i) {
        if (events[i].startsWith(u"value "_s))
            values << events[i].mid(6).toInt();
    }
    return values;
}

Mp3Check::Tags tagsOf(const QString &path)
{
    return Mp3Check::readTags(path);
}

#ifdef Q_OS_UNIX
// Lowers the largest file this process may write, as a full disk would stop it, and puts
// the limit back when it goes out of scope.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_saved);
        rlimit lowered = m_saved;
        lowered.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &lowered);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &m_saved); }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

private:
    rlimit m_saved{};
};
#endif

// A form, a view and a conversion around a reader; the music folder is a fresh folder.
struct Rig
{
    ScriptedCdReader reader; // the drive, unless a real reader is given
    RecordingView view;
    RecordingTracks tracks{view};
    FormFields form;
    QString folder;
    Conversion conversion{form, view};
    BatchRunner batch{form, view, tracks, 1}; // the window's batch

    // Around a real reader, whose drive the caller opens.
    Rig(CdReader &other, const QString &dir) : folder(dir) { init(other); }
    // Around the scripted reader with tracks of these lengths, its drive open, WAV files
    // only, one ticked item per title.
    Rig(const QString &dir, const std::vector<std::int32_t> &lengths,
        const QStringList &ticked = {})
        : folder(dir)
    {
        init(reader);
        reader.setTrackLengths(lengths);
        form.LlHandleCD = 7;
        form.settings.LlTypeEncodage = 1;
        for (const QString &title : ticked)
            tracks.addItem(title, true);
    }
    QString path(const QString &file) const { return form.lsDossier + file; }
    QStringList files() const { return entries(folder); }

private:
    void init(CdReader &drive)
    {
        form.LoRipper = &drive;
        form.lsDossier = folder + QLatin1Char('/');
        form.settings.LlMode = 1;
        form.settings.LlBitrate = 320;
        form.settings.LbHauteQualite = true;
        form.settings.LlTypeEncodage = 0;
    }
};

} // namespace

class TestConversion : public QObject
{
    Q_OBJECT

private:
    TestEnvironment m_env;
    int m_case = 0;
    QString freshFolder() { return m_env.freshFolder(QStringLiteral("case%1").arg(++m_case)); }

    // The disc of the encoding tests: two short tracks of tones, the second after a pregap.
    discimage::DiscLayout m_discLayout;
    QString m_cue;
    std::unique_ptr<LibcdioReader> m_reader;

    // Opens the test disc in a fresh reader and returns the rig around it.
    std::unique_ptr<Rig> imageRig()
    {
        m_reader = std::make_unique<LibcdioReader>(QStringList{m_cue});
        m_reader->ScanDrives();
        auto rig = std::make_unique<Rig>(*m_reader, freshFolder());
        rig->form.LlHandleCD =
            m_reader->OpenDrive(m_reader->GetDriveAddress(m_reader->GetDriveCount() - 1));
        return rig;
    }
    // Length in sectors of item n of the test disc: up to the next track's INDEX 01, or to
    // the end of the disc for the last one.
    std::int32_t trackSectors(int n) const
    {
        const std::int32_t end = n < int(m_discLayout.tracks.size())
                                     ? discimage::trackStart(m_discLayout, n + 1)
                                     : discimage::totalFrames(m_discLayout);
        return end - discimage::trackStart(m_discLayout, n);
    }
    std::vector<std::int16_t> trackAudio(int n) const
    {
        return samplesOf(discimage::rangeBytes(m_discLayout, discimage::trackStart(m_discLayout, n),
                                               trackSectors(n)));
    }
    // Decoded MP3 that holds exactly the audio of item n.
    void verifyMp3OfTrack(const QString &path, int n) const
    {
        const Mp3Check::Audio decoded = Mp3Check::decodeMp3(path);
        QVERIFY2(decoded.ok(), qPrintable(decoded.error));
        QCOMPARE(decoded.frames(), qint64(trackSectors(n)) * SamplesPerSector);
        Mp3Check::Audio reference;
        reference.samples = trackAudio(n);
        reference.channels = 2;
        reference.rate = 44100;
        QVERIFY(Mp3Check::correlation(reference, decoded) > 0.99);
    }

private slots:
    void initTestCase();

    // Names
    void unsafeTitlesStayInTheFolder();
    void emptyTitleUsesTheDiscTrackNumber();

    // One track, scripted reader
    void tocFailures_data();
    void tocFailures();
    void trackLocation_data();
    void trackLocation();
    void trackOutsideTheDiscIsNeverRead_data();
    void trackOutsideTheDiscIsNeverRead();
    void nonAscendingEntries_data();
    void nonAscendingEntries();

    // The batch, scripted reader
    void emptyList();
    void nothingTicked();
    void statusSequence();
    void staleCancelIsForgotten();
    void cancelDuringExtraction();
    void cancelDuringTheLastYieldFinishesTheTrack();
    void itemsAreReadWhenReached();
    void duplicateNamesInOneBatch();
    void nameOfATrackThatLeftNothingStaysFree_data();
    void nameOfATrackThatLeftNothingStaysFree();
    void failedReadGoesOnWithTheNextTrack();
    void tocOverflowIsReportedAndTheBatchGoesOn();
    void closingDuringExtraction();
    void resetAfterBatch();

    // Real disc image and encoder
    void encodingTypes_data();
    void encodingTypes();
    void windowSettingsReachTheEncoder_data();
    void windowSettingsReachTheEncoder();
    void eventsOfOneTrack();
    void tagsAreReadAtEachEncoding();
    void earlierFilesAreReplaced();
    void existingFilesOfTheFolder_data();
    void existingFilesOfTheFolder();
    void encodingFailureKeepsTheWav();
    void mp3ThatCannotBeReplacedIsReported();
    void cancelDuringEncodingLetsItFinish();
    void closingDuringEncoding_data();
    void closingDuringEncoding();
    void truncatedImage();
    void dataTrackIsNoAudioTrack();
    void unwritableFolder_data();
    void unwritableFolder();
    void diskFullWhileWritingTheWav();
    void diskFullWhileWritingTheMp3();
};

void TestConversion::initTestCase()
{
    // Past the file-size limit, writes must fail instead of killing the process.
#ifdef SIGXFSZ
    std::signal(SIGXFSZ, SIG_IGN);
#endif

    m_discLayout.audio = discimage::Audio::Tones;
    m_discLayout.tracks = {discimage::Track{150, 0, false}, discimage::Track{188, 30, false}};
    m_cue = discimage::write(m_env.freshFolder(QStringLiteral("disc")) + QStringLiteral("/disc"),
                             m_discLayout);
}

// --- Names -------------------------------------------------------------------------------

void TestConversion::unsafeTitlesStayInTheFolder()
{
    // Files land in the music folder under safe names, whatever the titles; the status
    // line keeps the titles as typed.
    const QString parent = freshFolder();
    QVERIFY(QDir(parent).mkdir(u"musiques"_s));
    Rig rig(parent + u"/musiques"_s, {30, 30, 30, 30},
            {u"AC/DC: Live?"_s, u"../escape"_s, u".."_s, u"CON"_s});

    rig.batch.ConvertirPistes();

    QCOMPARE(rig.files(), (QStringList{u"AC_DC_ Live_.wav"_s, u"Piste 3.wav"_s,
                                       u"_._escape.wav"_s, u"_CON.wav"_s}));
    QCOMPARE(entries(parent), QStringList{u"musiques"_s});
    QCOMPARE(rig.view.statuses.first(), u"Etat : Extraction de AC/DC: Live?"_s);
    QVERIFY(rig.view.statuses.contains(u"Etat : Extraction de ../escape"_s));
    QCOMPARE(rig.view.messageTexts(), QStringList{u"Rip du CD terminé"_s});
}

void TestConversion::emptyTitleUsesTheDiscTrackNumber()
{
    // Item 2 of a disc whose first track is 5 is track 6.
    Rig rig(freshFolder(), {});
    rig.reader.setTrackLengths({30, 30}, 150, 5);
    rig.conversion.ConvertirPiste(2, TrackTags{});
    QCOMPARE(rig.files(), QStringList{u"Piste 6.wav"_s});
}

// --- One track, scripted reader ------------------------------------------------------------

void TestConversion::tocFailures_data()
{
    QTest::addColumn<std::int32_t>("handle");
    QTest::addColumn<bool>("paramAccepted");
    QTest::addColumn<std::int32_t>("tocStatus");
    QTest::addColumn<std::int32_t>("n");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<int>("messages");
    QTest::addColumn<bool>("converted");

    const QString param = u"SetDriveParam 7 36 -1"_s;
    const QString toc = u"ReadToc 7"_s;
    const QStringList located{param, toc, u"GetFirstTrack"_s, u"GetTocEntry 0"_s,
                              u"GetTocEntry 1"_s, u"GetTocEntry 0"_s};

    QTest::newRow("no drive open") << 0 << true << 1 << 1 << QStringList() << 1 << false;
    QTest::newRow("parameter refused: warned, converted") << 7 << false << 1 << 1 << located << 1
                                                          << true;
    QTest::newRow("table unreadable") << 7 << true << 0 << 1 << QStringList{param, toc} << 1
                                      << false;
    QTest::newRow("both fail: the message twice") << 7 << false << 0 << 1
                                                  << QStringList{param, toc} << 2 << false;
    QTest::newRow("n = 0 reads the table, says nothing") << 7 << true << 1 << 0
                                                         << QStringList{param, toc} << 0 << false;
    QTest::newRow("n = 0, both fail") << 7 << false << 0 << 0 << QStringList{param, toc} << 2
                                      << false;
}

void TestConversion::tocFailures()
{
    QFETCH(std::int32_t, handle);
    QFETCH(bool, paramAccepted);
    QFETCH(std::int32_t, tocStatus);
    QFETCH(std::int32_t, n);
    QFETCH(QStringList, calls);
    QFETCH(int, messages);
    QFETCH(bool, converted);

    Rig rig(freshFolder(), {40, 60});
    rig.reader.setParamResult = paramAccepted;
    rig.reader.tocStatus = tocStatus;
    rig.form.LlHandleCD = handle;
    rig.view.setProgressValue(33);
    rig.view.values.clear();

    rig.conversion.ConvertirPiste(n, TrackTags{u"Intro"_s, {}, {}});

    QCOMPARE(rig.reader.calls.mid(0, calls.size()), calls);
    QCOMPARE(rig.view.messageTexts(),
             QStringList(messages, u"Erreur lors de la lecture de Intro"_s));
    for (const auto &message : rig.view.messages) {
        QCOMPARE(message.icon, MessageIcon::Exclamation);
        QCOMPARE(message.title, u"Sonalbury CD-MP3"_s);
    }
    QCOMPARE(QFileInfo::exists(rig.path(u"Intro.wav"_s)), converted);
    if (!converted) {
        // An early return leaves the bar and the status line as they were.
        QCOMPARE(rig.reader.calls, calls);
        QVERIFY(rig.view.statuses.isEmpty());
        QVERIFY(rig.view.values.isEmpty());
    } else {
        QCOMPARE(rig.view.values.last(), 0);
    }
}

void TestConversion::trackLocation_data()
{
    QTest::addColumn<std::int32_t>("firstFrame");
    QTest::addColumn<std::int32_t>("firstTrack");
    QTest::addColumn<std::int32_t>("n");
    QTest::addColumn<std::int32_t>("start");
    QTest::addColumn<std::int32_t>("length");

    // Tracks of 40, 60 and 30 frames.
    QTest::newRow("first track of a disc at 00:02:00 starts at 0") << 150 << 1 << 1 << 0 << 40;
    QTest::newRow("second track starts at the first one's length") << 150 << 1 << 2 << 40 << 60;
    QTest::newRow("last track runs to the closing entry") << 150 << 1 << 3 << 100 << 30;
    QTest::newRow("disc starting elsewhere") << 33000 << 1 << 2 << 40 << 60;
    // Item k is track first + k - 1: its own entries, not those of position k.
    QTest::newRow("numbered from 2: first item") << 150 << 2 << 1 << 0 << 40;
    QTest::newRow("numbered from 7: last item") << 150 << 7 << 3 << 100 << 30;
}

void TestConversion::trackLocation()
{
    QFETCH(std::int32_t, firstFrame);
    QFETCH(std::int32_t, firstTrack);
    QFETCH(std::int32_t, n);
    QFETCH(std::int32_t, start);
    QFETCH(std::int32_t, length);

    Rig rig(freshFolder(), {});
    rig.reader.setTrackLengths({40, 60, 30}, firstFrame, firstTrack);
    const ScriptedCdReader &reader = rig.reader;

    rig.conversion.ConvertirPiste(n, TrackTags{u"Piste 1"_s, {}, {}});

    const std::int32_t track = firstTrack + n - 1;
    const qsizetype firstEntry = reader.calls.indexOf(u"GetTocEntry %1"_s.arg(track - 1));
    QVERIFY(firstEntry > 0);
    QCOMPARE(reader.calls.mid(firstEntry, 2),
             (QStringList{u"GetTocEntry %1"_s.arg(track - 1), u"GetTocEntry %1"_s.arg(track)}));
    QVERIFY(!reader.reads.empty());
    QCOMPARE(reader.reads.front().first, start);
    std::int32_t total = 0;
    for (const auto &read : reader.reads)
        total += read.count;
    QCOMPARE(total, length);
    QCOMPARE(QFileInfo(rig.path(u"Piste 1.wav"_s)).size(), qint64(length) * SectorBytes);
    QVERIFY(rig.view.messages.isEmpty());
}

void TestConversion::trackOutsideTheDiscIsNeverRead_data()
{
    QTest::addColumn<QList<std::int32_t>>("entries"); // frame addresses, entry 0 first
    QTest::addColumn<std::int32_t>("n");

    // What libcdio makes of a sheet without a valid INDEX 01: a start of -150.
    QTest::newRow("start before the disc") << QList<std::int32_t>{0, 3000, 6000} << 2;
    QTest::newRow("end past the disc's end") << QList<std::int32_t>{150, 9000, 6000} << 1;
    QTest::newRow("entries going backwards") << QList<std::int32_t>{150, 3000, 2000, 6000} << 2;
    QTest::newRow("a track of no frames") << QList<std::int32_t>{150, 3000, 3000, 6000} << 2;
}

void TestConversion::trackOutsideTheDiscIsNeverRead()
{
    QFETCH(QList<std::int32_t>, entries);
    QFETCH(std::int32_t, n);

    Rig rig(freshFolder(), {});
    rig.reader.toc.clear();
    for (const std::int32_t a : entries)
        rig.reader.toc.push_back(TocTime{a / 4500, (a / 75) % 60, a % 75});
    rig.reader.lastTrack = static_cast<std::int32_t>(entries.size()) - 1;

    rig.conversion.ConvertirPiste(n, TrackTags{u"Intro"_s, {}, {}});

    QCOMPARE(rig.view.messageTexts(), QStringList{u"Erreur lors de la lecture de Intro"_s});
    QVERIFY(rig.reader.reads.empty());
    QCOMPARE(rig.reader.openWaveCount, 0);
    QVERIFY(rig.files().isEmpty());
}

void TestConversion::nonAscendingEntries_data()
{
    QTest::addColumn<std::int32_t>("entry1");
    QTest::addColumn<std::int32_t>("entry2");
    // Item 2 runs from entry 1 to entry 2; entry 0 is at 1 000.
    QTest::newRow("end before start") << 2000 << 1500;
    QTest::newRow("start before entry 0") << 500 << 3000;
}

void TestConversion::nonAscendingEntries()
{
    QFETCH(std::int32_t, entry1);
    QFETCH(std::int32_t, entry2);

    Rig rig(freshFolder(), {});
    const auto toc = [](std::int32_t a) { return TocTime{a / 4500, (a / 75) % 60, a % 75}; };
    rig.reader.toc = {toc(1000), toc(entry1), toc(entry2)};
    rig.reader.lastTrack = 2;
    rig.form.settings.LlTypeEncodage = 2;
    writeFile(rig.path(u"Bis.wav"_s), "earlier");

    rig.conversion.ConvertirPiste(2, TrackTags{u"Bis"_s, {}, {}});

    QCOMPARE(rig.view.messageTexts(), QStringList{u"Erreur lors de la lecture de Bis"_s});
    QVERIFY(rig.reader.reads.empty());
    QCOMPARE(rig.reader.openWaveCount, 0);
    QCOMPARE(readAll(rig.path(u"Bis.wav"_s)), QByteArray("earlier"));
    QCOMPARE(rig.files(), QStringList{u"Bis.wav"_s});
}

// --- The batch, scripted reader ------------------------------------------------------------

void TestConversion::emptyList()
{
    Rig rig(freshFolder(), {});
    rig.form.LbStop = true;

    rig.batch.ConvertirPistes();

    QCOMPARE(rig.view.events, QStringList{u"count"_s});
    QVERIFY(rig.reader.calls.isEmpty());
    QVERIFY(!rig.form.LbStop.load());
}

void TestConversion::nothingTicked()
{
    Rig rig(freshFolder(), {40, 40});
    rig.tracks.addItem(u"Piste 1"_s, false);
    rig.tracks.addItem(u"Piste 2"_s, false);

    rig.batch.ConvertirPistes();

    QCOMPARE(rig.view.events,
             (QStringList{u"count"_s, u"checked 1"_s, u"checked 2"_s, u"refresh"_s,
                          u"message Rip du CD terminé"_s, u"value 0"_s}));
    QCOMPARE(rig.view.messages.first().icon, MessageIcon::Information);
    QCOMPARE(rig.view.messages.first().title, u"Sonalbury CD-MP3"_s);
    QVERIFY(rig.reader.calls.isEmpty());
    QVERIFY(rig.files().isEmpty());
}

void TestConversion::statusSequence()
{
    Rig rig(freshFolder(), {40, 40, 40}, {u"Intro"_s});
    rig.tracks.addItem(u"Milieu"_s, false);
    rig.tracks.addItem(u"Fin"_s, true);

    rig.batch.ConvertirPistes();

    QCOMPARE(rig.view.statuses,
             (QStringList{u"Etat : Extraction de Intro"_s, u"Etat : En attente"_s,
                          u"Etat : Extraction de Fin"_s, u"Etat : En attente"_s}));
    QCOMPARE(rig.files(), (QStringList{u"Fin.wav"_s, u"Intro.wav"_s}));
    QCOMPARE(rig.view.events.mid(rig.view.events.size() - 3),
             (QStringList{u"refresh"_s, u"message Rip du CD terminé"_s, u"value 0"_s}));
}

void TestConversion::staleCancelIsForgotten()
{
    // A cancel pressed while nothing ran does not spoil the next batch.
    Rig rig(freshFolder(), {40, 40}, {u"Un"_s, u"Deux"_s});
    rig.form.LbStop = true;

    rig.batch.ConvertirPistes();

    QCOMPARE(rig.files(), (QStringList{u"Deux.wav"_s, u"Un.wav"_s}));
    QCOMPARE(QFileInfo(rig.path(u"Deux.wav"_s)).size(), qint64(40) * SectorBytes);
}

void TestConversion::cancelDuringExtraction()
{
    Rig rig(freshFolder(), {100, 100, 100});
    for (const QString &title : {u"Un"_s, u"Deux"_s, u"Trois"_s})
        rig.tracks.addItem(title, true);
    rig.view.raiseAtYield(rig.form.LbStop, 1);

    rig.batch.ConvertirPistes();

    // Track 1 stops after its third chunk; the others read one chunk each and stop.
    QCOMPARE(rig.reader.reads.size(), std::size_t(5));
    QCOMPARE(rig.reader.reads[3].first, 100);
    QCOMPARE(rig.reader.reads[4].first, 200);
    QVERIFY(rig.files().isEmpty());
    QCOMPARE(rig.view.messageTexts(), QStringList{u"Rip du CD terminé"_s});
    QCOMPARE(rig.view.statuses.size(), 6);
    // The flag is the convert button's to clear.
    QVERIFY(rig.form.LbStop.load());
}

void TestConversion::cancelDuringTheLastYieldFinishesTheTrack()
{
    Rig rig(freshFolder(), {50, 50}, {u"Un"_s, u"Deux"_s});
    rig.view.raiseAtYield(rig.form.LbStop, 1); // the yield after track 1's last chunk

    rig.batch.ConvertirPistes();

    QCOMPARE(rig.files(), QStringList{u"Un.wav"_s});
    QCOMPARE(QFileInfo(rig.path(u"Un.wav"_s)).size(), qint64(50) * SectorBytes);
    QCOMPARE(rig.reader.reads.size(), std::size_t(3));
}

void TestConversion::itemsAreReadWhenReached()
{
    Rig rig(freshFolder(), {40, 40, 40}, {u"Un"_s});
    rig.tracks.addItem(u"Deux"_s, false);
    rig.tracks.addItem(u"Trois"_s, true);
    rig.view.onYield = [&rig](int index) {
        if (index == 0) {
            rig.tracks.list.setText(2, u"Renommée"_s);
            rig.tracks.list.setChecked(2, true);
            rig.tracks.list.setChecked(3, false);
        }
    };

    rig.batch.ConvertirPistes();

    QCOMPARE(rig.files(), (QStringList{u"Renommée.wav"_s, u"Un.wav"_s}));
}

// The first of two tracks of one name fails: its name is taken only when it left a file
// that the second would overwrite.
void TestConversion::nameOfATrackThatLeftNothingStaysFree_data()
{
    QTest::addColumn<QString>("failure");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QStringList>("files");
    // The cancel stops the rest of the batch: the second track is cancelled too, silently.
    QTest::newRow("cancelled") << u"cancel"_s << QStringList{u"Rip du CD terminé"_s} << QStringList{};
    QTest::newRow("unreadable, partial file kept")
        << u"read"_s
        << QStringList{u"Erreur lors de l'ecriture du fichier <wav>"_s, u"Une piste du même nom a déjà été convertie : Même"_s,
                       u"Rip du CD terminé"_s}
        << QStringList{u"Même.wav"_s};
}

void TestConversion::nameOfATrackThatLeftNothingStaysFree()
{
    QFETCH(QString, failure);
    QFETCH(QStringList, messages);
    QFETCH(QStringList, files);
    Rig rig(freshFolder(), {40, 60}, {u"Même"_s, u"Même"_s});
    if (failure == u"cancel"_s)
        rig.view.raiseAtYield(rig.form.LbStop, 0);
    else
        rig.reader.failReadAt = 1;

    rig.batch.ConvertirPistes();

    QCOMPARE(rig.view.messageTexts(), messages.replaceInStrings(u"<wav>"_s, QDir::toNativeSeparators(rig.path(u"Même.wav"_s))));
    QCOMPARE(rig.files(), files);
}

void TestConversion::duplicateNamesInOneBatch()
{
    // Names that differ only in case are one file on a USB key or on Windows.
    Rig rig(freshFolder(), {40, 60, 70, 80, 90}, {u"Même"_s, u"Même"_s, u"a/b"_s, u"a:b"_s, u"MÊME"_s});
    // A file from an earlier run, which the user lets this batch replace.
    rig.form.existingFiles = ExistingFiles::Replace;
    writeFile(rig.path(u"Même.wav"_s), "earlier run");

    rig.batch.ConvertirPistes();

    QCOMPARE(rig.view.messageTexts(),
             (QStringList{u"Une piste du même nom a déjà été convertie : Même"_s,
                          u"Une piste du même nom a déjà été convertie : a:b"_s,
                          u"Une piste du même nom a déjà été convertie : MÊME"_s,
                          u"Rip du CD terminé"_s}));
    QCOMPARE(rig.view.messages.first().icon, MessageIcon::Exclamation);
    QCOMPARE(rig.files(), (QStringList{u"Même.wav"_s, u"a_b.wav"_s}));
    QCOMPARE(QFileInfo(rig.path(u"Même.wav"_s)).size(), qint64(40) * SectorBytes);
    QCOMPARE(QFileInfo(rig.path(u"a_b.wav"_s)).size(), qint64(70) * SectorBytes);
    // Skipped tracks are not read at all.
    QCOMPARE(rig.reader.reads.size(), std::size_t(2 + 3));
}

void TestConversion::failedReadGoesOnWithTheNextTrack()
{
    Rig rig(freshFolder(), {100, 40}, {u"Un"_s, u"Deux"_s});
    rig.reader.failReadAt = 2;

    rig.batch.ConvertirPistes();

    QCOMPARE(rig.view.messageTexts(),
             (QStringList{u"Erreur lors de l'ecriture du fichier "_s + QDir::toNativeSeparators(rig.path(u"Un.wav"_s)),
                          u"Rip du CD terminé"_s}));
    // The partial file stays; the next track is whole.
    QCOMPARE(QFileInfo(rig.path(u"Un.wav"_s)).size(), qint64(50) * SectorBytes);
    QCOMPARE(QFileInfo(rig.path(u"Deux.wav"_s)).size(), qint64(40) * SectorBytes);
    const qsizetype failure = rig.view.events.indexOf(
        u"message Erreur lors de l'ecriture du fichier "_s + QDir::toNativeSeparators(rig.path(u"Un.wav"_s)));
    QCOMPARE(rig.view.events.mid(failure + 1, 2),
             (QStringList{u"value 0"_s, u"status Etat : En attente"_s}));
}

void TestConversion::tocOverflowIsReportedAndTheBatchGoesOn()
{
    Rig rig(freshFolder(), {40, 40}, {u"Un"_s, u"Deux"_s});
    const std::vector<TocTime> good = rig.reader.toc;
    rig.reader.toc[1].minutes = std::numeric_limits<std::int32_t>::max() / 2;
    // The next reading of the table is a sound one.
    rig.view.onMessage = [&rig, good](const RecordingView::Message &) { rig.reader.toc = good; };

    rig.batch.ConvertirPistes();

    QCOMPARE(rig.view.messages.size(), 2);
    QCOMPARE(rig.view.messages.first().text,
             u"Erreur lors de la conversion de Un\n"_s + CoreTexts::tocOverflow());
    QCOMPARE(rig.view.messages.first().icon, MessageIcon::Exclamation);
    QCOMPARE(rig.view.messages.first().title, u"Sonalbury CD-MP3"_s);
    QCOMPARE(rig.files(), QStringList{u"Deux.wav"_s});
}

void TestConversion::closingDuringExtraction()
{
    Rig rig(freshFolder(), {100, 100}, {u"Un"_s, u"Deux"_s});
    rig.form.settings.LlTypeEncodage = 0;
    writeFile(rig.path(u"Deux.mp3"_s), "earlier run");
    rig.view.raiseAtYield(rig.form.closing, 1);

    rig.batch.ConvertirPistes();

    QCOMPARE(rig.files(), QStringList{u"Deux.mp3"_s});
    QCOMPARE(readAll(rig.path(u"Deux.mp3"_s)), QByteArray("earlier run"));
    // Closing during the second yield is seen after the third chunk; track 2 is not read.
    QCOMPARE(rig.reader.reads.size(), std::size_t(3));
    QVERIFY(rig.view.messages.isEmpty());
    QCOMPARE(rig.view.refreshes, 0);
    QCOMPARE(rig.view.statuses, QStringList{u"Etat : Extraction de Un"_s});
}

void TestConversion::resetAfterBatch()
{
    FormFields form;
    form.LbStop = true;
    form.settings.LlTypeEncodage = 2;
    form.settings.LlBitrate = 128;
    form.settings.LbHauteQualite = false;
    form.settings.LlMode = 3;
    ::resetAfterBatch(form);
    QVERIFY(!form.LbStop.load());
    QCOMPARE(form.settings.LlTypeEncodage, 0);
    QCOMPARE(form.settings.LlBitrate, 320);
    QVERIFY(form.settings.LbHauteQualite);
    QCOMPARE(form.settings.LlMode, 3);
}

// --- Real disc image and encoder -----------------------------------------------------------

void TestConversion::encodingTypes_data()
{
    QTest::addColumn<std::int32_t>("type");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<bool>("encoded");

    QTest::newRow("0: MP3 only") << 0 << QStringList{u"Live_ A_B_.mp3"_s} << true;
    QTest::newRow("1: WAV only") << 1 << QStringList{u"Live_ A_B_.wav"_s} << false;
    QTest::newRow("2: both") << 2 << QStringList{u"Live_ A_B_.mp3"_s, u"Live_ A_B_.wav"_s}
                             << true;
}

void TestConversion::encodingTypes()
{
    QFETCH(std::int32_t, type);
    QFETCH(QStringList, files);
    QFETCH(bool, encoded);

    auto rig = imageRig();
    rig->form.settings.LlTypeEncodage = type;
    const QString title = u"Live: A/B?"_s;
    rig->tracks.addItem(title, false);
    rig->tracks.addItem(title, true);

    rig->batch.ConvertirPistes();

    QCOMPARE(rig->view.messageTexts(), QStringList{u"Rip du CD terminé"_s});
    QCOMPARE(rig->files(), files);
    QCOMPARE(rig->view.statuses.contains(u"Etat : Encodage de "_s + title), encoded);
    if (type != 0) {
        QVERIFY(wavSamples(rig->path(u"Live_ A_B_.wav"_s)) == trackAudio(2));
    }
    if (encoded) {
        const QString mp3 = rig->path(u"Live_ A_B_.mp3"_s);
        verifyMp3OfTrack(mp3, 2);
        const Mp3Check::Tags tags = tagsOf(mp3);
        QCOMPARE(tags.title, title);
        QCOMPARE(tags.artist, QString());
        QCOMPARE(tags.album, u"titre"_s);
        QCOMPARE(tags.comment, u"Encodé par Sonalbury CD-MP3"_s);
    }
}

// The mode and the quality box of the settings, as the MP3 file itself says them: its
// frame headers give the channel mode, its Info frame the encoder's quality indicator.
void TestConversion::windowSettingsReachTheEncoder_data()
{
    QTest::addColumn<std::int32_t>("mode");
    QTest::addColumn<bool>("highQuality");
    QTest::addColumn<int>("indicator");
    // The indicator is 100 - 10 × the VBR level (4 when unused) - the quality level, and the
    // quality level is 2 for high quality, 7 otherwise.
    QTest::newRow("stereo, high quality") << std::int32_t{0} << true << 58;
    QTest::newRow("joint stereo, normal quality") << std::int32_t{1} << false << 53;
    QTest::newRow("mono, high quality") << std::int32_t{3} << true << 58;
}

void TestConversion::windowSettingsReachTheEncoder()
{
    QFETCH(std::int32_t, mode);
    QFETCH(bool, highQuality);
    QFETCH(int, indicator);
    auto rig = imageRig();
    rig->form.settings.LlMode = mode;
    rig->form.settings.LbHauteQualite = highQuality;
    rig->tracks.addItem(u"Un"_s, true);

    rig->batch.ConvertirPistes();

    const QString mp3 = rig->path(u"Un.mp3"_s);
    const Mp3Check::Audio audio = Mp3Check::decodeMp3(mp3);
    QVERIFY2(audio.ok(), qPrintable(audio.error));
    QCOMPARE(audio.channelMode, mode);
    QCOMPARE(Mp3Check::lameQualityIndicator(mp3), indicator);
}

void TestConversion::eventsOfOneTrack()
{
    auto rig = imageRig();
    rig->tracks.addItem(u"Intro"_s, true);

    rig->batch.ConvertirPistes();

    // Without the progress values and yields, which the other tests count.
    QStringList events;
    for (const QString &event : std::as_const(rig->view.events)) {
        if (!event.startsWith(u"value "_s) && event != u"yield"_s)
            events << event;
    }
    QCOMPARE(events, (QStringList{u"count"_s, u"checked 1"_s, u"tags 1"_s,
                                  u"status Etat : Extraction de Intro"_s,
                                  u"max %1"_s.arg(trackSectors(1)),
                                  u"status Etat : Encodage de Intro"_s, u"max 100"_s,
                                  u"status Etat : En attente"_s, u"refresh"_s,
                                  u"message Rip du CD terminé"_s}));
    const QStringList &all = rig->view.events;
    QCOMPARE(all.at(all.indexOf(u"max 100"_s) + 1), u"value 0"_s);
    QCOMPARE(all.at(all.indexOf(u"status Etat : En attente"_s) - 1), u"value 0"_s);
    QCOMPARE(all.last(), u"value 0"_s);
    // The encoder moved the bar up to 100 %, and yielded with it.
    QVERIFY(encodingValues(all).contains(100));
    QVERIFY(rig->view.yields > (trackSectors(1) + 24) / 25);
    QCOMPARE(rig->files(), QStringList{u"Intro.mp3"_s});
}

void TestConversion::tagsAreReadAtEachEncoding()
{
    auto rig = imageRig();
    rig->form.settings.LlTypeEncodage = 0;
    rig->tracks.addItem(u"Un"_s, true);
    rig->tracks.addItem(u"Deux"_s, true);
    rig->tracks.list.setArtist(u"Ténor"_s);
    const int firstTrackYields = (trackSectors(1) + 24) / 25;
    rig->view.onYield = [&rig, firstTrackYields](int index) {
        if (index == firstTrackYields + 1)
            rig->tracks.list.setAlbum(u"Второй"_s);
    };

    rig->batch.ConvertirPistes();

    QCOMPARE(tagsOf(rig->path(u"Un.mp3"_s)).album, u"titre"_s);
    QCOMPARE(tagsOf(rig->path(u"Deux.mp3"_s)).album, u"Второй"_s);
    QCOMPARE(tagsOf(rig->path(u"Deux.mp3"_s)).artist, u"Ténor"_s);
    verifyMp3OfTrack(rig->path(u"Un.mp3"_s), 1);
}

void TestConversion::earlierFilesAreReplaced()
{
    auto rig = imageRig();
    rig->form.existingFiles = ExistingFiles::Replace;
    rig->form.settings.LlTypeEncodage = 2;
    rig->tracks.addItem(u"Un"_s, true);
    writeFile(rig->path(u"Un.mp3"_s), "earlier run");
    writeFile(rig->path(u"Un.wav"_s), "earlier run");
    // A link in the folder is replaced, never written through.
    const QString outside = freshFolder() + u"/outside.mp3"_s;
    writeFile(outside, "not ours");
    rig->tracks.addItem(u"Deux"_s, true);
    QVERIFY(QFile::link(outside, rig->path(u"Deux.mp3"_s)));

    rig->batch.ConvertirPistes();

    QCOMPARE(rig->view.messageTexts(), QStringList{u"Rip du CD terminé"_s});
    verifyMp3OfTrack(rig->path(u"Un.mp3"_s), 1);
    QVERIFY(wavSamples(rig->path(u"Un.wav"_s)) == trackAudio(1));
    QVERIFY(!QFileInfo(rig->path(u"Deux.mp3"_s)).isSymLink());
    verifyMp3OfTrack(rig->path(u"Deux.mp3"_s), 2);
    QCOMPARE(readAll(outside), QByteArray("not ours"));
}

void TestConversion::existingFilesOfTheFolder_data()
{
    QTest::addColumn<int>("policy"); // ExistingFiles
    QTest::addColumn<bool>("replace");
    QTest::addColumn<bool>("forTheRest");
    QTest::addColumn<QStringList>("existing"); // each holds "à moi" before the batch
    QTest::addColumn<QStringList>("kept");     // still "à moi" after it
    QTest::addColumn<int>("questions");
    QTest::addColumn<QStringList>("files");
    const int ask = int(ExistingFiles::Ask);
    const int keep = int(ExistingFiles::Keep);
    const int replace = int(ExistingFiles::Replace);
    QTest::newRow("terminal keeps an MP3") << keep << false << false << QStringList{u"Un.mp3"_s}
                                           << QStringList{u"Un.mp3"_s} << 0
                                           << QStringList{u"Deux.mp3"_s, u"Un.mp3"_s};
    QTest::newRow("terminal keeps a WAV it did not write") << keep << false << false << QStringList{u"Un.wav"_s}
                                                           << QStringList{u"Un.wav"_s} << 0
                                                           << QStringList{u"Deux.mp3"_s, u"Un.wav"_s};
    QTest::newRow("--remplacer") << replace << false << false << QStringList{u"Un.mp3"_s, u"Un.wav"_s}
                                 << QStringList{} << 0 << QStringList{u"Deux.mp3"_s, u"Un.mp3"_s};
    QTest::newRow("window: keep") << ask << false << false << QStringList{u"Un.mp3"_s, u"Deux.mp3"_s}
                                  << QStringList{u"Un.mp3"_s, u"Deux.mp3"_s} << 2
                                  << QStringList{u"Deux.mp3"_s, u"Un.mp3"_s};
    QTest::newRow("window: replace") << ask << true << false << QStringList{u"Un.mp3"_s} << QStringList{} << 1
                                     << QStringList{u"Deux.mp3"_s, u"Un.mp3"_s};
    QTest::newRow("window: keep, the same for the rest")
        << ask << false << true << QStringList{u"Un.mp3"_s, u"Deux.wav"_s} << QStringList{u"Un.mp3"_s, u"Deux.wav"_s}
        << 1 << QStringList{u"Deux.wav"_s, u"Un.mp3"_s};
    QTest::newRow("window: replace, the same for the rest")
        << ask << true << true << QStringList{u"Un.mp3"_s, u"Deux.mp3"_s} << QStringList{} << 1
        << QStringList{u"Deux.mp3"_s, u"Un.mp3"_s};
}

// A file the batch did not write (the user's own, another disc's track of the same title)
// is never replaced or deleted without the user's say.
void TestConversion::existingFilesOfTheFolder()
{
    QFETCH(int, policy);
    QFETCH(bool, replace);
    QFETCH(bool, forTheRest);
    QFETCH(QStringList, existing);
    QFETCH(QStringList, kept);
    QFETCH(int, questions);
    QFETCH(QStringList, files);
    auto rig = imageRig();
    rig->form.existingFiles = ExistingFiles(policy);
    rig->view.replaceAnswer = {replace, forTheRest};
    rig->tracks.addItem(u"Un"_s, true);
    rig->tracks.addItem(u"Deux"_s, true);
    for (const QString &name : existing)
        writeFile(rig->path(name), "à moi");

    rig->batch.ConvertirPistes();

    QCOMPARE(rig->files(), files);
    for (const QString &name : kept)
        QCOMPARE(readAll(rig->path(name)), QByteArray("à moi"));
    QCOMPARE(rig->view.questions.size(), questions);
    if (questions > 0)
        QCOMPARE(rig->view.questions[0], u"Le dossier musiques contient déjà « Un.mp3 ».\n\nLe remplacer par la piste « Un » ?"_s);
    // The terminal says what it kept and how to replace it; the window's user knows.
    const QStringList messages = rig->view.messageTexts();
    if (ExistingFiles(policy) == ExistingFiles::Keep)
        QVERIFY2(messages.first().contains(u"(option --remplacer"_s), qPrintable(messages.first()));
    else
        QCOMPARE(messages, QStringList{u"Rip du CD terminé"_s});
    for (const QString &name : files)
        if (!kept.contains(name))
            verifyMp3OfTrack(rig->path(name), name.startsWith(u"Un"_s) ? 1 : 2);
}

void TestConversion::encodingFailureKeepsTheWav()
{
    auto rig = imageRig();
    rig->form.settings.LlTypeEncodage = 0;
    rig->form.settings.LlBitrate = 100; // not a layer III rate: the encoder refuses it
    rig->form.existingFiles = ExistingFiles::Replace;
    rig->tracks.addItem(u"Un"_s, true);
    rig->tracks.addItem(u"Deux"_s, true);
    writeFile(rig->path(u"Un.mp3"_s), "earlier run");

    rig->batch.ConvertirPistes();

    // Both tracks fail on their own; the batch runs to its end.
    QCOMPARE(rig->view.messages.size(), 3);
    const QString prefix = u"Erreur lors de l'encodage de Un\n"_s;
    QVERIFY2(rig->view.messages[0].text.startsWith(prefix), qPrintable(rig->view.messages[0].text));
    QVERIFY(rig->view.messages[0].text.size() > prefix.size());
    QVERIFY(rig->view.messages[0].text.contains(u"100"_s));
    QCOMPARE(rig->view.messages[0].icon, MessageIcon::Exclamation);
    QVERIFY(rig->view.messages[1].text.startsWith(u"Erreur lors de l'encodage de Deux\n"_s));
    QCOMPARE(rig->view.messages[2].text, u"Rip du CD terminé"_s);
    // The WAV files hold the audio; the earlier MP3 is kept as it was.
    QCOMPARE(rig->files(), (QStringList{u"Deux.wav"_s, u"Un.mp3"_s, u"Un.wav"_s}));
    QCOMPARE(readAll(rig->path(u"Un.mp3"_s)), QByteArray("earlier run"));
    QVERIFY(wavSamples(rig->path(u"Un.wav"_s)) == trackAudio(1));
    QCOMPARE(rig->view.values.last(), 0);
}

void TestConversion::mp3ThatCannotBeReplacedIsReported()
{
    auto rig = imageRig();
    rig->form.existingFiles = ExistingFiles::Replace;
    rig->tracks.addItem(u"Un"_s, true);
    rig->tracks.addItem(u"Deux"_s, true);
    QVERIFY(QDir().mkpath(rig->path(u"Un.mp3/inside"_s)));

    rig->batch.ConvertirPistes();

    QCOMPARE(rig->view.messages.size(), 2);
    const QString prefix = u"Erreur lors de la conversion de Un\nImpossible de supprimer le fichier "_s
                           + QDir::toNativeSeparators(rig->path(u"Un.mp3"_s)) + u"\n"_s;
    QVERIFY2(rig->view.messages[0].text.startsWith(prefix), qPrintable(rig->view.messages[0].text));
    QVERIFY(rig->view.messages[0].text.size() > prefix.size());
    QCOMPARE(rig->view.messages[0].icon, MessageIcon::Exclamation);
    // The audio of track 1 is kept; track 2 is converted as usual.
    QCOMPARE(rig->files(), (QStringList{u"Deux.mp3"_s, u"Un.mp3"_s, u"Un.wav"_s}));
    QVERIFY(wavSamples(rig->path(u"Un.wav"_s)) == trackAudio(1));
    verifyMp3OfTrack(rig->path(u"Deux.mp3"_s), 2);
}

void TestConversion::cancelDuringEncodingLetsItFinish()
{
    auto rig = imageRig();
    rig->tracks.addItem(u"Un"_s, true);
    rig->tracks.addItem(u"Deux"_s, true);
    rig->view.raiseAtYield(rig->form.LbStop, (trackSectors(1) + 24) / 25 + 3);

    rig->batch.ConvertirPistes();

    QCOMPARE(rig->files(), QStringList{u"Un.mp3"_s});
    verifyMp3OfTrack(rig->path(u"Un.mp3"_s), 1);
    QCOMPARE(rig->view.messageTexts(), QStringList{u"Rip du CD terminé"_s});
}

void TestConversion::closingDuringEncoding_data()
{
    QTest::addColumn<std::int32_t>("type");
    QTest::newRow("MP3 only") << 0;
    QTest::newRow("WAV and MP3") << 2;
}

void TestConversion::closingDuringEncoding()
{
    QFETCH(std::int32_t, type);
    auto rig = imageRig();
    rig->form.settings.LlTypeEncodage = type;
    rig->form.existingFiles = ExistingFiles::Replace; // the user said to replace them
    rig->tracks.addItem(u"Un"_s, true);
    rig->tracks.addItem(u"Deux"_s, true);
    writeFile(rig->path(u"Deux.mp3"_s), "earlier run");
    writeFile(rig->path(u"Un.mp3"_s), "earlier run of Un");
    rig->view.raiseAtYield(rig->form.closing, (trackSectors(1) + 24) / 25 + 3);

    rig->batch.ConvertirPistes();

    // Nothing unfinished of track 1 (its complete WAV stays when it was wanted), its earlier
    // MP3 kept; track 2 untouched; not a word more.
    if (type == 0)
        QCOMPARE(rig->files(), (QStringList{u"Deux.mp3"_s, u"Un.mp3"_s}));
    else
        QCOMPARE(rig->files(), (QStringList{u"Deux.mp3"_s, u"Un.mp3"_s, u"Un.wav"_s}));
    QCOMPARE(readAll(rig->path(u"Deux.mp3"_s)), QByteArray("earlier run"));
    QCOMPARE(readAll(rig->path(u"Un.mp3"_s)), QByteArray("earlier run of Un"));
    QVERIFY(rig->view.messages.isEmpty());
    QCOMPARE(rig->view.refreshes, 0);
    QCOMPARE(rig->view.statuses.size(), 2);
    // The encoder stopped soon after the close, not at the end of the track.
    QVERIFY(!encodingValues(rig->view.events).contains(100));
}

void TestConversion::truncatedImage()
{
    // The .bin shrank after the disc was opened: track 2 cannot be read to its end.
    const QString folder = freshFolder();
    const QString cue = discimage::write(folder + u"/short"_s, m_discLayout);
    LibcdioReader reader({cue});
    reader.ScanDrives();
    Rig rig(reader, freshFolder());
    rig.form.LlHandleCD = reader.OpenDrive(reader.GetDriveAddress(reader.GetDriveCount() - 1));
    QVERIFY(rig.form.LlHandleCD != 0);
    // 100 sectors of track 2 remain, a whole number of chunks.
    QVERIFY(QFile::resize(folder + u"/short.bin"_s,
                          qint64(discimage::trackStart(m_discLayout, 2) + 100) * SectorBytes));
    rig.tracks.addItem(u"Un"_s, true);
    rig.tracks.addItem(u"Deux"_s, true);

    rig.batch.ConvertirPistes();

    QCOMPARE(rig.view.messageTexts(),
             (QStringList{u"Erreur lors de l'ecriture du fichier "_s + QDir::toNativeSeparators(rig.path(u"Deux.wav"_s)),
                          u"Rip du CD terminé"_s}));
    QCOMPARE(rig.files(), (QStringList{u"Deux.wav"_s, u"Un.mp3"_s}));
    verifyMp3OfTrack(rig.path(u"Un.mp3"_s), 1);
    // Error-correcting reads look ahead, so the failure may come a chunk or two early;
    // what was kept is the start of the track, exactly.
    std::vector<std::int16_t> partial = wavSamples(rig.path(u"Deux.wav"_s));
    QVERIFY(!partial.empty());
    QVERIFY(qsizetype(partial.size()) <= qsizetype(100) * SamplesPerSector * 2);
    QCOMPARE(qsizetype(partial.size()) % (25 * SamplesPerSector * 2), 0);
    std::vector<std::int16_t> start = trackAudio(2);
    start.resize(partial.size());
    QVERIFY(partial == start);
}

void TestConversion::dataTrackIsNoAudioTrack()
{
    // A mixed-mode CD: its first track holds data. Converting it says so and leaves nothing;
    // the audio tracks after it convert as usual.
    discimage::DiscLayout mixed;
    mixed.audio = discimage::Audio::Tones;
    mixed.tracks = {discimage::Track{150, 0, true}, discimage::Track{150, 150, false}};
    const QString cue = discimage::write(freshFolder() + u"/mixed"_s, mixed);
    LibcdioReader reader({cue});
    reader.ScanDrives();
    Rig rig(reader, freshFolder());
    rig.form.LlHandleCD = reader.OpenDrive(reader.GetDriveAddress(reader.GetDriveCount() - 1));
    QVERIFY(rig.form.LlHandleCD != 0);
    rig.tracks.addItem(u"Données"_s, true);
    rig.tracks.addItem(u"Musique"_s, true);

    rig.batch.ConvertirPistes();

    QCOMPARE(rig.view.messageTexts(),
             (QStringList{u"Données n'est pas une piste audio (elle contient des données) : elle ne donne aucun fichier."_s,
                          u"Rip du CD terminé"_s}));
    QCOMPARE(rig.files(), QStringList{u"Musique.mp3"_s});
}

void TestConversion::unwritableFolder_data()
{
    QTest::addColumn<bool>("readOnly"); // else a file stands where the folder should be
    QTest::newRow("a file in place of the folder") << false;
    QTest::newRow("read-only folder") << true;
}

void TestConversion::unwritableFolder()
{
    QFETCH(bool, readOnly);
    if (readOnly && !TestPlatform::folderPermissionsBind())
        QSKIP("folder permissions do not bind this user (the superuser, or anyone on Windows)");

    auto rig = imageRig();
    const QString folder = freshFolder() + u"/musiques"_s;
    if (readOnly) {
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    } else {
        writeFile(folder, "not a folder");
    }
    rig->form.lsDossier = folder + QLatin1Char('/');
    rig->tracks.addItem(u"Un"_s, true);
    rig->tracks.addItem(u"Deux"_s, true);

    rig->batch.ConvertirPistes();

    QCOMPARE(rig->view.messageTexts(),
             (QStringList{u"Erreur lors de l'ecriture du fichier "_s + QDir::toNativeSeparators(folder + u"/Un.wav"_s),
                          u"Erreur lors de l'ecriture du fichier "_s + QDir::toNativeSeparators(folder + u"/Deux.wav"_s),
                          u"Rip du CD terminé"_s}));
    if (readOnly) {
        QVERIFY(entries(folder).isEmpty());
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                          | QFileDevice::ExeOwner);
    }
}

void TestConversion::diskFullWhileWritingTheWav()
{
#ifndef Q_OS_UNIX
    QSKIP("Windows has no file-size limit (RLIMIT_FSIZE) to stand for a full disk");
#else
    auto rig = imageRig();
    rig->tracks.addItem(u"Un"_s, true);
    rig->tracks.addItem(u"Deux"_s, true);
    {
        FileSizeLimit limit(64 * 1024);
        rig->batch.ConvertirPistes();
    }
    QCOMPARE(rig->view.messageTexts(),
             (QStringList{u"Erreur lors de l'ecriture du fichier "_s + QDir::toNativeSeparators(rig->path(u"Un.wav"_s)),
                          u"Erreur lors de l'ecriture du fichier "_s + QDir::toNativeSeparators(rig->path(u"Deux.wav"_s)),
                          u"Rip du CD terminé"_s}));
    QCOMPARE(rig->files(), (QStringList{u"Deux.wav"_s, u"Un.wav"_s}));
#endif
}

void TestConversion::diskFullWhileWritingTheMp3()
{
#ifndef Q_OS_UNIX
    QSKIP("Windows has no file-size limit (RLIMIT_FSIZE) to stand for a full disk");
#else
    auto rig = imageRig();
    rig->tracks.addItem(u"Un"_s, true);
    std::optional<FileSizeLimit> limit;
    // The disk fills up once the WAV file is complete and the encoder writes.
    rig->view.onYield = [&limit, chunks = (trackSectors(1) + 24) / 25](int index) {
        if (index == chunks)
            limit.emplace(16 * 1024);
    };
    rig->batch.ConvertirPistes();
    limit.reset();

    QCOMPARE(rig->view.messages.size(), 2);
    QVERIFY2(rig->view.messages[0].text.startsWith(u"Erreur lors de l'encodage de Un\n"_s),
             qPrintable(rig->view.messages[0].text));
    QCOMPARE(rig->files(), QStringList{u"Un.wav"_s});
    QVERIFY(wavSamples(rig->path(u"Un.wav"_s)) == trackAudio(1));
#endif
}

SONALBURY_TEST_MAIN_CORE(TestConversion)

#include "tst_conversion.moc"
