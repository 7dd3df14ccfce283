// The MusicBrainz and CDDB clients against canned replies of a local HTTP server: what
// each answer gives the chooser, and the one French line for each failure.

#include "CddbClient.h"
#include "DiscIds.h"
#include "LocalHttpServer.h"
#include "MusicBrainzClient.h"
#include "TestEnvironment.h"

#include <QNetworkAccessManager>
#include <QtTest>

using titles::TitleCandidate;
using Reply = LocalHttpServer::Reply;

namespace {

const QString DiscId = QStringLiteral("MXsnrcgOkbb2H34IbwspNVMJMwA-");

titles::DiscToc enhancedToc()
{
    titles::DiscToc toc;
    toc.lastTrack = 4;
    toc.trackStarts = {0, 15000, 30000, 56400};
    toc.dataTracks = {false, false, false, true};
    toc.leadOut = 60000;
    return toc;
}

QByteArray release(const QByteArray &title, const QByteArray &mediaJson)
{
    return R"({"id":"r-)" + title + R"(","title":")" + title + R"(","date":"2003-05-12",
        "artist-credit":[{"name":"Marc Aubry","joinphrase":" & ","artist":{"name":"Marc Aubry"}},
                         {"name":"Inès Caron","joinphrase":"","artist":{"name":"Inès Caron"}}],
        "media":[)" + mediaJson + "]}";
}

QByteArray medium(int position, const QByteArray &discId, const QByteArray &first, const QByteArray &second)
{
    return R"({"position":)" + QByteArray::number(position) + R"(,"format":"CD","discs":[{"id":")" + discId
           + R"("}],"track-count":2,"tracks":[
        {"position":2,"number":"2","title":")" + second + R"(","artist-credit":[{"name":"Invité","joinphrase":""}]},
        {"position":1,"number":"1","title":")" + first + R"(","artist-credit":[{"name":"Marc Aubry","joinphrase":" & "},{"name":"Inès Caron","joinphrase":""}]}]})";
}

QStringList titlesOf(const TitleCandidate &candidate)
{
    QStringList out;
    for (const titles::TrackTitle &track : candidate.tracks)
        out << track.title;
    return out;
}

} // namespace

class TestTitleServices : public QObject
{
    Q_OBJECT

    struct Outcome
    {
        QList<TitleCandidate> candidates;
        QString failure;
    };

    // Short only where the server never answers: a slow machine must not turn a canned
    // reply into a time-out.
    static std::chrono::milliseconds timeoutFor(const QList<Reply> &replies)
    {
        for (const Reply &reply : replies)
            if (reply.silent)
                return std::chrono::milliseconds(300);
        return std::chrono::milliseconds(30000);
    }

    template <typename Client, typename Start>
    Outcome run(Client &client, Start start)
    {
        QSignalSpy spy(&client, &Client::finished);
        start();
        if (!spy.wait(60000))
            qFatal("no answer from the client");
        return {spy[0][0].value<QList<TitleCandidate>>(), spy[0][1].toString()};
    }

    Outcome musicBrainz(const QList<Reply> &replies, LocalHttpServer *serverOut = nullptr, const QString &toc = {})
    {
        LocalHttpServer localServer;
        LocalHttpServer &server = serverOut ? *serverOut : localServer;
        server.on("/ws/2/discid/", replies);
        QNetworkAccessManager network;
        titles::MusicBrainzClient client(&network);
        client.setBaseUrl(server.url());
        client.setTimeout(timeoutFor(replies));
        return run(client, [&] { client.lookUp(DiscId, toc); });
    }

    Outcome cddb(const QList<std::pair<QByteArray, QList<Reply>>> &routes, LocalHttpServer *serverOut = nullptr)
    {
        LocalHttpServer localServer;
        LocalHttpServer &server = serverOut ? *serverOut : localServer;
        for (const auto &[match, replies] : routes)
            server.on(match, replies);
        QNetworkAccessManager network;
        titles::CddbClient client(&network);
        QList<Reply> all;
        for (const auto &route : routes)
            all += route.second;
        client.setTimeout(timeoutFor(all));
        const QUrl url = titles::CddbClient::serverUrl(server.url().toString(), QStringLiteral("/~cddb/cddb.cgi"));
        return run(client, [&] { client.lookUp(enhancedToc(), url, titles::CddbClient::hello(QStringLiteral("ines@example.org"))); });
    }

private slots:
    void initTestCase() { qRegisterMetaType<QList<TitleCandidate>>(); }

    void musicBrainzOneRelease()
    {
        LocalHttpServer server;
        const Outcome outcome = musicBrainz(
            {LocalHttpServer::text("{\"releases\":[" + release("Saisons", medium(1, DiscId.toLatin1(), "Un", "Deux")) + "]}")},
            &server);
        QCOMPARE(outcome.failure, QString());
        QCOMPARE(outcome.candidates.size(), 1);
        const TitleCandidate &c = outcome.candidates[0];
        QCOMPARE(c.source, TitleCandidate::Source::MusicBrainz);
        QCOMPARE(c.artist, QStringLiteral("Marc Aubry & Inès Caron"));
        QCOMPARE(c.album, QStringLiteral("Saisons"));
        QCOMPARE(c.label(), QStringLiteral("Marc Aubry & Inès Caron — Saisons (2003)"));
        QCOMPARE(titlesOf(c), (QStringList{"Un", "Deux"})); // by position, not reply order
        QCOMPARE(c.tracks[1].artist, QStringLiteral("Invité"));

        QCOMPARE(server.requests().size(), 1);
        QCOMPARE(server.requests()[0].target,
                 "/ws/2/discid/" + DiscId.toLatin1() + "?inc=recordings+artist-credits&fmt=json");
        QVERIFY(server.requests()[0].head.contains(
            "User-Agent: Sonalbury-CD-MP3/1.0 ( https://www.sonalbury.example )"));
    }

    void musicBrainzSeveralReleasesAndMedia()
    {
        // Two releases; the second has two media and only its second one holds the disc.
        const QByteArray json = "{\"releases\":[" + release("Saisons", medium(1, DiscId.toLatin1(), "Un", "Deux")) + ","
                                + release("Intégrale", medium(1, "other-disc-id", "Autre", "Autre 2") + ","
                                                           + medium(2, DiscId.toLatin1(), "Trois", "Quatre"))
                                + "]}";
        const Outcome outcome = musicBrainz({LocalHttpServer::text(json)});
        QCOMPARE(outcome.candidates.size(), 2);
        QCOMPARE(outcome.candidates[0].album, QStringLiteral("Saisons"));
        QCOMPARE(outcome.candidates[1].album, QStringLiteral("Intégrale")); // nothing added like "(disc 2)"
        QCOMPARE(titlesOf(outcome.candidates[1]), (QStringList{"Trois", "Quatre"}));
    }

    void musicBrainzStub()
    {
        const Outcome outcome = musicBrainz({LocalHttpServer::text(
            R"({"id":"MXsnrcgOkbb2H34IbwspNVMJMwA-","title":"Démo","artist":"Les Amis","track-count":2,
                "tracks":[{"title":"Premier","artist":"","length":1000},{"title":"Second","length":2000}]})")});
        QCOMPARE(outcome.failure, QString());
        QCOMPARE(outcome.candidates.size(), 1);
        QCOMPARE(outcome.candidates[0].label(), QStringLiteral("Les Amis — Démo"));
        QCOMPARE(titlesOf(outcome.candidates[0]), (QStringList{"Premier", "Second"}));
    }

    // An unknown disc ID is asked again by table of contents; only a medium with the
    // disc's track count is offered, as a close match.
    void musicBrainzCloseMatchByToc()
    {
        const QByteArray threeTracks = R"({"position":1,"format":"CD","track-count":3,"tracks":[
            {"position":1,"title":"Un"},{"position":2,"title":"Deux"},{"position":3,"title":"Trois"}]})";
        LocalHttpServer server;
        const QString toc = titles::musicBrainzToc(enhancedToc());
        QCOMPARE(toc, QStringLiteral("1+3+45150+150+15150+30150")); // the audio session only
        const Outcome outcome = musicBrainz(
            {LocalHttpServer::text("{}", 404),
             LocalHttpServer::text("{\"releases\":[" + release("Proche", threeTracks) + ","
                                   + release("Coffret", medium(1, "other", "A", "B")) + "]}")},
            &server, toc);
        QCOMPARE(outcome.failure, QString());
        QCOMPARE(outcome.candidates.size(), 1);
        QVERIFY(outcome.candidates[0].inexact);
        QCOMPARE(outcome.candidates[0].sourceText(), QStringLiteral("MusicBrainz (approchant)"));
        QCOMPARE(titlesOf(outcome.candidates[0]), (QStringList{"Un", "Deux", "Trois"}));
        QCOMPARE(server.requests().size(), 2);
        QCOMPARE(server.requests()[1].target, "/ws/2/discid/" + DiscId.toLatin1()
                                                  + "?toc=1+3+45150+150+15150+30150&cdstubs=no"
                                                    "&inc=recordings+artist-credits&fmt=json");
    }

    void musicBrainzFailures_data()
    {
        QTest::addColumn<QList<Reply>>("replies");
        QTest::addColumn<QString>("failure");
        QTest::addColumn<int>("requests");
        QTest::newRow("404: not known, no failure") << QList<Reply>{LocalHttpServer::text("{}", 404)} << "" << 1;
        QTest::newRow("malformed JSON") << QList<Reply>{LocalHttpServer::text("{\"releases\":[")}
                                        << "réponse illisible." << 1;
        QTest::newRow("JSON of another shape") << QList<Reply>{LocalHttpServer::text("[1,2]")}
                                               << "réponse illisible." << 1;
        QTest::newRow("503 twice") << QList<Reply>{Reply{503, "busy", {{"Retry-After", "1"}}, false}}
                                   << "service occupé, réessayez plus tard." << 2;
        QTest::newRow("HTTP 500") << QList<Reply>{LocalHttpServer::text("oops", 500)} << "erreur HTTP 500." << 1;
        QTest::newRow("far too large") << QList<Reply>{LocalHttpServer::text("{\"releases\":[]}" + QByteArray(5 * 1024 * 1024, ' '))}
                                       << "réponse trop volumineuse, abandonnée." << 1;
        // A few kilobytes on the wire, tens of megabytes once inflated.
        QTest::newRow("compression bomb")
            << QList<Reply>{Reply{200, qCompress(QByteArray(24 * 1024 * 1024, ' '), 9).mid(4), {{"Content-Encoding", "deflate"}}, false}}
            << "réponse trop volumineuse, abandonnée." << 1;
        QTest::newRow("Retry-After beyond any clock")
            << QList<Reply>{Reply{503, "busy", {{"Retry-After", "9223372036854775807"}}, false}}
            << "service occupé, réessayez plus tard." << 1;
        QTest::newRow("redirect on the same server") << QList<Reply>{Reply{302, {}, {{"Location", "/ws/2/discid/moved"}}, false},
                                                                 LocalHttpServer::text("{}", 404)}
                                                     << "" << 2;
        QTest::newRow("redirect to another server")
            << QList<Reply>{Reply{302, {}, {{"Location", "http://127.0.0.2:9/ws/2/discid/x"}}, false}}
            << "redirection refusée vers « http://127.0.0.2:9/ws/2/discid/x »." << 1;
        QTest::newRow("redirect to a local file") << QList<Reply>{Reply{302, {}, {{"Location", "file:///etc/passwd"}}, false}}
                                                  << "redirection refusée vers « file:///etc/passwd »." << 1;
        QTest::newRow("no answer") << QList<Reply>{Reply{200, {}, {}, true}} << "le serveur ne répond pas." << 1;
    }
    void musicBrainzFailures()
    {
        QFETCH(QList<Reply>, replies);
        QFETCH(QString, failure);
        QFETCH(int, requests);
        LocalHttpServer server;
        const Outcome outcome = musicBrainz(replies, &server);
        QVERIFY(outcome.candidates.isEmpty());
        QCOMPARE(outcome.failure, failure);
        QCOMPARE(server.requests().size(), requests);
    }

    void musicBrainzRetriesOnceAfterBusy()
    {
        LocalHttpServer server;
        const Outcome outcome = musicBrainz(
            {Reply{503, "busy", {{"Retry-After", "1"}}, false},
             LocalHttpServer::text("{\"releases\":[" + release("Saisons", medium(1, DiscId.toLatin1(), "Un", "Deux")) + "]}")},
            &server);
        QCOMPARE(outcome.failure, QString());
        QCOMPARE(outcome.candidates.size(), 1);
        QCOMPARE(server.requests().size(), 2);
    }

    void cddbServerAndHello_data()
    {
        QTest::addColumn<QString>("server");
        QTest::addColumn<QString>("expected");
        QTest::newRow("bare host") << "gnudb.gnudb.org" << "http://gnudb.gnudb.org/~cddb/cddb.cgi";
        QTest::newRow("host:port") << "127.0.0.1:8080" << "http://127.0.0.1:8080/~cddb/cddb.cgi";
        QTest::newRow("URL") << "https://gnudb.gnudb.org/" << "https://gnudb.gnudb.org/~cddb/cddb.cgi";
        QTest::newRow("empty") << "  " << "";
        QTest::newRow("other scheme") << "ftp://example.org" << "";
    }
    void cddbServerAndHello()
    {
        QFETCH(QString, server);
        QFETCH(QString, expected);
        QCOMPARE(titles::CddbClient::serverUrl(server, QStringLiteral("~cddb/cddb.cgi")).toString(), expected);
    }

    void cddbHello()
    {
        QCOMPARE(titles::CddbClient::hello(QStringLiteral(" ines.caron@example.org ")),
                 QStringLiteral("ines.caron+example.org+Sonalbury-CD-MP3+1.0"));
        QVERIFY(titles::CddbClient::hello(QStringLiteral("ines")).isEmpty());
        QVERIFY(titles::CddbClient::hello(QStringLiteral("@example.org")).isEmpty());
        QVERIFY(titles::CddbClient::hello(QString()).isEmpty());
    }

    void cddbRecord_data()
    {
        QTest::addColumn<QString>("record");
        QTest::addColumn<QString>("artist");
        QTest::addColumn<QString>("album");
        QTest::addColumn<QStringList>("titles");
        QTest::addColumn<QStringList>("artists");
        QTest::newRow("repeated keys joined exactly, escapes, no revision")
            << "# xmcd\nDTITLE=Marc Aubry / Les Sai\nDTITLE=sons \nDYEAR=1999\nTTITLE0=Ligne\\nDeux\\tTab\\\\\nTTITLE1=Coupé \nTTITLE1=en deux\nTTITLE2=A\\\nTTITLE2=\\B\n"
            << "Marc Aubry" << "Les Saisons " << QStringList{"Ligne\nDeux\tTab\\", "Coupé en deux", "A\\B"}
            << QStringList{"", "", ""};
        QTest::newRow("Various: per-track artist / title")
            << "DTITLE=Various / Compil\r\nTTITLE0=Marc Aubry / Chanson\r\nTTITLE1=Sans artiste\r\nTTITLE2=Inès / A / B\r\n"
            << "Various" << "Compil" << QStringList{"Chanson", "Sans artiste", "A / B"}
            << QStringList{"Marc Aubry", "", "Inès"};
        QTest::newRow("Divers: every title Artist: Title")
            << "DTITLE=Divers / Jazz\nTTITLE0=Bireli Lagrène: New York City\nTTITLE1=Django: Minor: Swing\n"
            << "Divers" << "Jazz" << QStringList{"New York City", "Minor: Swing"}
            << QStringList{"Bireli Lagrène", "Django"};
        QTest::newRow("Various Artists: every title Artist - Title")
            << "DTITLE=Various Artists / Hits\nTTITLE0=A - Un\nTTITLE1=B - Deux - live\n"
            << "Various Artists" << "Hits" << QStringList{"Un", "Deux - live"} << QStringList{"A", "B"};
        QTest::newRow("Compilation: a dash in one title only stays")
            << "DTITLE=Compilation / Mix\nTTITLE0=Intro - Live\nTTITLE1=Outro\n"
            << "Compilation" << "Mix" << QStringList{"Intro - Live", "Outro"} << QStringList{"", ""};
        QTest::newRow("not Various: every title with a dash stays")
            << "DTITLE=Groupe / Album\nTTITLE0=Un - live\nTTITLE1=Deux - live\n"
            << "Groupe" << "Album" << QStringList{"Un - live", "Deux - live"} << QStringList{"", ""};
        QTest::newRow("not Various: a slash stays in the title")
            << "DTITLE=Groupe / Album\nTTITLE0=AC / DC\nTTITLE1=B\nTTITLE2=C\n"
            << "Groupe" << "Album" << QStringList{"AC / DC", "B", "C"} << QStringList{"", "", ""};
        QTest::newRow("no separator: artist and album alike")
            << "DTITLE=Éponyme\nTTITLE0=a\nTTITLE1=b\nTTITLE2=c\n"
            << "Éponyme" << "Éponyme" << QStringList{"a", "b", "c"} << QStringList{"", "", ""};
    }
    void cddbRecord()
    {
        QFETCH(QString, record);
        QFETCH(QString, artist);
        QFETCH(QString, album);
        QFETCH(QStringList, titles);
        QFETCH(QStringList, artists);
        const std::optional<TitleCandidate> c = titles::CddbClient::parseRecord(record);
        QVERIFY(c);
        QCOMPARE(c->artist, artist);
        QCOMPARE(c->album, album);
        QCOMPARE(titlesOf(*c), titles);
        QStringList trackArtists;
        for (const titles::TrackTitle &t : c->tracks)
            trackArtists << t.artist;
        QCOMPARE(trackArtists, artists);
    }

    void cddbBrokenRecords_data()
    {
        QTest::addColumn<QString>("record");
        QTest::newRow("no DTITLE") << "TTITLE0=a\n";
        QTest::newRow("gap in track numbers") << "DTITLE=A / B\nTTITLE0=a\nTTITLE2=c\n";
        QTest::newRow("line without =") << "DTITLE=A / B\nTTITLE0=a\ngarbage\n";
        QTest::newRow("empty") << "";
    }
    void cddbBrokenRecords()
    {
        QFETCH(QString, record);
        QVERIFY(!titles::CddbClient::parseRecord(record));
    }

    void cddbExchanges_data()
    {
        const QByteArray readOther = "210 jazz 1c032005 CD database entry follows\r\n"
                                     "DTITLE=Autre / Disque\r\nTTITLE0=A\r\nTTITLE1=B\r\nTTITLE2=C\r\nTTITLE3=D\r\n.\r\n";
        QTest::addColumn<QByteArray>("query");
        QTest::addColumn<QByteArray>("read2");
        QTest::addColumn<QStringList>("labels");
        QTest::addColumn<bool>("inexact");
        QTest::addColumn<QString>("failure");
        QTest::newRow("200 exact") << QByteArray("200 rock 1c032004 Marc Aubry / Saisons\r\n") << readOther
                                   << QStringList{"Marc Aubry — Saisons (2003)"} << false << "";
        QTest::newRow("210 several exact")
            << QByteArray("210 Found exact matches, list follows (until terminating `.')\r\n"
                          "rock 1c032004 Marc Aubry / Saisons\r\njazz 1c032005 Autre / Disque\r\n.\r\n")
            << readOther << QStringList{"Marc Aubry — Saisons (2003)", "Autre — Disque"} << false << "";
        QTest::newRow("211 close")
            << QByteArray("211 Found inexact matches, list follows (until terminating `.')\r\n"
                          "rock 1c032004 Marc Aubry / Saisons\r\n.\r\n")
            << readOther << QStringList{"Marc Aubry — Saisons (2003)"} << true << "";
        QTest::newRow("202 none") << QByteArray("202 No match found\r\n") << readOther << QStringList{} << false << "";
        QTest::newRow("broken record") << QByteArray("200 jazz 1c032005 Autre / Disque\r\n")
                                       << QByteArray("210 jazz 1c032005\r\nnonsense\r\n.\r\n") << QStringList{} << false
                                       << "réponse illisible.";
        QTest::newRow("refused") << QByteArray("409 No handshake\r\n") << readOther << QStringList{} << false
                                 << "le serveur refuse la demande (code 409).";
        QTest::newRow("not CDDB at all") << QByteArray("<html>hello</html>") << readOther << QStringList{} << false
                                         << "réponse illisible.";
    }
    void cddbExchanges()
    {
        QFETCH(QByteArray, query);
        QFETCH(QByteArray, read2);
        QFETCH(QStringList, labels);
        QFETCH(bool, inexact);
        QFETCH(QString, failure);
        const QByteArray read = "210 rock 1c032004 CD database entry follows (until terminating `.')\r\n"
                                "# xmcd\r\nDTITLE=Marc Aubry / Saisons\r\nDYEAR=2003\r\n"
                                "TTITLE0=Un\r\nTTITLE1=Deux\r\nTTITLE2=Trois\r\nTTITLE3=Données\r\n.\r\n";
        LocalHttpServer server;
        const Outcome outcome = cddb({{"cddb+query", {LocalHttpServer::text(query)}},
                                      {"cddb+read+rock+1c032004", {LocalHttpServer::text(read)}},
                                      {"cddb+read+jazz+1c032005", {LocalHttpServer::text(read2)}}},
                                     &server);
        QCOMPARE(outcome.failure, failure);
        QStringList got;
        for (const TitleCandidate &c : outcome.candidates) {
            got << c.label();
            QCOMPARE(c.inexact, inexact);
            QCOMPARE(c.sourceText(), inexact ? QStringLiteral("CDDB approché") : QStringLiteral("CDDB"));
        }
        QCOMPARE(got, labels);
        QVERIFY(!server.requests().isEmpty());
        QCOMPARE(server.requests()[0].target,
                 "/~cddb/cddb.cgi?cmd=cddb+query+" + titles::cddbQueryArguments(enhancedToc()).toLatin1()
                     + "&hello=ines+example.org+Sonalbury-CD-MP3+1.0&proto=6");
    }

    void cddbTimeOut()
    {
        const Outcome outcome = cddb({{"cddb+query", {Reply{200, {}, {}, true}}}});
        QVERIFY(outcome.candidates.isEmpty());
        QCOMPARE(outcome.failure, QStringLiteral("le serveur ne répond pas."));
    }
};

SONALBURY_TEST_MAIN_CORE(TestTitleServices)
#include "tst_titleservices.moc"
