// The lookup as a whole (remembered titles, CD-Text of a real image, MusicBrainz and
// CDDB on a local server), the titles remembered per disc, the pick of a run without a
// window and what applying a candidate changes.

#include "DiscIds.h"
#include "DiscImage.h"
#include "LocalHttpServer.h"
#include "MusicBrainzClient.h"
#include "RememberedTitles.h"
#include "TestEnvironment.h"
#include "TitleApplication.h"
#include "TitleLookup.h"

#include <QtTest>

using titles::TitleCandidate;
using Source = titles::TitleCandidate::Source;

Q_DECLARE_METATYPE(titles::TitleCandidate)

namespace {

TitleCandidate candidate(Source source, const QString &album, const QStringList &trackTitles, bool inexact = false)
{
    TitleCandidate c;
    c.source = source;
    c.album = album;
    c.artist = QStringLiteral("Marc Aubry");
    c.inexact = inexact;
    for (const QString &title : trackTitles)
        c.tracks << titles::TrackTitle{title, {}};
    return c;
}

titles::DiscToc tocOf(const discimage::DiscLayout &layout)
{
    titles::DiscToc toc;
    toc.lastTrack = static_cast<int>(layout.tracks.size());
    for (int n = 1; n <= toc.lastTrack; ++n) {
        toc.trackStarts.push_back(discimage::trackStart(layout, n));
        toc.dataTracks.push_back(layout.tracks[static_cast<std::size_t>(n - 1)].data);
    }
    toc.leadOut = discimage::totalFrames(layout);
    return toc;
}

QByteArray mbRelease(const QString &discId, const QByteArray &album, int trackCount)
{
    QByteArray tracks;
    for (int i = 1; i <= trackCount; ++i)
        tracks += (i > 1 ? "," : "") + QByteArray(R"({"position":)") + QByteArray::number(i) + R"(,"title":"MB )"
                  + QByteArray::number(i) + "\"}";
    return R"({"title":")" + album + R"(","artist-credit":[{"name":"Marc Aubry","joinphrase":""}],
        "media":[{"position":1,"discs":[{"id":")" + discId.toLatin1() + R"("}],"tracks":[)" + tracks + "]}]}";
}

} // namespace

class TestTitleLookup : public QObject
{
    Q_OBJECT

private slots:
    void rememberedRoundTrip()
    {
        const titles::RememberedTitles store(m_env.freshFolder(QStringLiteral("remembered")) + "/titres");
        const QString id = QStringLiteral("MXsnrcgOkbb2H34IbwspNVMJMwA-");
        QVERIFY(!store.load(id));
        TitleCandidate typed = candidate(Source::MusicBrainz, QStringLiteral("L’été"), {"Un", "Deux"});
        typed.year = QStringLiteral("2003");
        typed.tracks[1].artist = QStringLiteral("Inès Caron");
        QString error;
        QVERIFY2(store.save(id, typed, &error), qPrintable(error));

        const std::optional<TitleCandidate> back = store.load(id);
        QVERIFY(back);
        QCOMPARE(back->source, Source::Remembered);
        QCOMPARE(back->label(), typed.label());
        QCOMPARE(back->tracks.size(), 2);
        QCOMPARE(back->tracks[1].title, QStringLiteral("Deux"));
        QCOMPARE(back->tracks[1].artist, QStringLiteral("Inès Caron"));
        QVERIFY(back->savedAt.isValid());
        QVERIFY(back->sourceText().startsWith(QStringLiteral("Titres enregistrés (")));
        // Nothing but the file itself is left in the folder (the save is atomic).
        QCOMPARE(QDir(store.folder()).entryList(QDir::Files), QStringList{id + ".json"});

        // A file that is not ours is no candidate; a name that is no disc ID is refused.
        QFile broken(store.folder() + "/" + id + ".json");
        QVERIFY(broken.open(QIODevice::WriteOnly | QIODevice::Truncate));
        broken.write("{\"tracks\": 3");
        broken.close();
        QVERIFY(!store.load(id));
        QVERIFY(!store.save(QStringLiteral("../../etc/passwd-xxxxxxxxxxxxxxxxxx"), typed));
    }

    void defaultMusicBrainzUrlFromEnvironment()
    {
        qputenv("SONALBURY_MUSICBRAINZ_URL", "http://127.0.0.1:9/mirror");
        QCOMPARE(titles::MusicBrainzClient::defaultBaseUrl(), QUrl(QStringLiteral("http://127.0.0.1:9/mirror")));
        qunsetenv("SONALBURY_MUSICBRAINZ_URL");
        QCOMPARE(titles::MusicBrainzClient::defaultBaseUrl(), QUrl(QStringLiteral("https://musicbrainz.org")));
    }

    void lookUpEverySourceInOrder()
    {
        discimage::DiscLayout layout;
        layout.title = QStringLiteral("Saisons");
        layout.performer = QStringLiteral("Inès Caron");
        layout.tracks = {{300, 0, false}, {300, 0, false}};
        layout.trackTexts = {{QStringLiteral("Printemps"), {}}, {QStringLiteral("Été"), {}}};
        const QString folder = m_env.freshFolder(QStringLiteral("order"));
        titles::TitleLookupRequest request;
        request.sourcePath = discimage::write(folder + "/disc", layout);
        request.toc = tocOf(layout);
        request.rememberedFolder = folder + "/titres";
        request.cddbServer = QStringLiteral("127.0.0.1:1");
        request.cddbCgi = QStringLiteral("/~cddb/cddb.cgi");
        const QString discId = titles::musicBrainzDiscId(request.toc);
        QVERIFY(titles::RememberedTitles(request.rememberedFolder)
                    .save(discId, candidate(Source::CdText, QStringLiteral("Gardé"), {"A", "B"})));

        LocalHttpServer server;
        // The second release has three tracks: it is not this disc and is not offered.
        server.on("/ws/2/discid/", {LocalHttpServer::text("{\"releases\":[" + mbRelease(discId, "Saisons MB", 2) + ","
                                                          + mbRelease(discId, "Coffret", 3) + "]}")});
        titles::TitleLookup lookup;
        lookup.setMusicBrainzUrl(server.url());
        QSignalSpy finished(&lookup, &titles::TitleLookup::finished);
        lookup.start(request); // no e-mail address: CDDB is not asked
        QVERIFY(lookup.isRunning());
        QVERIFY(finished.wait(60000));

        QStringList sources;
        for (const TitleCandidate &c : lookup.candidates())
            sources << c.sourceText().left(18) + " | " + c.label();
        QCOMPARE(sources, (QStringList{"Titres enregistrés | Marc Aubry — Gardé", "CD-Text | Inès Caron — Saisons",
                                       "MusicBrainz | Marc Aubry — Saisons MB"}));
        QCOMPARE(lookup.failures(),
                 QStringList{"CDDB : non consulté, le serveur demande une adresse électronique (champ « Adresse "
                             "électronique »)."});
        QCOMPARE(lookup.musicBrainzDiscId(), discId);

        // With an address, a CDDB server that refuses the connection and a disc
        // MusicBrainz does not know: one line each, and the offline sources still there.
        LocalHttpServer unknown;
        unknown.on("/ws/2/discid/", {LocalHttpServer::text("{}", 404)});
        lookup.setMusicBrainzUrl(unknown.url());
        request.email = QStringLiteral("ines@example.org");
        finished.clear();
        lookup.start(request);
        QVERIFY(finished.wait(60000));
        QCOMPARE(lookup.candidates().size(), 2);
        QCOMPARE(lookup.failures().size(), 2);
        QCOMPARE(lookup.failures()[0], QStringLiteral("MusicBrainz : ce disque n'est pas connu."));
        QVERIFY2(lookup.failures()[1].startsWith(QStringLiteral("CDDB : connexion impossible (")),
                 qPrintable(lookup.failures()[1]));
    }

    // Remembered titles are offered while a silent MusicBrainz is still awaited; the
    // terminal's lookup does not ask the network at all when they are there.
    void offlineAnswersComeFirst()
    {
        LocalHttpServer silent;
        silent.on("/ws/2/discid/", {LocalHttpServer::Reply{200, {}, {}, true}});
        titles::TitleLookupRequest request;
        request.toc.lastTrack = 2;
        request.toc.trackStarts = {0, 15000};
        request.toc.leadOut = 30000;
        request.rememberedFolder = m_env.freshFolder(QStringLiteral("offline"));
        QVERIFY(titles::RememberedTitles(request.rememberedFolder)
                    .save(titles::musicBrainzDiscId(request.toc), candidate(Source::CdText, "Gardé", {"A", "B"})));
        titles::TitleLookup lookup;
        lookup.setMusicBrainzUrl(silent.url());
        QSignalSpy changed(&lookup, &titles::TitleLookup::changed);
        lookup.start(request);
        QTRY_VERIFY_WITH_TIMEOUT(!changed.isEmpty(), 60000);
        QVERIFY(lookup.isRunning());
        QCOMPARE(lookup.candidates().size(), 1);
        QCOMPARE(lookup.pendingSources(), QStringList{"MusicBrainz"}); // CDDB, without an address, said so
        lookup.cancel();

        request.offlineAnswersSuffice = true;
        QSignalSpy finished(&lookup, &titles::TitleLookup::finished);
        const qsizetype asked = silent.requests().size();
        lookup.start(request);
        QVERIFY(finished.wait(60000));
        QCOMPARE(lookup.candidates().size(), 1);
        QVERIFY(lookup.failures().isEmpty());
        QCOMPARE(silent.requests().size(), asked);
    }

    void cancelStopsTheLookup()
    {
        LocalHttpServer silent;
        silent.on("/ws/2/discid/", {LocalHttpServer::Reply{200, {}, {}, true}});
        titles::TitleLookupRequest request;
        request.toc.lastTrack = 2;
        request.toc.trackStarts = {0, 15000};
        request.toc.leadOut = 30000;
        request.rememberedFolder = m_env.freshFolder(QStringLiteral("cancel"));
        titles::TitleLookup lookup;
        lookup.setMusicBrainzUrl(silent.url());
        QSignalSpy finished(&lookup, &titles::TitleLookup::finished);
        lookup.start(request);
        QTRY_COMPARE_WITH_TIMEOUT(silent.requests().size(), 1, 60000);
        lookup.cancel();
        QVERIFY(!lookup.isRunning());
        QTest::qWait(200);
        QCOMPARE(finished.size(), 0);
    }

    void headlessPick_data()
    {
        QTest::addColumn<QList<TitleCandidate>>("candidates");
        QTest::addColumn<QString>("picked");
        const TitleCandidate remembered = candidate(Source::Remembered, "R", {"a"});
        const TitleCandidate text = candidate(Source::CdText, "T", {"a"});
        const TitleCandidate mb = candidate(Source::MusicBrainz, "M", {"a"});
        const TitleCandidate cddb = candidate(Source::Cddb, "C", {"a"});
        const TitleCandidate close = candidate(Source::Cddb, "Approché", {"a"}, true);
        QTest::newRow("remembered first") << QList{cddb, mb, text, remembered} << "R";
        QTest::newRow("CD-Text before databases") << QList{cddb, mb, text} << "T";
        QTest::newRow("MusicBrainz before CDDB") << QList{cddb, mb} << "M";
        QTest::newRow("exact CDDB over a close one") << QList{close, cddb} << "C";
        QTest::newRow("never a close match") << QList{close} << "";
        QTest::newRow("nothing") << QList<TitleCandidate>{} << "";
    }
    void headlessPick()
    {
        QFETCH(QList<TitleCandidate>, candidates);
        QFETCH(QString, picked);
        const std::optional<TitleCandidate> pick = titles::TitleLookup::headlessPick(candidates);
        QCOMPARE(pick ? pick->album : QString(), picked);
    }

    // A remembered candidate that leaves a track unnamed takes that track's title from the
    // next answer: a title that made the track fail, once forgotten, is replaced by a
    // corrected one.
    void headlessPickFillsRememberedGaps()
    {
        TitleCandidate remembered = candidate(Source::Remembered, "R", {"Un", "", "Trois"});
        TitleCandidate text = candidate(Source::CdText, "T", {"t1", "t2", "t3"});
        text.artist = QStringLiteral("Lucie Martin");
        const std::optional<TitleCandidate> pick =
            titles::TitleLookup::headlessPick({candidate(Source::MusicBrainz, "M", {"m1", "m2", "m3"}), text, remembered});
        QVERIFY(pick);
        QCOMPARE(pick->album, QStringLiteral("R"));
        QCOMPARE(pick->tracks[0].title, QStringLiteral("Un"));
        QCOMPARE(pick->tracks[1].title, QStringLiteral("t2"));
        QCOMPARE(pick->tracks[1].artist, QStringLiteral("Lucie Martin"));
        QCOMPARE(pick->tracks[2].title, QStringLiteral("Trois"));
    }

    void rememberedAfterBatch_data()
    {
        // Tracks of a batch: "+" gave its file, "!" failed, "~" was stopped by a cancel,
        // followed by its position (from 0) and the title it was converted with.
        QTest::addColumn<QStringList>("before");      // titles remembered before; empty: none
        QTest::addColumn<QStringList>("texts");       // the list once the batch ended
        QTest::addColumn<QStringList>("converted");
        QTest::addColumn<QStringList>("remembered");  // empty: nothing is remembered
        QTest::addColumn<QString>("album");
        const QStringList none;
        QTest::newRow("only the tracks that gave their files")
            << none << QStringList{"A", "B", "C"} << QStringList{"+0A", "!1B", "+2C"} << QStringList{"A", "", "C"} << "Album";
        QTest::newRow("a title that failed is forgotten, the others kept")
            << QStringList{"X", "Y", "Z"} << QStringList{"X", "Y2", "Z"} << QStringList{"!1Y2"} << QStringList{"X", "", "Z"}
            << "Ancien";
        QTest::newRow("a cancel forgets nothing")
            << QStringList{"X", "Y", "Z"} << QStringList{"X2", "Y", "Z"} << QStringList{"~0X2"} << QStringList{"X", "Y", "Z"}
            << "Ancien";
        QTest::newRow("a new title replaces the old one")
            << QStringList{"X", "Y", "Z"} << QStringList{"X", "Y", "Z2"} << QStringList{"+2Z2"} << QStringList{"X", "Y", "Z2"}
            << "Album";
        QTest::newRow("the title converted with, not one typed since")
            << none << QStringList{"Après", "B", "C"} << QStringList{"+0Avant"} << QStringList{"Avant", "", ""} << "Album";
        QTest::newRow("default names are no titles")
            << none << QStringList{"Piste 1", "Piste 2", "Piste 3"} << QStringList{"+0Piste 1", "+1Piste 2"} << none << "";
        QTest::newRow("a conversion under default names keeps what was remembered")
            << QStringList{"X", "Y", "Z"} << QStringList{"Piste 1", "Piste 2", "Piste 3"}
            << QStringList{"+0Piste 1", "+1Piste 2"} << QStringList{"X", "Y", "Z"} << "Ancien";
        QTest::newRow("no track gave its file")
            << none << QStringList{"A", "B", "C"} << QStringList{"!0A", "~1B"} << none << "";
    }
    void rememberedAfterBatch()
    {
        QFETCH(QStringList, before);
        QFETCH(QStringList, texts);
        QFETCH(QStringList, converted);
        QFETCH(QStringList, remembered);
        QFETCH(QString, album);
        std::optional<TitleCandidate> previous;
        if (!before.isEmpty()) {
            previous = candidate(Source::Remembered, QStringLiteral("Ancien"), before);
            previous->artist.clear();
        }
        titles::TitleFields fields;
        fields.trackTexts = texts;
        fields.album = album == QStringLiteral("Album") ? album : QStringLiteral("titre");
        titles::TitleFields defaults;
        defaults.trackTexts = QStringList{"Piste 1", "Piste 2", "Piste 3"};
        defaults.album = QStringLiteral("titre");
        QList<titles::ConvertedTrack> tracks;
        for (const QString &track : converted)
            tracks << titles::ConvertedTrack{track.mid(1, 1).toInt(), track.mid(2), track[0] == '+', track[0] == '!'};

        const std::optional<TitleCandidate> after = titles::rememberedAfterBatch(previous, fields, defaults, tracks);
        QCOMPARE(after.has_value(), !remembered.isEmpty());
        if (!after)
            return;
        QStringList titlesKept;
        for (const titles::TrackTitle &track : after->tracks)
            titlesKept << track.title;
        QCOMPARE(titlesKept, remembered);
        QCOMPARE(after->album, album);
        QCOMPARE(after->source, Source::Remembered);
    }

    void apply_data()
    {
        QTest::addColumn<TitleCandidate>("chosen");
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QStringList>("artists");
        QTest::addColumn<QString>("album");
        QTest::addColumn<QString>("artist");

        TitleCandidate plain = candidate(Source::MusicBrainz, QStringLiteral("Saisons"), {" Un ", "   ", "Trois"});
        QTest::newRow("blank title keeps the text") << plain << QStringList{"Un", "Piste 2", "Trois"}
                                                    << QStringList{"Marc Aubry", "Marc Aubry", "Marc Aubry"}
                                                    << "Saisons" << "Marc Aubry";
        TitleCandidate shorter = candidate(Source::Remembered, QString(), {"Un"});
        shorter.artist.clear();
        QTest::newRow("tracks not named keep theirs, empty album kept")
            << shorter << QStringList{"Un", "Piste 2", "Piste 3"} << QStringList{"Ancien", "Ancien", "Ancien"}
            << "Ancien album" << "Ancien";
        TitleCandidate compilation = candidate(Source::Cddb, QStringLiteral("Compil"), {"A", "B", "C"});
        compilation.artist = QStringLiteral("Various");
        compilation.tracks[0].artist = QStringLiteral("Marc Aubry");
        compilation.tracks[2].artist = QStringLiteral("Inès Caron");
        QTest::newRow("compilation: each track its own artist")
            << compilation << QStringList{"A", "B", "C"} << QStringList{"Marc Aubry", "Various", "Inès Caron"}
            << "Compil" << "Various";
    }
    void apply()
    {
        QFETCH(TitleCandidate, chosen);
        QFETCH(QStringList, texts);
        QFETCH(QStringList, artists);
        QFETCH(QString, album);
        QFETCH(QString, artist);
        titles::TitleFields current;
        current.trackTexts = QStringList{"Piste 1", "Piste 2", "Piste 3"};
        current.album = QStringLiteral("Ancien album");
        current.artist = QStringLiteral("Ancien");
        const titles::TitleFields result = titles::applyCandidate(chosen, current);
        QCOMPARE(result.trackTexts, texts);
        QCOMPARE(result.trackArtists, artists);
        QCOMPARE(result.album, album);
        QCOMPARE(result.artist, artist);

        // Remembered and applied again, the fields come back as they were.
        const titles::TitleFields again = titles::applyCandidate(titles::rememberedFrom(result), current);
        QCOMPARE(again.trackTexts, result.trackTexts);
        QCOMPARE(again.trackArtists, result.trackArtists);
        QCOMPARE(again.album, result.album);
        QCOMPARE(again.artist, result.artist);
    }

private:
    TestEnvironment m_env;
};

SONALBURY_TEST_MAIN_CORE(TestTitleLookup)
#include "tst_titlelookup.moc"
