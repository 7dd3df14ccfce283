#include "Disc.h"
#include "FrameAddress.h"
#include "LibcdioReader.h"
#include "ScriptedCdReader.h"
#include "TestEnvironment.h"

#include <QTemporaryDir>
#include <QtTest>

// The disc as both front ends see it: frame arithmetic, durations, and what opening a drive
// gives, failures included (scripted: no image can refuse to open or to set a parameter).
class TstDisc : public QObject
{
    Q_OBJECT

private slots:
    void formaterDuree_data()
    {
        QTest::addColumn<int>("frames");
        QTest::addColumn<QString>("text");
        QTest::newRow("0") << 0 << "00:00";
        QTest::newRow("74") << 74 << "00:00";
        QTest::newRow("75") << 75 << "00:01";
        QTest::newRow("4 500") << 4500 << "01:00";
        QTest::newRow("13 499") << 13499 << "02:59";
        QTest::newRow("16 875") << 16875 << "03:45";
        QTest::newRow("17 000") << 17000 << "03:46";
        QTest::newRow("449 999") << 449999 << "99:59";
        QTest::newRow("450 000") << 450000 << "100:00";
    }

    void formaterDuree()
    {
        QFETCH(int, frames);
        QFETCH(QString, text);
        QCOMPARE(FormaterDuree(150, 150 + frames), text);
        QCOMPARE(FormaterDuree(1000000, 1000000 + frames), text);
    }

    void frameArithmeticOverflowIsAnError()
    {
        QCOMPARE(frameAddress(TocTime{0, 2, 0}), 150);
        QCOMPARE(frameAddress(TocTime{79, 59, 74}), 359999);
        QVERIFY_THROWS_EXCEPTION(FrameOverflow, frameAddress(TocTime{2147483647, 0, 0}));
        QVERIFY_THROWS_EXCEPTION(FrameOverflow, FormaterDuree(-2147483647, 2147483647));
    }

    // A table whose entries go backwards at one track still lists every track: the others
    // can be converted.
    void backwardEntryListsEveryTrack()
    {
        ScriptedCdReader reader;
        reader.driveText1 << QStringLiteral("Vendor ");
        reader.driveText2 << QStringLiteral("Model");
        reader.toc = {TocTime{0, 2, 0}, TocTime{0, 40, 0}, TocTime{0, 30, 0}, TocTime{0, 50, 0}};
        reader.firstTrack = 1;
        reader.lastTrack = 3;
        const Disc disc = openDisc(reader, 0);
        QVERIFY(disc.usable());
        QVERIFY(disc.messages.isEmpty());
        QCOMPARE(disc.label, QStringLiteral("Vendor Model"));
        QCOMPARE(disc.toc.size(), std::size_t{4});
        QStringList shown;
        for (const DiscTrack &track : disc.tracks)
            shown << QStringLiteral("%1 %2 %3").arg(track.number).arg(track.title, track.duration);
        QCOMPARE(shown, (QStringList{"1 Piste 1 00:38", "2 Piste 2 00:-10", "3 Piste 3 00:20"}));
    }

    // An image the reader refuses says why, under the drive's usual message.
    void refusedImageSaysWhy()
    {
        QTemporaryDir dir;
        const QString cue = dir.filePath(QStringLiteral("Album.cue"));
        QFile sheet(cue);
        QVERIFY(sheet.open(QIODevice::WriteOnly));
        sheet.write("FILE \"Album (Track 1).bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n");
        sheet.close();
        LibcdioReader reader({cue});
        QVERIFY(reader.ScanDrives() >= 1);
        const Disc disc = openDisc(reader, reader.GetDriveCount() - 1);
        QVERIFY(!disc.usable());
        QCOMPARE(disc.messages, QStringList{QStringLiteral("Impossible de lire le CD sur le lecteur Image Album.cue\n"
                                                           "La feuille CUE nomme un fichier introuvable : « Album (Track 1).bin ».")});
    }
};

SONALBURY_TEST_MAIN_CORE(TstDisc)
#include "tst_disc.moc"
