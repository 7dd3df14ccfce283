#include "CdTexts.h"
#include "DiscImage.h"
#include "LibcdioReader.h"
#include "PreparedImage.h"
#include "TestEnvironment.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <csignal>
#include <cstdio>
#include <memory>
#include <thread>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using discimage::DiscLayout;
using discimage::Track;

Q_DECLARE_METATYPE(discimage::DiscLayout)

namespace {

Track audio(std::int32_t frames, std::int32_t pregap = 0)
{
    return Track{frames, pregap, false};
}

Track data(std::int32_t frames)
{
    return Track{frames, 0, true};
}

DiscLayout disc(std::vector<Track> tracks, std::int32_t dataGap = 0)
{
    DiscLayout discLayout;
    discLayout.tracks = std::move(tracks);
    discLayout.dataGap = dataGap;
    return discLayout;
}

std::int32_t address(const TocTime &time)
{
    return (time.minutes * 60 + time.seconds) * 75 + time.frames;
}

QString msf(const TocTime &time)
{
    return QString::asprintf("%02d:%02d:%02d", time.minutes, time.seconds, time.frames);
}

// The audio of a WAV file, after checking by hand that the header describes exactly what
// follows it: RIFF size, CD format, data size.
QByteArray wavAudio(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return "<missing>";
    const QByteArray bytes = file.readAll();
    const auto u32 = [&](qsizetype at) { return qFromLittleEndian<quint32>(bytes.constData() + at); };
    const auto u16 = [&](qsizetype at) { return qFromLittleEndian<quint16>(bytes.constData() + at); };
    if (bytes.size() < 12 || !bytes.startsWith("RIFF") || bytes.mid(8, 4) != "WAVE"
        || u32(4) != quint32(bytes.size() - 8))
        return "<bad RIFF header>";
    bool formatSeen = false;
    for (qsizetype at = 12; at + 8 <= bytes.size();) {
        const QByteArray id = bytes.mid(at, 4);
        const qsizetype size = u32(at + 4);
        if (id == "fmt ") {
            if (u16(at + 8) != 1 || u16(at + 10) != 2 || u32(at + 12) != 44100
                || u32(at + 16) != 176400 || u16(at + 20) != 4 || u16(at + 22) != 16)
                return "<not 16-bit stereo 44.1 kHz PCM>";
            formatSeen = true;
        } else if (id == "data") {
            if (!formatSeen || at + 8 + size != bytes.size())
                return "<bad data chunk>";
            return bytes.mid(at + 8, size);
        }
        at += 8 + size + (size & 1);
    }
    return "<no data chunk>";
}

void writeText(const QString &path, const QByteArray &text)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text) != text.size())
        qFatal("cannot write a test file");
}

// The private folders the reader hands libcdio stand-in sheets in.
QStringList standInFolders()
{
    return QDir(QDir::tempPath()).entryList({QStringLiteral("sonalbury-image-*")}, QDir::Dirs | QDir::Hidden);
}

} // namespace

class TestLibcdioReader : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    int m_images = 0;

    QString image(const DiscLayout &discLayout, const QString &name = {})
    {
        const QString base = m_dir.filePath(name.isEmpty() ? QStringLiteral("disc%1").arg(++m_images) : name);
        return discimage::write(base, discLayout);
    }

    // A reader over the given images, and the handle of the first one opened.
    static std::unique_ptr<LibcdioReader> openFirst(const QStringList &images, std::int32_t &handle)
    {
        auto reader = std::make_unique<LibcdioReader>(images);
        reader->ScanDrives();
        // Images come after the machine's own drives.
        const std::int32_t first = reader->GetDriveCount() - std::int32_t(images.size());
        handle = reader->OpenDrive(reader->GetDriveAddress(first));
        return reader;
    }

    // Reads track n of the disc into path, in chunks of at most 25 sectors.
    static bool readTrack(LibcdioReader &reader, std::int32_t handle, int track, const QString &path)
    {
        const std::int32_t entry0 = address(reader.GetTocEntry(0));
        const std::int32_t begin = address(reader.GetTocEntry(track - 1)) - entry0;
        const std::int32_t end = address(reader.GetTocEntry(track)) - entry0;
        reader.OpenWaveFile(path);
        bool ok = true;
        for (std::int32_t s = begin; ok && s < end; s += 25)
            ok = reader.ReadSectors(handle, s, std::min(25, end - s)) == 1;
        return reader.CloseWaveFile() && ok;
    }

private slots:
    void initTestCase();
    void tocEntriesGiveTheLayoutWritten_data();
    void tocEntriesGiveTheLayoutWritten();
    void tracksReadBackExactly_data();
    void tracksReadBackExactly();
    void readsMayJumpAround_data();
    void readsMayJumpAround();
    void readsOutsideTheAudioFail_data();
    void readsOutsideTheAudioFail();
    void zeroSectorsSucceedWithNothingWritten();
    void openDriveRefusesWhatIsNoAudioDisc_data();
    void openDriveRefusesWhatIsNoAudioDisc();
    void handlesAreIndependent();
    void imageIsNeverEjectedNorWatched();
    void imageCutShortAfterOpeningFailsTheRead_data();
    void imageCutShortAfterOpeningFailsTheRead();
    void eachHandleReadsItsOwnDisc();
    void waveFileThatCannotBeCreatedFailsEveryRead();
    void waveFileNameMayHoldAnyCharacter();
    void fullDiskFailsTheRead();
    void imagesAreListedAfterTheDrives();
    void windowsDrivesAreNamedByTheirLetterAndAnEmptyOneIsRefused();
    void libcdioComplaintsStayOffTheTerminal();
    void workerThreadReadsWithParanoia();
    void imagesAsOtherProgramsWriteThem_data();
    void imagesAsOtherProgramsWriteThem();
    void imagesLibcdioCannotReadAreRefusedWithTheirReason_data();
    void imagesLibcdioCannotReadAreRefusedWithTheirReason();
    void sheetsNumberedFromTwoOrSixtyFiveStillOpen_data();
    void sheetsNumberedFromTwoOrSixtyFiveStillOpen();
    void tableOutsideTheDiscIsNeverRead_data();
    void tableOutsideTheDiscIsNeverRead();
    void stopIsSeenWithinAParanoiaChunk();
    void waveFileNeverFollowsWhatIsPlantedAtItsName_data();
    void waveFileNeverFollowsWhatIsPlantedAtItsName();
};

void TestLibcdioReader::initTestCase()
{
    QVERIFY(m_dir.isValid());
    // Stand-in sheets go to a temporary folder of this test's own, where each one left
    // behind is seen whatever other tests run beside it.
    QVERIFY(QDir().mkpath(m_dir.filePath(QStringLiteral("tmp"))));
    qputenv("TMPDIR", QFile::encodeName(m_dir.filePath(QStringLiteral("tmp"))));
    // The broken images below make libcdio complain; that is expected, keep the output clean.
    QLoggingCategory::setFilterRules(QStringLiteral("sonalbury.cd.libcdio=false"));
}

void TestLibcdioReader::tocEntriesGiveTheLayoutWritten_data()
{
    QTest::addColumn<DiscLayout>("discLayout");
    QTest::addColumn<int>("firstTrack");
    QTest::addColumn<int>("lastTrack");
    QTest::addColumn<QStringList>("entries");

    QTest::newRow("three tracks") << disc({audio(300), audio(200), audio(250)}) << 1 << 3
                                  << QStringList{"00:02:00", "00:06:00", "00:08:50", "00:12:00"};
    QTest::newRow("pregaps count in the track before") << disc({audio(300), audio(200, 150), audio(250, 75)})
                                                       << 1 << 3
                                                       << QStringList{"00:02:00", "00:08:00", "00:11:50", "00:15:00"};
    QTest::newRow("pregap before track 1") << disc({audio(300, 100), audio(200)}) << 1 << 2
                                           << QStringList{"00:03:25", "00:07:25", "00:10:00"};
    QTest::newRow("minutes") << disc({audio(5000), audio(100)}) << 1 << 2
                             << QStringList{"00:02:00", "01:08:50", "01:10:00"};
    QTest::newRow("enhanced CD: audio session only") << disc({audio(300), audio(200), data(400)}, 11400) << 1 << 2
                                                     << QStringList{"00:02:00", "00:06:00", "00:08:50"};
    QTest::newRow("data track after audio, no session gap") << disc({audio(300), data(100)}) << 1 << 1
                                                            << QStringList{"00:02:00", "00:06:00"};
    QTest::newRow("data track first is listed") << disc({data(300), audio(200, 150), audio(250)}) << 1 << 3
                                                << QStringList{"00:02:00", "00:08:00", "00:10:50", "00:14:00"};
}

void TestLibcdioReader::tocEntriesGiveTheLayoutWritten()
{
    QFETCH(DiscLayout, discLayout);
    QFETCH(int, firstTrack);
    QFETCH(int, lastTrack);
    QFETCH(QStringList, entries);

    std::int32_t handle = 0;
    const auto reader = openFirst({image(discLayout)}, handle);
    QVERIFY(handle != 0);
    QCOMPARE(reader->ReadToc(handle), 1);
    QCOMPARE(reader->GetFirstTrack(), firstTrack);
    QCOMPARE(reader->GetLastTrack(), lastTrack);
    QStringList actual;
    for (int entry = 0; entry <= lastTrack; ++entry)
        actual << msf(reader->GetTocEntry(entry));
    QCOMPARE(actual, entries);
    QCOMPARE(msf(reader->GetTocEntry(lastTrack + 1)), QStringLiteral("00:00:00"));
}

void TestLibcdioReader::tracksReadBackExactly_data()
{
    QTest::addColumn<DiscLayout>("discLayout");
    QTest::addColumn<bool>("secure");

    const DiscLayout pregaps = disc({audio(163), audio(75, 40), audio(112, 150)});
    const DiscLayout enhanced = disc({audio(130), audio(90, 30), data(60)}, 11400);
    const DiscLayout dataFirst = disc({data(120), audio(100, 150), audio(80)});
    QTest::newRow("raw reads, pregaps") << pregaps << false;
    QTest::newRow("paranoia, pregaps") << pregaps << true;
    QTest::newRow("raw reads, enhanced CD") << enhanced << false;
    QTest::newRow("paranoia, enhanced CD") << enhanced << true;
    QTest::newRow("paranoia, data track first") << dataFirst << true;
}

void TestLibcdioReader::tracksReadBackExactly()
{
    QFETCH(DiscLayout, discLayout);
    QFETCH(bool, secure);

    std::int32_t handle = 0;
    const auto reader = openFirst({image(discLayout)}, handle);
    QVERIFY(handle != 0);
    if (secure)
        QVERIFY(reader->SetDriveParam(handle, CdReader::ParamSecureRead, -1));
    QCOMPARE(reader->ReadToc(handle), 1);
    for (int track = 1; track <= reader->GetLastTrack(); ++track) {
        if (discLayout.tracks[std::size_t(track - 1)].data)
            continue;
        const QString path = m_dir.filePath(QStringLiteral("track%1.wav").arg(track));
        QVERIFY2(readTrack(*reader, handle, track, path), qPrintable(QStringLiteral("track %1").arg(track)));
        const std::int32_t start = address(reader->GetTocEntry(track - 1));
        const std::int32_t length = address(reader->GetTocEntry(track)) - start;
        QVERIFY2(wavAudio(path) == discimage::rangeBytes(discLayout, start - 150, length),
                 qPrintable(QStringLiteral("track %1").arg(track)));
    }
}

void TestLibcdioReader::readsMayJumpAround_data()
{
    QTest::addColumn<bool>("secure");
    QTest::newRow("raw reads") << false;
    QTest::newRow("paranoia") << true;
}

void TestLibcdioReader::readsMayJumpAround()
{
    QFETCH(bool, secure);
    const DiscLayout discLayout = disc({audio(200)});
    std::int32_t handle = 0;
    const auto reader = openFirst({image(discLayout)}, handle);
    QVERIFY(handle != 0);
    QCOMPARE(reader->SetDriveParam(handle, CdReader::ParamSecureRead, secure ? -1 : 0), true);

    const QString path = m_dir.filePath(QStringLiteral("jumps.wav"));
    reader->OpenWaveFile(path);
    const std::vector<std::pair<int, int>> reads{{50, 25}, {0, 25}, {25, 25}, {190, 10}, {75, 3}};
    QByteArray expected;
    for (const auto &[first, count] : reads) {
        QCOMPARE(reader->ReadSectors(handle, first, count), 1);
        expected += discimage::rangeBytes(discLayout, first, count);
    }
    QVERIFY(reader->CloseWaveFile());
    QVERIFY(wavAudio(path) == expected);
}

void TestLibcdioReader::readsOutsideTheAudioFail_data()
{
    QTest::addColumn<DiscLayout>("discLayout");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("count");

    const DiscLayout three = disc({audio(300), audio(200), audio(250)});
    const DiscLayout enhanced = disc({audio(300), audio(200), data(400)}, 11400);
    const DiscLayout dataFirst = disc({data(300), audio(200, 150), audio(250)});
    QTest::newRow("past the end") << three << 750 << 1;
    QTest::newRow("across the end") << three << 740 << 25;
    QTest::newRow("negative sector") << three << -1 << 1;
    QTest::newRow("more than 25 sectors") << three << 0 << 26;
    QTest::newRow("negative count") << three << 0 << -1;
    QTest::newRow("enhanced CD: session gap") << enhanced << 500 << 1;
    QTest::newRow("enhanced CD: data track") << enhanced << 500 + 11400 << 1;
    QTest::newRow("data track first: its sectors") << dataFirst << 0 << 25;
    QTest::newRow("data track first: into the audio") << dataFirst << 440 << 20;
}

void TestLibcdioReader::readsOutsideTheAudioFail()
{
    QFETCH(DiscLayout, discLayout);
    QFETCH(int, first);
    QFETCH(int, count);

    std::int32_t handle = 0;
    const auto reader = openFirst({image(discLayout)}, handle);
    QVERIFY(handle != 0);
    for (const bool secure : {false, true}) {
        QVERIFY(reader->SetDriveParam(handle, CdReader::ParamSecureRead, secure ? -1 : 0));
        const QString path = m_dir.filePath(QStringLiteral("outside.wav"));
        reader->OpenWaveFile(path);
        QCOMPARE(reader->ReadSectors(handle, first, count), 0);
        // The failure leaves nothing in the file, and the file stays usable.
        const std::int32_t good = discLayout.tracks.front().data ? 450 : 0;
        QCOMPARE(reader->ReadSectors(handle, good, 2), 1);
        QVERIFY(reader->CloseWaveFile());
        QVERIFY(wavAudio(path) == discimage::rangeBytes(discLayout, good, 2));
    }
}

void TestLibcdioReader::zeroSectorsSucceedWithNothingWritten()
{
    std::int32_t handle = 0;
    const auto reader = openFirst({image(disc({audio(100)}))}, handle);
    const QString path = m_dir.filePath(QStringLiteral("empty.wav"));
    reader->OpenWaveFile(path);
    QCOMPARE(reader->ReadSectors(handle, 0, 0), 1);
    QVERIFY(reader->CloseWaveFile());
    QCOMPARE(wavAudio(path), QByteArray());
}

void TestLibcdioReader::openDriveRefusesWhatIsNoAudioDisc_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("cue"); // written as the file, unless null

    QTest::newRow("missing file") << "missing.cue" << QByteArray();
    QTest::newRow("not a cue sheet") << "text.cue" << QByteArray("Dear diary,\nnothing to see.\n");
    QTest::newRow("not an image at all") << "notes.txt" << QByteArray("just text\n");
    QTest::newRow("cue sheet without its bin")
        << "lonely.cue" << QByteArray("FILE \"lonely.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n");
    QTest::newRow("data disc") << "datadisc" << QByteArray("<data>");
}

void TestLibcdioReader::openDriveRefusesWhatIsNoAudioDisc()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, cue);

    QString path = m_dir.filePath(name);
    if (cue == "<data>") {
        path = image(disc({data(200)}), name);
    } else if (!cue.isNull()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(cue);
    }
    std::int32_t handle = -1;
    const auto reader = openFirst({path}, handle);
    QCOMPARE(handle, 0);
    QCOMPARE(reader->OpenDrive(DriveAddress{reader->GetDriveCount(), 0, 0}), 0);
    QCOMPARE(reader->OpenDrive(DriveAddress{-1, 0, 0}), 0);
}

void TestLibcdioReader::handlesAreIndependent()
{
    const DiscLayout discLayout = disc({audio(100), audio(100)});
    const QString cue = image(discLayout);
    std::int32_t first = 0;
    const auto reader = openFirst({cue}, first);
    const std::int32_t second = reader->OpenDrive(reader->GetDriveAddress(reader->GetDriveCount() - 1));
    QCOMPARE(first, 1);
    QCOMPARE(second, 2);

    QVERIFY(reader->CloseDrive(first));
    QVERIFY(!reader->CloseDrive(first));
    QVERIFY(!reader->CloseDrive(42));
    QCOMPARE(reader->ReadToc(first), 0);
    QVERIFY(!reader->SetDriveParam(first, CdReader::ParamSecureRead, -1));
    QVERIFY(!reader->SetDriveParam(second, 35, -1));
    QVERIFY(!reader->SetDriveParam(second, CdReader::ParamSecureRead, 5));
    QVERIFY(reader->SetDriveParam(second, CdReader::ParamSecureRead, -1));

    const QString path = m_dir.filePath(QStringLiteral("handles.wav"));
    reader->OpenWaveFile(path);
    QCOMPARE(reader->ReadSectors(first, 0, 5), 0);
    QCOMPARE(reader->ReadSectors(second, 0, 5), 1);
    QVERIFY(reader->CloseWaveFile());
    QVERIFY(wavAudio(path) == discimage::rangeBytes(discLayout, 0, 5));
    // A third open gets a handle of its own, never one that was given before.
    QCOMPARE(reader->OpenDrive(reader->GetDriveAddress(reader->GetDriveCount() - 1)), 3);
}

// libcdio's image drivers free their data on an eject and the next cdio_destroy frees it
// again: an image is never ejected, and its disc, which cannot change, is not asked about.
void TestLibcdioReader::imageIsNeverEjectedNorWatched()
{
    const DiscLayout discLayout = disc({audio(100)});
    std::int32_t handle = 0;
    auto reader = openFirst({image(discLayout)}, handle);
    const std::int32_t drive = reader->GetDriveCount() - 1;
    QVERIFY(reader->isImage(drive));
    QVERIFY(!reader->ejectMedia(drive));
    QVERIFY(reader->mediaChanged(drive) < 0);

    // The disc still reads, and the reader goes away in one piece.
    QVERIFY(readTrack(*reader, handle, 1, m_dir.filePath(QStringLiteral("after-eject.wav"))));
    QVERIFY(reader->CloseDrive(handle));
    reader.reset();
}

void TestLibcdioReader::imageCutShortAfterOpeningFailsTheRead_data()
{
    QTest::addColumn<bool>("paranoia");
    QTest::newRow("raw") << false;
    QTest::newRow("paranoia") << true;
}

void TestLibcdioReader::imageCutShortAfterOpeningFailsTheRead()
{
    // The data file shrinks under an open disc: a chunk that crosses its new end must fail,
    // not come back padded with whatever the buffer held.
    QFETCH(bool, paranoia);
    const DiscLayout discLayout = disc({audio(100), audio(100)});
    const QString cue = image(discLayout);
    std::int32_t handle = 0;
    const auto reader = openFirst({cue}, handle);
    QVERIFY(handle != 0);
    QVERIFY(reader->SetDriveParam(handle, CdReader::ParamSecureRead, paranoia ? -1 : 0));
    QString bin = cue;
    bin.replace(QStringLiteral(".cue"), QStringLiteral(".bin"));
    QVERIFY(QFile::resize(bin, qint64(110) * discimage::BytesPerSector));

    const QString path = m_dir.filePath(QStringLiteral("cut.wav"));
    reader->OpenWaveFile(path);
    QCOMPARE(reader->ReadSectors(handle, 75, 25), 1);
    QCOMPARE(reader->ReadSectors(handle, 100, 25), 0);
    reader->CloseWaveFile();
    QVERIFY(wavAudio(path).startsWith(discimage::rangeBytes(discLayout, 75, 25)));
}

void TestLibcdioReader::eachHandleReadsItsOwnDisc()
{
    const DiscLayout longDisc = disc({audio(400)});
    const DiscLayout shortDisc = disc({data(100), audio(50)});
    const QStringList images{image(longDisc), image(shortDisc)};
    std::int32_t longHandle = 0;
    const auto reader = openFirst(images, longHandle);
    const std::int32_t shortHandle = reader->OpenDrive(reader->GetDriveAddress(reader->GetDriveCount() - 1));
    QVERIFY(longHandle != 0 && shortHandle != 0);

    QCOMPARE(reader->ReadToc(longHandle), 1);
    QCOMPARE(reader->ReadToc(shortHandle), 1);
    QCOMPARE(reader->GetLastTrack(), 2); // the table read last answers

    const QString path = m_dir.filePath(QStringLiteral("own.wav"));
    reader->OpenWaveFile(path);
    QCOMPARE(reader->ReadSectors(longHandle, 300, 25), 1);
    QCOMPARE(reader->ReadSectors(shortHandle, 0, 1), 0);
    QVERIFY(reader->CloseWaveFile());
    QVERIFY(wavAudio(path) == discimage::rangeBytes(longDisc, 300, 25));
}

void TestLibcdioReader::waveFileThatCannotBeCreatedFailsEveryRead()
{
    std::int32_t handle = 0;
    const auto reader = openFirst({image(disc({audio(100)}))}, handle);
    QCOMPARE(reader->ReadSectors(handle, 0, 1), 0); // no file opened yet
    QVERIFY(!reader->CloseWaveFile());

    const QString path = m_dir.filePath(QStringLiteral("no such folder/track.wav"));
    reader->OpenWaveFile(path);
    QCOMPARE(reader->ReadSectors(handle, 0, 1), 0);
    QCOMPARE(reader->ReadSectors(handle, 1, 1), 0);
    QVERIFY(!reader->CloseWaveFile());
    QVERIFY(!QFile::exists(path));

    // The next file starts afresh.
    const QString good = m_dir.filePath(QStringLiteral("after.wav"));
    reader->OpenWaveFile(good);
    QCOMPARE(reader->ReadSectors(handle, 0, 1), 1);
    QVERIFY(reader->CloseWaveFile());
    QCOMPARE(reader->ReadSectors(handle, 1, 1), 0); // closed: nothing to append to
}

void TestLibcdioReader::waveFileNameMayHoldAnyCharacter()
{
    const DiscLayout discLayout = disc({audio(100)});
    std::int32_t handle = 0;
    const auto reader = openFirst({image(discLayout, QStringLiteral("Été à Noël"))}, handle);
    QVERIFY(handle != 0);
    const QString path = m_dir.filePath(QStringLiteral("Piste « é » 日本語 🎵.wav"));
    reader->OpenWaveFile(path);
    QCOMPARE(reader->ReadSectors(handle, 10, 25), 1);
    QVERIFY(reader->CloseWaveFile());
    QVERIFY(wavAudio(path) == discimage::rangeBytes(discLayout, 10, 25));
}

void TestLibcdioReader::fullDiskFailsTheRead()
{
#ifndef Q_OS_UNIX
    QSKIP("needs a POSIX file-size limit");
#else
    // A file-size limit makes write() fail part-way, as a full disk does.
    const DiscLayout discLayout = disc({audio(100)});
    std::int32_t handle = 0;
    const auto reader = openFirst({image(discLayout)}, handle);
    const QString path = m_dir.filePath(QStringLiteral("full.wav"));
    reader->OpenWaveFile(path);
    QCOMPARE(reader->ReadSectors(handle, 0, 2), 1);

    rlimit saved{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved;
    limited.rlim_cur = rlim_t(QFileInfo(path).size() + SectorBytes + 1000);
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);
    const std::int32_t crossing = reader->ReadSectors(handle, 2, 2);
    const std::int32_t after = reader->ReadSectors(handle, 4, 1);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    QCOMPARE(crossing, 0);
    QCOMPARE(after, 0); // the file misses audio: nothing may be appended after the hole
    QVERIFY(!reader->CloseWaveFile());
#endif
}

void TestLibcdioReader::imagesAreListedAfterTheDrives()
{
    const QString first = image(disc({audio(100)}), QStringLiteral("Premier"));
    const QString second = image(disc({audio(100)}), QStringLiteral("Deuxième été"));
    LibcdioReader reader({first, second});
    const std::int32_t count = reader.ScanDrives();
    QCOMPARE(reader.GetDriveCount(), count);
    QVERIFY(count >= 2);
    const std::int32_t index = count - 2;
    QCOMPARE(reader.GetDriveInfo(index).text1, QStringLiteral("Image"));
    QCOMPARE(reader.GetDriveInfo(index).text2, QStringLiteral("Premier.cue"));
    QCOMPARE(reader.GetDriveInfo(index + 1).text1, QStringLiteral("Image"));
    QCOMPARE(reader.GetDriveInfo(index + 1).text2, QStringLiteral("Deuxième été.cue"));
    const DriveAddress where = reader.GetDriveAddress(index + 1);
    QCOMPARE(where.a, index + 1);
    QCOMPARE(where.b, 0);
    QCOMPARE(where.c, 0);
    QCOMPARE(reader.GetDriveInfo(count).text1, QString());
}

void TestLibcdioReader::windowsDrivesAreNamedByTheirLetterAndAnEmptyOneIsRefused()
{
#ifndef Q_OS_WIN
    QSKIP("Windows drive letters");
#else
    // Through libcdio's Windows driver. scripts/test-windows gives Wine an empty CD drive.
    const QString emptyDrive = qEnvironmentVariable("SONALBURY_EMPTY_CD_DRIVE");
    LibcdioReader reader({});
    if (reader.ScanDrives() == 0 && emptyDrive.isEmpty())
        QSKIP("no CD drive on this machine");
    for (std::int32_t i = 0; i < reader.GetDriveCount(); ++i) {
        const DriveInfo info = reader.GetDriveInfo(i);
        QVERIFY2(!info.text2.startsWith(QLatin1String("\\\\.\\")), qPrintable(info.text2));
        if (info.text1 == QLatin1String("Lecteur"))
            QVERIFY2(QRegularExpression(QStringLiteral("^[A-Z]:$")).match(info.text2).hasMatch(),
                     qPrintable(info.text2));
    }
    if (emptyDrive.isEmpty())
        return;
    std::int32_t index = 0;
    while (index < reader.GetDriveCount() && reader.GetDriveInfo(index).text2 != emptyDrive)
        ++index;
    QVERIFY2(index < reader.GetDriveCount(), qPrintable(emptyDrive));
    QCOMPARE(reader.OpenDrive(reader.GetDriveAddress(index)), 0);
    QCOMPARE(reader.lastOpenFailure(), CdTexts::noAudioTrack());
#endif
}

void TestLibcdioReader::libcdioComplaintsStayOffTheTerminal()
{
#ifndef Q_OS_UNIX
    QSKIP("redirects the POSIX standard streams");
#else
    // A data disc whose track numbers skip one: libcdio warns about it, and the disc has
    // no audio to open.
    QFile broken(m_dir.filePath(QStringLiteral("broken.cue")));
    QVERIFY(broken.open(QIODevice::WriteOnly));
    broken.write("FILE \"broken.bin\" BINARY\n  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n"
                 "  TRACK 03 MODE1/2352\n    INDEX 01 00:01:00\n");
    broken.close();
    writeText(m_dir.filePath(QStringLiteral("broken.bin")), QByteArray(300 * SectorBytes, '\0'));

    QLoggingCategory::setFilterRules(QStringLiteral("sonalbury.cd.libcdio=true"));
    static QStringList messages;
    messages.clear();
    const auto previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &text) {
        messages << text;
    });
    // libcdio's own handler prints warnings on stdout and errors on stderr: watch both.
    const QString capture = m_dir.filePath(QStringLiteral("terminal.txt"));
    std::fflush(stdout);
    std::fflush(stderr);
    const int savedOut = dup(STDOUT_FILENO);
    const int savedErr = dup(STDERR_FILENO);
    const int file = open(QFile::encodeName(capture).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(file, STDOUT_FILENO);
    dup2(file, STDERR_FILENO);
    close(file);

    std::int32_t handle = -1;
    openFirst({broken.fileName(), m_dir.filePath(QStringLiteral("absent.cue"))}, handle);

    std::fflush(stdout);
    std::fflush(stderr);
    dup2(savedOut, STDOUT_FILENO);
    dup2(savedErr, STDERR_FILENO);
    close(savedOut);
    close(savedErr);
    qInstallMessageHandler(previous);
    QLoggingCategory::setFilterRules(QStringLiteral("sonalbury.cd.libcdio=false"));

    QCOMPARE(handle, 0);
    QCOMPARE(QFileInfo(capture).size(), 0);
    QVERIFY(!messages.isEmpty()); // they went to the program's own log instead
#endif
}

void TestLibcdioReader::workerThreadReadsWithParanoia()
{
    const DiscLayout discLayout = disc({audio(150), audio(120, 30)});
    std::int32_t handle = 0;
    const auto reader = openFirst({image(discLayout)}, handle);
    QVERIFY(reader->SetDriveParam(handle, CdReader::ParamSecureRead, -1));
    QCOMPARE(reader->ReadToc(handle), 1);
    const QString path = m_dir.filePath(QStringLiteral("worker.wav"));
    bool ok = false;
    std::thread worker([&] { ok = readTrack(*reader, handle, 2, path); });
    worker.join();
    QVERIFY(ok);
    QVERIFY(wavAudio(path) == discimage::rangeBytes(discLayout, 180, 120));
}

void TestLibcdioReader::imagesAsOtherProgramsWriteThem_data()
{
    QTest::addColumn<QString>("binName");
    QTest::addColumn<bool>("mark");
    QTest::addColumn<bool>("crlf");
    QTest::addColumn<bool>("strayBin"); // a "<cue name>.bin" of other audio beside the sheet
    QTest::addColumn<bool>("toc");

    QTest::newRow("BIN named otherwise") << "Album (Track 1).bin" << false << false << false << false;
    QTest::newRow("BIN named otherwise, stray <cue name>.bin") << "Album (Track 1).bin" << false << false << true << false;
    QTest::newRow("UTF-8 mark") << "" << true << false << false << false;
    QTest::newRow("UTF-8 mark, CRLF, BIN named otherwise") << "Été.bin" << true << true << false << false;
    QTest::newRow("CRLF") << "" << false << true << false << false;
    QTest::newRow(".toc opened from another folder") << "" << false << false << false << true;
}

void TestLibcdioReader::imagesAsOtherProgramsWriteThem()
{
    QFETCH(QString, binName);
    QFETCH(bool, mark);
    QFETCH(bool, crlf);
    QFETCH(bool, strayBin);
    QFETCH(bool, toc);

    // The .toc writer knows no pregaps: the same table without one.
    const DiscLayout discLayout = toc ? disc({audio(150), audio(80)}) : disc({audio(120), audio(80, 30)});
    const QString folder = m_dir.filePath(QStringLiteral("styles%1").arg(++m_images));
    QVERIFY(QDir().mkpath(folder));
    const QString base = folder + QStringLiteral("/Album");
    const QString sheet = toc ? discimage::writeToc(base, discLayout)
                              : discimage::write(base, discLayout, discimage::SheetStyle{binName, mark, crlf});
    if (strayBin)
        writeText(base + QStringLiteral(".bin"), QByteArray(400 * SectorBytes, '\x55'));
    const QString previous = QDir::currentPath();
    if (toc)
        QVERIFY(QDir::setCurrent(m_dir.path())); // libcdio would look for the BIN here
    {
        std::int32_t handle = 0;
        const auto reader = openFirst({sheet}, handle);
        QDir::setCurrent(previous);
        QVERIFY2(handle != 0, qPrintable(reader->lastOpenFailure()));
        QCOMPARE(reader->lastOpenFailure(), QString());
        // Only what libcdio would misread goes through a stand-in.
        QCOMPARE(standInFolders().size(), !binName.isEmpty() || mark || toc ? 1 : 0);
        QCOMPARE(reader->ReadToc(handle), 1);
        QCOMPARE(reader->GetLastTrack(), 2);
        QCOMPARE(msf(reader->GetTocEntry(1)), QStringLiteral("00:04:00"));
        QCOMPARE(msf(reader->GetTocEntry(2)), QStringLiteral("00:05:05"));
        const QString path = m_dir.filePath(QStringLiteral("styled.wav"));
        QVERIFY(readTrack(*reader, handle, 2, path));
        QVERIFY(wavAudio(path) == discimage::rangeBytes(discLayout, 150, 80));
        QVERIFY(reader->CloseDrive(handle));
    }
    // The stand-in sheet and its links go with the disc.
    QCOMPARE(standInFolders(), QStringList());
}

void TestLibcdioReader::imagesLibcdioCannotReadAreRefusedWithTheirReason_data()
{
    QTest::addColumn<QString>("sheetName");
    QTest::addColumn<QByteArray>("sheet");
    QTest::addColumn<QString>("dataName"); // written beside the sheet unless empty
    QTest::addColumn<qint64>("dataBytes"); // -1: a FIFO
    QTest::addColumn<QString>("reason");

    const QByteArray tracks = "  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n";
    const qint64 small = 300 * SectorBytes;
    QTest::newRow("named file missing, <cue name>.bin present")
        << "Lost.cue" << "FILE \"Lost (Track 1).bin\" BINARY\n" + tracks << "Lost.bin" << small
        << "La feuille CUE nomme un fichier introuvable : « Lost (Track 1).bin »."
;
    QTest::newRow("one file per track")
        << "Split.cue"
        << "FILE \"Split 1.bin\" BINARY\n" + tracks + "FILE \"Split 2.bin\" BINARY\n  TRACK 02 AUDIO\n    INDEX 01 00:00:00\n"
        << "Split 1.bin" << small
        << "La feuille CUE nomme plusieurs fichiers (un par piste) : seules les images en un seul fichier BIN peuvent être lues.";
    QTest::newRow("WAVE file") << "Wave.cue" << "FILE \"Wave.wav\" WAVE\n" + tracks << "Wave.wav" << small
                               << "La feuille CUE nomme un fichier WAVE (« Wave.wav ») : seules les images BIN peuvent être lues.";
    QTest::newRow("MP3 file, <cue name>.bin present") << "Song.cue" << "FILE \"Song.bin\" MP3\n" + tracks << "Song.bin" << small
                                << "La feuille CUE nomme un fichier MP3 (« Song.bin ») : seules les images BIN peuvent être lues.";
    QTest::newRow("first track past what libcdio survives")
        << "High.cue" << QByteArray("FILE \"High.bin\" BINARY\n  TRACK 66 AUDIO\n    INDEX 01 00:00:00\n") << "High.bin" << small
        << "La feuille CUE commence à la piste 66 : une image dont la première piste porte un numéro au-delà de 65 ne peut pas être lue.";
    QTest::newRow("track number no CD has")
        << "Zero.cue" << QByteArray("FILE \"Zero.bin\" BINARY\n  TRACK 00 AUDIO\n    INDEX 01 00:00:00\n") << "Zero.bin" << small
        << "La feuille CUE porte un numéro de piste invalide : « 00 ».";
    QTest::newRow("no FILE line") << "Empty.cue" << tracks << "Empty.bin" << small
                                  << "La feuille CUE ne nomme aucun fichier de données.";
    QTest::newRow("more than 100 minutes") << "Long.cue" << "FILE \"Long.bin\" BINARY\n" + tracks << "Long.bin"
                                           << qint64(PreparedImage::MaxDataBytes + SectorBytes)
                                           << "L'image « Long.bin » dépasse ce qu'un CD peut contenir (100 minutes) : elle ne peut pas être lue.";
    QTest::newRow("over 2 GiB") << "Huge.cue" << "FILE \"Huge.bin\" BINARY\n" + tracks << "Huge.bin"
                                << qint64(2) * 1024 * 1024 * 1024 + SectorBytes
                                << "L'image « Huge.bin » dépasse ce qu'un CD peut contenir (100 minutes) : elle ne peut pas être lue.";
#ifdef Q_OS_UNIX // Windows file systems have no FIFOs
    QTest::newRow("FIFO as data") << "Pipe.cue" << "FILE \"Pipe.bin\" BINARY\n" + tracks << "Pipe.bin" << qint64(-1)
                                  << "La feuille CUE nomme « Pipe.bin », qui n'est pas un fichier.";
#endif
    QTest::newRow(".toc naming a missing file") << "Gone.toc" << QByteArray("CD_DA\nTRACK AUDIO\nFILE \"Gone.bin\" 0 00:04:00\n")
                                                << "" << qint64(0)
                                                << "Le fichier TOC nomme un fichier introuvable : « Gone.bin ».";
    QTest::newRow("missing image") << "Absent.cue" << QByteArray() << "" << qint64(0) << "<absent>";
}

void TestLibcdioReader::imagesLibcdioCannotReadAreRefusedWithTheirReason()
{
    QFETCH(QString, sheetName);
    QFETCH(QByteArray, sheet);
    QFETCH(QString, dataName);
    QFETCH(qint64, dataBytes);
    QFETCH(QString, reason);

    const QString folder = m_dir.filePath(QStringLiteral("refused%1").arg(++m_images));
    QVERIFY(QDir().mkpath(folder));
    const QString sheetPath = folder + u'/' + sheetName;
    if (!sheet.isNull())
        writeText(sheetPath, sheet);
    if (reason == QStringLiteral("<absent>"))
        reason = QStringLiteral("Le fichier image est introuvable : « %1 ».").arg(QDir::toNativeSeparators(sheetPath));
    if (!dataName.isEmpty()) {
        const QString data = folder + u'/' + dataName;
#ifdef Q_OS_UNIX
        if (dataBytes < 0) {
            QCOMPARE(mkfifo(QFile::encodeName(data).constData(), 0600), 0);
        } else
#endif
        {
            QFile file(data);
            QVERIFY(file.open(QIODevice::WriteOnly));
            QVERIFY(file.resize(std::max<qint64>(dataBytes, 0))); // sparse: no real gigabytes
        }
    }

    std::int32_t handle = -1;
    const auto reader = openFirst({sheetPath}, handle);
    QCOMPARE(handle, 0);
    QCOMPARE(reader->lastOpenFailure(), reason);

    // A disc that opens clears the reason.
    const QString good = image(disc({audio(100)}));
    LibcdioReader both({sheetPath, good});
    both.ScanDrives();
    QCOMPARE(both.OpenDrive(both.GetDriveAddress(both.GetDriveCount() - 2)), 0);
    QVERIFY(!both.lastOpenFailure().isEmpty());
    QVERIFY(both.OpenDrive(both.GetDriveAddress(both.GetDriveCount() - 1)) != 0);
    QCOMPARE(both.lastOpenFailure(), QString());
}

void TestLibcdioReader::sheetsNumberedFromTwoOrSixtyFiveStillOpen_data()
{
    QTest::addColumn<int>("first");
    QTest::newRow("2") << 2;
    QTest::newRow("65") << 65;
}

void TestLibcdioReader::sheetsNumberedFromTwoOrSixtyFiveStillOpen()
{
    QFETCH(int, first);
    const QString base = m_dir.filePath(QStringLiteral("numbered%1").arg(++m_images));
    discimage::write(base, disc({audio(100), audio(100)}));
    writeText(base + QStringLiteral(".cue"),
              QStringLiteral("FILE \"%1.bin\" BINARY\n  TRACK %2 AUDIO\n    INDEX 01 00:00:00\n"
                             "  TRACK %3 AUDIO\n    INDEX 01 00:01:25\n")
                  .arg(QFileInfo(base).fileName()).arg(first, 2, 10, QLatin1Char('0')).arg(first + 1)
                  .toUtf8());
    std::int32_t handle = 0;
    const auto reader = openFirst({base + QStringLiteral(".cue")}, handle);
    QVERIFY2(handle != 0, qPrintable(reader->lastOpenFailure()));
    QCOMPARE(reader->ReadToc(handle), 1);
    QCOMPARE(reader->GetFirstTrack(), first);
    QCOMPARE(reader->GetLastTrack(), first + 1);
}

void TestLibcdioReader::tableOutsideTheDiscIsNeverRead_data()
{
    QTest::addColumn<QByteArray>("tracks");
    QTest::addColumn<bool>("secure");
    // libcdio reports -150 for a track without a valid INDEX 01, and a start far past the
    // BIN for minutes beyond a CD; paranoia loops for ever on such a table.
    const QByteArray second = "  TRACK 02 AUDIO\n    INDEX 01 00:02:00\n";
    for (const bool secure : {false, true}) {
        const char *mode = secure ? "paranoia" : "raw";
        QTest::addRow("no valid INDEX 01, %s", mode) << "  TRACK 01 AUDIO\n    INDEX 0/ 00:00:00\n" + second << secure;
        QTest::addRow("minutes beyond a CD, %s", mode) << "  TRACK 01 AUDIO\n    INDEX 01 120:00:00\n" + second << secure;
        QTest::addRow("last track without INDEX, %s", mode)
            << "  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n" + second + "  TRACK 03 AUDIO\n" << secure;
    }
}

void TestLibcdioReader::tableOutsideTheDiscIsNeverRead()
{
    QFETCH(QByteArray, tracks);
    QFETCH(bool, secure);
    const QString base = m_dir.filePath(QStringLiteral("outside%1").arg(++m_images));
    discimage::write(base, disc({audio(300)}));
    writeText(base + QStringLiteral(".cue"), "FILE \"" + QFileInfo(base).fileName().toUtf8() + ".bin\" BINARY\n" + tracks);
    std::int32_t handle = 0;
    const auto reader = openFirst({base + QStringLiteral(".cue")}, handle);
    QVERIFY(handle != 0);
    // Paranoia may refuse such a table outright; either way nothing may be read.
    reader->SetDriveParam(handle, CdReader::ParamSecureRead, secure ? -1 : 0);
    // The table is there for the caller to check and report...
    QCOMPARE(reader->ReadToc(handle), 1);
    const QString path = m_dir.filePath(QStringLiteral("outside.wav"));
    reader->OpenWaveFile(path);
    // ...but no sector of such a disc is read: every read fails at once instead of
    // retrying for ever.
    for (std::int32_t s = 0; s < 150; s += 25)
        QCOMPARE(reader->ReadSectors(handle, s, 25), 0);
    reader->CloseWaveFile();
}

void TestLibcdioReader::stopIsSeenWithinAParanoiaChunk()
{
    const DiscLayout discLayout = disc({audio(200)});
    std::int32_t handle = 0;
    const auto reader = openFirst({image(discLayout)}, handle);
    QVERIFY(reader->SetDriveParam(handle, CdReader::ParamSecureRead, -1));
    int asked = 0;
    bool stop = false;
    reader->setStopCheck([&] {
        ++asked;
        return stop;
    });
    const QString path = m_dir.filePath(QStringLiteral("stopped.wav"));
    reader->OpenWaveFile(path);
    QCOMPARE(reader->ReadSectors(handle, 0, 25), 1);
    QVERIFY(asked > 0);
    stop = true;
    QCOMPARE(reader->ReadSectors(handle, 25, 25), 0);
    // Nothing of the stopped chunk is in the file, and the next read starts afresh.
    stop = false;
    QCOMPARE(reader->ReadSectors(handle, 25, 2), 1);
    QVERIFY(reader->CloseWaveFile());
    QVERIFY(wavAudio(path) == discimage::rangeBytes(discLayout, 0, 27));
}

void TestLibcdioReader::waveFileNeverFollowsWhatIsPlantedAtItsName_data()
{
    QTest::addColumn<QString>("planted");
    QTest::newRow("link to a file elsewhere") << "link";
    QTest::newRow("dangling link") << "dangling";
    QTest::newRow("FIFO") << "fifo";
    QTest::newRow("earlier file") << "file";
}

void TestLibcdioReader::waveFileNeverFollowsWhatIsPlantedAtItsName()
{
#ifndef Q_OS_UNIX
    QSKIP("plants POSIX links and FIFOs");
#else
    QFETCH(QString, planted);
    const DiscLayout discLayout = disc({audio(100)});
    std::int32_t handle = 0;
    const auto reader = openFirst({image(discLayout)}, handle);
    const QString music = m_dir.filePath(QStringLiteral("planted%1").arg(++m_images));
    const QString elsewhere = m_dir.filePath(QStringLiteral("elsewhere%1.txt").arg(m_images));
    QVERIFY(QDir().mkpath(music));
    writeText(elsewhere, "precious");
    const QString path = music + QStringLiteral("/Piste 1.wav");
    plantEntry(path, planted, elsewhere, music + QStringLiteral("/nowhere"), QByteArray(100000, 'x'));
    if (QTest::currentTestFailed())
        return;

    reader->OpenWaveFile(path);
    QCOMPARE(reader->ReadSectors(handle, 0, 25), 1);
    QVERIFY(reader->CloseWaveFile());
    QCOMPARE(readAll(elsewhere), QByteArray("precious"));
    QVERIFY(!QFileInfo(path).isSymLink());
    QVERIFY(QFileInfo(path).isFile());
    QVERIFY(wavAudio(path) == discimage::rangeBytes(discLayout, 0, 25));
    QVERIFY(!QFile::exists(music + QStringLiteral("/nowhere")));
#endif
}

SONALBURY_TEST_MAIN_CORE(TestLibcdioReader)

#include "tst_libcdioreader.moc"
