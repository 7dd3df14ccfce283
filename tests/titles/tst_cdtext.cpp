// CD-Text read through libcdio from images the disc-image maker writes: the texts come
// back as the sheet wrote them. (libcdio 2.1 keeps no CD_TEXT of a cdrdao TOC file:
// cdio_get_cdtext gives NULL for one, so there is no TOC case here.)

#include "CdText.h"
#include "DiscIds.h"
#include "DiscToc.h"
#include "DiscImage.h"
#include "TestEnvironment.h"

#include <QtTest>

using titles::TitleCandidate;

Q_DECLARE_METATYPE(discimage::TextEncoding)

class TestCdText : public QObject
{
    Q_OBJECT

private slots:
    void cueSheetText_data()
    {
        QTest::addColumn<discimage::TextEncoding>("encoding");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("expected");
        QTest::newRow("UTF-8") << discimage::TextEncoding::Utf8 << "L’été à Noël" << "L’été à Noël";
        QTest::newRow("Latin-1") << discimage::TextEncoding::Latin1 << "Café crème" << "Café crème";
        QTest::newRow("ASCII") << discimage::TextEncoding::Utf8 << "Plain" << "Plain";
    }
    void cueSheetText()
    {
        QFETCH(discimage::TextEncoding, encoding);
        QFETCH(QString, title);
        QFETCH(QString, expected);
        discimage::DiscLayout layout;
        layout.title = QStringLiteral("Été ") + title;
        layout.performer = QStringLiteral("Inès Caron");
        layout.textEncoding = encoding;
        layout.tracks = {{300, 0, false}, {300, 0, false}};
        layout.trackTexts = {{title, QStringLiteral("Marc Aubry")}, {QStringLiteral("Deux"), {}}};
        const QString cue = discimage::write(m_env.freshFolder(QString::fromLatin1(QTest::currentDataTag())) + "/disc", layout);

        const std::optional<TitleCandidate> text = titles::readCdText(cue);
        QVERIFY(text);
        QCOMPARE(text->source, TitleCandidate::Source::CdText);
        QCOMPARE(text->album, QStringLiteral("Été ") + expected);
        QCOMPARE(text->artist, QStringLiteral("Inès Caron"));
        QCOMPARE(text->tracks.size(), 2);
        QCOMPARE(text->tracks[0].title, expected);
        QCOMPARE(text->tracks[0].artist, QStringLiteral("Marc Aubry"));
        // No PERFORMER on the track: the disc's.
        QCOMPARE(text->tracks[1].title, QStringLiteral("Deux"));
        QCOMPARE(text->tracks[1].artist, QStringLiteral("Inès Caron"));
    }

    void enhancedCdListsItsAudioTracks()
    {
        discimage::DiscLayout layout;
        layout.title = QStringLiteral("Album");
        layout.dataGap = 11400;
        layout.tracks = {{300, 0, false}, {300, 0, false}, {300, 0, true}};
        layout.trackTexts = {{QStringLiteral("Un"), {}}, {QStringLiteral("Deux"), {}}, {QStringLiteral("Données"), {}}};
        const QString cue = discimage::write(m_env.freshFolder(QStringLiteral("enhanced")) + "/disc", layout);
        const std::optional<TitleCandidate> text = titles::readCdText(cue);
        QVERIFY(text);
        QCOMPARE(text->tracks.size(), 2);
        QCOMPARE(text->tracks[1].title, QStringLiteral("Deux"));
    }

    // The IDs are computed from what libcdio reads of a real image: the data track of an
    // enhanced CD and the disc's final lead-out must be there for CDDB.
    void tableOfContentsOfAnImage()
    {
        discimage::DiscLayout layout;
        layout.dataGap = 11400;
        layout.tracks = {{300, 0, false}, {300, 0, false}, {300, 0, false}, {300, 0, true}};
        const QString cue = discimage::write(m_env.freshFolder(QStringLiteral("toc")) + "/disc", layout);
        const std::optional<titles::DiscToc> toc = titles::readDiscToc(cue);
        QVERIFY(toc);
        QCOMPARE(toc->trackStarts, (std::vector<std::int32_t>{0, 300, 600, 12300}));
        QCOMPARE(toc->dataTracks, (std::vector<bool>{false, false, false, true}));
        QCOMPARE(toc->leadOut, 12600);
        QVERIFY(toc->isEnhanced());
        QCOMPARE(toc->listedTrackCount(), 3);
        // The small enhanced-CD row of the disc-ID table.
        QCOMPARE(titles::musicBrainzDiscId(*toc), QStringLiteral("sqiQcFcdWmoQZM6Hly5BnKDt1s0-"));
        QCOMPARE(titles::cddbDiscId(*toc), QStringLiteral("1600a804"));
        QVERIFY(!titles::readDiscToc(m_env.root() + "/missing.cue"));
    }

    void noTextNoCandidate()
    {
        discimage::DiscLayout layout;
        layout.tracks = {{300, 0, false}};
        const QString cue = discimage::write(m_env.freshFolder(QStringLiteral("plain")) + "/disc", layout);
        QVERIFY(!titles::readCdText(cue));
        QVERIFY(!titles::readCdText(m_env.root() + "/missing.cue"));
    }

    void doubleEncodingRepaired_data()
    {
        QTest::addColumn<QByteArray>("fromLibcdio");
        QTest::addColumn<QString>("expected");
        QTest::newRow("twice encoded") << QString::fromLatin1(QStringLiteral("Noël").toUtf8()).toUtf8() << "Noël";
        QTest::newRow("once, Latin-1 text") << QStringLiteral("Noël").toUtf8() << "Noël";
        QTest::newRow("beyond Latin-1") << QStringLiteral("L’œuvre").toUtf8() << "L’œuvre";
        // "Ã©" really meant: its Latin-1 bytes are not UTF-8 once followed by text like this.
        QTest::newRow("Latin-1 that is not UTF-8") << QStringLiteral("Ã x").toUtf8() << "Ã x";
    }
    void doubleEncodingRepaired()
    {
        QFETCH(QByteArray, fromLibcdio);
        QFETCH(QString, expected);
        QCOMPARE(titles::decodeCdText(fromLibcdio.constData()), expected);
    }

private:
    TestEnvironment m_env;
};

SONALBURY_TEST_MAIN_CORE(TestCdText)
#include "tst_cdtext.moc"
