#include "CommandLine.h"
#include "TestEnvironment.h"

#include <QtTest>

class TstCommandLine : public QObject
{
    Q_OBJECT

private slots:
    void trackLists_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QList<int>>("tracks");
        QTest::newRow("one") << "3" << true << QList<int>{3};
        QTest::newRow("list and range") << "1,3-5" << true << QList<int>{1, 3, 4, 5};
        QTest::newRow("overlap") << "2-4,3" << true << QList<int>{2, 3, 4};
        QTest::newRow("zero") << "0" << false << QList<int>{};
        QTest::newRow("reversed") << "5-3" << false << QList<int>{};
        QTest::newRow("letters") << "a" << false << QList<int>{};
        QTest::newRow("empty item") << "1,,2" << false << QList<int>{};
        QTest::newRow("three digits") << "100" << false << QList<int>{};
    }

    void trackLists()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(QList<int>, tracks);
        const auto parsed = CommandLine::parseTrackList(text);
        QCOMPARE(parsed.has_value(), valid);
        if (valid)
            QCOMPARE(QList<int>(parsed->begin(), parsed->end()), tracks);
    }

    void arguments_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QStringList>("images");
        QTest::addColumn<bool>("convert");
        QTest::addColumn<QString>("list");
        QTest::addColumn<bool>("error");
        const QString p = QStringLiteral("prog");
        QTest::newRow("window") << QStringList{p} << QStringList{} << false << QString() << false;
        QTest::newRow("two images") << QStringList{p, "--image", "a.cue", "--image=b.cue"}
                                    << QStringList{"a.cue", "b.cue"} << false << QString() << false;
        QTest::newRow("convert all") << QStringList{p, "--image", "a.cue", "--convert"}
                                     << QStringList{"a.cue"} << true << QString() << false;
        QTest::newRow("convert list") << QStringList{p, "--convert", "1,3-5", "--image", "a.cue"}
                                      << QStringList{"a.cue"} << true << "1,3-5" << false;
        QTest::newRow("bad list") << QStringList{p, "--convert=x"} << QStringList{} << true << "x" << true;
        QTest::newRow("track zero") << QStringList{p, "--convert", "0"} << QStringList{} << true << "0" << true;
        QTest::newRow("image without file") << QStringList{p, "--image"} << QStringList{} << false
                                            << QString() << true;
        QTest::newRow("unknown") << QStringList{p, "--frobnicate"} << QStringList{} << false
                                 << QString() << true;
        QTest::newRow("image= without file") << QStringList{p, "--image="} << QStringList{} << false
                                             << QString() << true;
        // Only one list would be used: refused rather than half obeyed.
        QTest::newRow("two lists") << QStringList{p, "--convert", "1", "--convert=2"} << QStringList{}
                                   << true << QString() << true;
        QTest::newRow("convert twice") << QStringList{p, "--convert", "--convert"} << QStringList{}
                                       << true << QString() << true;
        QTest::newRow("remplacer without convert") << QStringList{p, "--remplacer"} << QStringList{} << false
                                                   << QString() << true;
        QTest::newRow("titres without convert") << QStringList{p, "--titres"} << QStringList{} << false
                                                << QString() << true;
        QTest::newRow("courriel without titres") << QStringList{p, "--convert", "--courriel", "a@b.org"}
                                                 << QStringList{} << true << QString() << true;
        QTest::newRow("courriel without address") << QStringList{p, "--convert", "--titres", "--courriel"}
                                                  << QStringList{} << true << QString() << true;
        QTest::newRow("jobs without convert") << QStringList{p, "--jobs", "2"} << QStringList{}
                                              << false << QString() << true;
        QTest::newRow("volume-egal without convert") << QStringList{p, "--volume-egal"} << QStringList{}
                                                     << false << QString() << true;
        QTest::newRow("couper-silence without convert") << QStringList{p, "--couper-silence"} << QStringList{}
                                                        << false << QString() << true;
    }

    void arguments()
    {
        QFETCH(QStringList, args);
        QFETCH(QStringList, images);
        QFETCH(bool, convert);
        QFETCH(QString, list);
        QFETCH(bool, error);
        const CommandLine line = CommandLine::parse(args);
        QCOMPARE(!line.error.isEmpty(), error);
        if (error)
            return;
        QCOMPARE(line.images, images);
        QCOMPARE(line.convert, convert);
        QCOMPARE(line.trackList, list);
    }

    void jobs()
    {
        QCOMPARE(CommandLine::parse({QStringLiteral("p"), QStringLiteral("--jobs"), QStringLiteral("2"),
                                     QStringLiteral("--convert")})
                     .jobs,
                 2);
        QVERIFY(!CommandLine::parse({QStringLiteral("p"), QStringLiteral("--jobs=0")}).error.isEmpty());
        const CommandLine titled = CommandLine::parse({QStringLiteral("p"), QStringLiteral("--convert"),
                                                       QStringLiteral("--titres"), QStringLiteral("--courriel=a@b.org")});
        QVERIFY(titled.titles);
        QCOMPARE(titled.email, QStringLiteral("a@b.org"));
        QVERIFY(CommandLine::usage(QStringLiteral("p")).contains(QStringLiteral("--convert")));
        const CommandLine levelled = CommandLine::parse({QStringLiteral("p"), QStringLiteral("--volume-egal"),
                                                         QStringLiteral("--convert"), QStringLiteral("--couper-silence")});
        QVERIFY(levelled.error.isEmpty());
        QVERIFY(levelled.equalLoudness && levelled.cutLeadingSilence);
        QVERIFY(CommandLine::usage(QStringLiteral("p")).contains(QStringLiteral("--volume-egal")));
        QVERIFY(CommandLine::usage(QStringLiteral("p")).contains(QStringLiteral("--couper-silence")));
    }
};

SONALBURY_TEST_MAIN_CORE(TstCommandLine)
#include "tst_commandline.moc"
