// Disc IDs of known tables of contents: the keys under which MusicBrainz and CDDB
// file a disc. A wrong ID finds nothing, or another disc.

#include "DiscIds.h"
#include "TestEnvironment.h"

#include <QtTest>

using titles::DiscToc;

Q_DECLARE_METATYPE(titles::DiscToc)

namespace {

// Offsets as MusicBrainz's documentation gives them: absolute, lead-in included.
DiscToc tocFromOffsets(int first, int leadOut, const QList<int> &offsets, const QList<bool> &data = {})
{
    DiscToc toc;
    toc.firstTrack = first;
    toc.lastTrack = first + static_cast<int>(offsets.size()) - 1;
    for (qsizetype i = 0; i < offsets.size(); ++i) {
        toc.trackStarts.push_back(offsets[i] - 150);
        toc.dataTracks.push_back(i < data.size() && data[i]);
    }
    toc.leadOut = leadOut - 150;
    return toc;
}

} // namespace

class TestDiscIds : public QObject
{
    Q_OBJECT

private slots:
    void knownIds_data()
    {
        QTest::addColumn<DiscToc>("toc");
        QTest::addColumn<QString>("musicBrainz");
        QTest::addColumn<QString>("cddb");
        QTest::addColumn<QString>("query");

        QTest::newRow("15 tracks (python-libdiscid test)")
            << tocFromOffsets(1, 258725, {150, 17510, 33275, 45910, 57805, 78310, 94650, 109580, 132010, 149160,
                                          165115, 177710, 203325, 215555, 235590})
            << "TqvKjMu7dMliSfmVEBtrL7sBSno-" << "b60d770f"
            << "b60d770f+15+150+17510+33275+45910+57805+78310+94650+109580+132010+149160+165115+177710+203325+215555+235590+3449";
        QTest::newRow("9 tracks")
            << tocFromOffsets(1, 186755, {150, 18230, 42558, 57591, 76417, 89846, 115065, 143250, 164582})
            << "ZDiPhVnBWu4wjogok6g2cGpgeNQ-" << "7509b809"
            << "7509b809+9+150+18230+42558+57591+76417+89846+115065+143250+164582+2490";
        // The offsets go by track number, here from 2.
        QTest::newRow("numbered from 2")
            << tocFromOffsets(2, 60150, {150, 15150, 30150})
            << "EBNPCmZpbg5TKCVBw5tSqR.0txY-" << "0c032003"
            << "0c032003+3+150+15150+30150+802";
        // Three audio tracks ending at LSN 45000, the data session 11 400 frames later:
        // MusicBrainz ends the disc with the audio session, CDDB counts the data track.
        QTest::newRow("enhanced CD")
            << tocFromOffsets(1, 60150, {150, 15150, 30150, 56550}, {false, false, false, true})
            << "MXsnrcgOkbb2H34IbwspNVMJMwA-" << "1c032004"
            << "1c032004+4+150+15150+30150+56550+802";
        // The same shape, short: the image of tst_cdtext.
        QTest::newRow("small enhanced CD")
            << tocFromOffsets(1, 12750, {150, 450, 750, 12450}, {false, false, false, true})
            << "sqiQcFcdWmoQZM6Hly5BnKDt1s0-" << "1600a804" << "1600a804+4+150+450+750+12450+170";
    }
    void knownIds()
    {
        QFETCH(DiscToc, toc);
        QFETCH(QString, musicBrainz);
        QFETCH(QString, cddb);
        QFETCH(QString, query);
        QCOMPARE(titles::musicBrainzDiscId(toc), musicBrainz);
        QCOMPARE(titles::cddbDiscId(toc), cddb);
        QCOMPARE(titles::cddbQueryArguments(toc), query);
    }

    void unusableTocHasNoId()
    {
        DiscToc descending = tocFromOffsets(1, 90000, {150, 30000, 20000});
        QVERIFY(titles::musicBrainzDiscId(descending).isEmpty());
        QVERIFY(titles::cddbDiscId(descending).isEmpty());
        QVERIFY(titles::musicBrainzDiscId(DiscToc{}).isEmpty());
    }
};

SONALBURY_TEST_MAIN_CORE(TestDiscIds)
#include "tst_discids.moc"
