// The title chooser offscreen: what it shows of each candidate, what it hands back, how
// it fills as a lookup on a local server answers, and the size it keeps.

#include "DiscIds.h"
#include "LocalHttpServer.h"
#include "RememberedTitles.h"
#include "SampleTitles.h"
#include "SettingsStore.h"
#include "TestEnvironment.h"
#include "TitleChooser.h"
#include "TitleLookup.h"

#include <QApplication>
#include <QScreen>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

using titles::TitleCandidate;

namespace {

QList<TitleCandidate> sampleCandidates()
{
    TitleCandidate remembered;
    remembered.source = TitleCandidate::Source::Remembered;
    remembered.savedAt = QDateTime(QDate(2026, 12, 1), QTime(20, 15));
    remembered.artist = QStringLiteral("Marc Aubry & Inès Caron");
    remembered.album = QStringLiteral("Saisons");
    remembered.year = QStringLiteral("2003");
    remembered.tracks = {{QStringLiteral("Printemps"), {}}, {QStringLiteral("Été"), {}}, {QStringLiteral("Automne"), {}}};

    TitleCandidate compilation;
    compilation.source = TitleCandidate::Source::Cddb;
    compilation.inexact = true;
    compilation.artist = QStringLiteral("Various");
    compilation.album = QStringLiteral("Les Années radio");
    compilation.tracks = {{QStringLiteral("Chanson douce"), QStringLiteral("Lucie Martin")},
                          {QStringLiteral("La Route"), QStringLiteral("Les Amis")},
                          {QStringLiteral("L’Hiver"), QStringLiteral("Paul Girard")}};
    return {remembered, compilation};
}

// A disc of trackCount tracks of 200 s, and the titles remembered for it.
titles::TitleLookupRequest rememberedDisc(int trackCount, const QString &folder)
{
    titles::TitleLookupRequest request;
    request.toc.lastTrack = trackCount;
    for (int i = 0; i < trackCount; ++i)
        request.toc.trackStarts.push_back(150 + i * 15000);
    request.toc.leadOut = 150 + trackCount * 15000;
    request.rememberedFolder = folder;
    request.cddbServer = QStringLiteral("127.0.0.1:9"); // never reached without an address
    request.cddbCgi = QStringLiteral("/~cddb/cddb.cgi");
    TitleCandidate typed;
    typed.source = TitleCandidate::Source::Remembered;
    typed.artist = QStringLiteral("Lucie Martin");
    typed.album = QStringLiteral("Ma ville");
    for (int i = 1; i <= trackCount; ++i)
        typed.tracks << titles::TrackTitle{QStringLiteral("Chanson %1").arg(i), {}};
    if (!titles::RememberedTitles(folder).save(titles::musicBrainzDiscId(request.toc), typed))
        qFatal("the remembered titles of the test cannot be saved");
    return request;
}

// What MusicBrainz answers a search by table of contents: one release of these tracks.
QByteArray closeRelease(const QStringList &trackTitles)
{
    QByteArray tracks;
    for (qsizetype i = 0; i < trackTitles.size(); ++i)
        tracks += (i > 0 ? "," : "") + QByteArray(R"({"position":)") + QByteArray::number(i + 1) + R"(,"title":")"
                  + trackTitles[i].toUtf8() + "\"}";
    return R"({"releases":[{"title":"Chansons de la ville","date":"1998-04",
        "artist-credit":[{"name":"Lucie Martin","joinphrase":""}],
        "media":[{"position":1,"format":"CD","track-count":)" + QByteArray::number(trackTitles.size())
           + R"(,"tracks":[)" + tracks + "]}]}]}";
}

const QString NoAddress = QStringLiteral(
    "CDDB : non consulté, le serveur demande une adresse électronique (champ « Adresse électronique »).");

QStringList column(const QTreeWidget *tree, int c)
{
    QStringList out;
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        out << tree->topLevelItem(i)->text(c);
    return out;
}

} // namespace

class TestTitleChooser : public QObject
{
    Q_OBJECT

    TestEnvironment m_env;

private slots:
    void showsCandidatesAndHandsBackTheChosenOne()
    {
        TitleChooser chooser(sampleCandidates(), {QStringLiteral("MusicBrainz : le serveur ne répond pas.")},
                             QStringLiteral("ines@example.org"));
        chooser.show();
        auto *list = chooser.findChild<QTreeWidget *>(QStringLiteral("lstCandidats"));
        auto *preview = chooser.findChild<QTreeWidget *>(QStringLiteral("lstApercu"));
        auto *failures = chooser.findChild<QLabel *>(QStringLiteral("lblEchecs"));
        QVERIFY(list && preview && failures);
        QVERIFY(chooser.isModal());
        QCOMPARE(column(list, 0), (QStringList{"Marc Aubry & Inès Caron — Saisons (2003)", "Various — Les Années radio"}));
        QCOMPARE(column(list, 1), (QStringList{"Titres enregistrés (01/12/2026)", "CDDB approché"}));
        QCOMPARE(column(preview, 1), (QStringList{"Printemps", "Été", "Automne"}));
        QVERIFY(preview->isColumnHidden(2));
        QCOMPARE(failures->text(), QStringLiteral("MusicBrainz : le serveur ne répond pas."));
        QCOMPARE(chooser.applyButton()->text(), QStringLiteral("Appliquer"));
        QCOMPARE(chooser.cancelButton()->text(), QStringLiteral("Annuler"));
        QVERIFY(chooser.applyButton()->isDefault());

        list->setCurrentItem(list->topLevelItem(1));
        QCOMPARE(column(preview, 1), (QStringList{"Chanson douce", "La Route", "L’Hiver"}));
        QVERIFY(!preview->isColumnHidden(2));
        QCOMPARE(column(preview, 2), (QStringList{"Lucie Martin", "Les Amis", "Paul Girard"}));

        if (const QString folder = qEnvironmentVariable("SONALBURY_SCREENSHOTS"); !folder.isEmpty())
            QVERIFY(chooser.grab().save(folder + "/title-chooser.png"));

        // Enter applies (the default button); the chosen candidate and the address come back.
        QTest::keyClick(list, Qt::Key_Return);
        QCOMPARE(chooser.result(), int(TitleChooser::Applied));
        QCOMPARE(chooser.selectedCandidate()->album, QStringLiteral("Les Années radio"));
        QCOMPARE(chooser.email(), QStringLiteral("ines@example.org"));
    }

    void nothingFoundCannotApply()
    {
        TitleChooser chooser({}, {QStringLiteral("CDDB : ce disque n'est pas connu.")}, QString());
        auto *failures = chooser.findChild<QLabel *>(QStringLiteral("lblEchecs"));
        QCOMPARE(failures->text(),
                 QStringLiteral("Aucun titre n'a été trouvé pour ce disque.\nCDDB : ce disque n'est pas connu."));
        QVERIFY(!chooser.applyButton()->isEnabled());
        QVERIFY(!chooser.selectedCandidate());

    }

    // Remembered titles are there at once, while MusicBrainz, which answers late, is
    // still awaited; its close match joins the list when it comes, and the candidate the
    // user is looking at stays selected.
    void fillsAsTheSourcesAnswer()
    {
        const QStringList songs = realLengthTitles();
        titles::TitleLookupRequest request = rememberedDisc(int(songs.size()), m_env.freshFolder(QStringLiteral("late")));
        LocalHttpServer server;
        // The disc ID is unknown; the search by table of contents answers late.
        server.on("/ws/2/discid/", {LocalHttpServer::text("{}", 404), LocalHttpServer::late(closeRelease(songs))});
        titles::TitleLookup lookup;
        lookup.setMusicBrainzUrl(server.url());
        TitleChooser chooser({}, {}, QString()); // no address: CDDB is not asked
        chooser.follow(lookup, request);
        chooser.show();
        auto *list = chooser.findChild<QTreeWidget *>(QStringLiteral("lstCandidats"));
        auto *preview = chooser.findChild<QTreeWidget *>(QStringLiteral("lstApercu"));
        auto *lines = chooser.findChild<QLabel *>(QStringLiteral("lblEchecs"));

        QTRY_COMPARE_WITH_TIMEOUT(column(list, 0), QStringList{"Lucie Martin — Ma ville"}, 60000);
        QCOMPARE(lines->text(), QStringLiteral("MusicBrainz : recherche…\n") + NoAddress);
        QVERIFY(chooser.applyButton()->isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(server.heldCount(), 1, 60000);
        QVERIFY(lookup.isRunning());

        server.release();
        QTRY_COMPARE_WITH_TIMEOUT(column(list, 1).size(), 2, 60000);
        QCOMPARE(column(list, 1).last(), QStringLiteral("MusicBrainz (approchant)"));
        QCOMPARE(lines->text(), NoAddress);
        QCOMPARE(chooser.selectedIndex(), 0);
        QCOMPARE(column(preview, 1).first(), QStringLiteral("Chanson 1"));

        // What would be applied reads whole, however long the titles.
        list->setCurrentItem(list->topLevelItem(1));
        QCOMPARE(column(preview, 1), songs);
        for (const QString &song : songs)
            QVERIFY(preview->columnWidth(1) > preview->fontMetrics().horizontalAdvance(song));
        if (const QString folder = qEnvironmentVariable("SONALBURY_SCREENSHOTS"); !folder.isEmpty())
            QVERIFY(chooser.grab().save(folder + "/chooser-close-match.png"));
    }

    // A server that never answers keeps nothing waiting: the remembered titles are applied
    // at once, and closing the chooser drops the request still out.
    void silentServerHoldsNothingBack()
    {
        titles::TitleLookupRequest request = rememberedDisc(3, m_env.freshFolder(QStringLiteral("silent")));
        LocalHttpServer server;
        server.on("/ws/2/discid/", {LocalHttpServer::Reply{200, {}, {}, true, false}});
        titles::TitleLookup lookup;
        lookup.setMusicBrainzUrl(server.url());
        TitleChooser chooser({}, {}, QString());
        chooser.follow(lookup, request);
        chooser.show();
        QTRY_COMPARE_WITH_TIMEOUT(server.requests().size(), 1, 60000);
        QCOMPARE(chooser.selectedCandidate()->source, TitleCandidate::Source::Remembered);
        QTest::mouseClick(chooser.applyButton(), Qt::LeftButton);
        QCOMPARE(chooser.result(), int(TitleChooser::Applied));
        QVERIFY(!chooser.isVisible());
        QVERIFY(!lookup.isRunning());
    }

    // "Rechercher à nouveau" asks again with the address typed, in the open chooser.
    void searchAgainWithTheAddressTyped()
    {
        titles::TitleLookupRequest request = rememberedDisc(2, m_env.freshFolder(QStringLiteral("again")));
        LocalHttpServer server;
        server.on("cddb+query", {LocalHttpServer::Reply{200, {}, {}, true, false}});
        request.cddbServer = server.url().toString();
        request.cddbCgi = QStringLiteral("/~cddb/cddb.cgi");
        titles::TitleLookup lookup;
        lookup.setMusicBrainzUrl(server.url()); // 404: not known
        TitleChooser chooser({}, {}, QString());
        chooser.follow(lookup, request);
        chooser.show();
        auto *lines = chooser.findChild<QLabel *>(QStringLiteral("lblEchecs"));
        QTRY_VERIFY_WITH_TIMEOUT(!lookup.isRunning(), 60000);
        QCOMPARE(lines->text().split(QLatin1Char('\n')).last(), NoAddress);

        chooser.findChild<QLineEdit *>(QStringLiteral("txtCourriel"))->setText(QStringLiteral(" ines@example.org "));
        QTest::mouseClick(chooser.findChild<QPushButton *>(QStringLiteral("cmdRelancer")), Qt::LeftButton);
        QVERIFY(chooser.isVisible());
        QCOMPARE(chooser.email(), QStringLiteral("ines@example.org"));
        QTRY_VERIFY_WITH_TIMEOUT(lines->text().contains(QStringLiteral("CDDB : recherche…")), 60000);
        QTRY_VERIFY_WITH_TIMEOUT(!server.requests().isEmpty() && server.requests().last().target.contains("hello=ines+example.org"), 60000);
        QCOMPARE(column(chooser.findChild<QTreeWidget *>(QStringLiteral("lstCandidats")), 0),
                 QStringList{"Lucie Martin — Ma ville"});
        chooser.reject();
        QVERIFY(!lookup.isRunning());
    }

    // Its size, chosen by the user, is the one it opens with next time, within the
    // screen; a size that is no size is ignored.
    void keepsItsSize()
    {
        SettingsStore store(QStringLiteral("chooser-size"));
        const QSize usual = TitleChooser({}, {}, QString()).size();
        const QSize screen = QGuiApplication::primaryScreen()->availableGeometry().size();
        const QSize chosen = (screen - QSize(60, 40)).expandedTo(usual / 2);
        {
            TitleChooser chooser(sampleCandidates(), {}, QString());
            chooser.keepSizeIn(store);
            chooser.show();
            chooser.resize(chosen);
            chooser.reject();
        }
        TitleChooser again(sampleCandidates(), {}, QString());
        again.keepSizeIn(store);
        QCOMPARE(again.size(), chosen);

        QVERIFY(store.write(TitleChooser::sizeKey(), QStringLiteral("9000x9000")));
        TitleChooser huge(sampleCandidates(), {}, QString());
        huge.keepSizeIn(store);
        QVERIFY(huge.width() <= screen.width() && huge.height() <= screen.height());

        QVERIFY(store.write(TitleChooser::sizeKey(), QStringLiteral("grand")));
        TitleChooser broken(sampleCandidates(), {}, QString());
        broken.keepSizeIn(store);
        QCOMPARE(broken.size(), usual.boundedTo(screen));
    }

    // The remembered candidate offers to forget it: at once, without a question, and it
    // leaves the list; a failure to forget is told and the candidate stays.
    void rememberedTitlesCanBeForgotten()
    {
        TitleChooser chooser(sampleCandidates(), {}, QString());
        chooser.show();
        QVERIFY(!chooser.forgetButton()->isVisible()); // nothing to forget them with yet
        int forgotten = 0;
        QString failure = QStringLiteral("Les titres enregistrés de ce disque n'ont pas pu être oubliés : accès refusé");
        chooser.setForgetRemembered([&] {
            ++forgotten;
            return failure;
        });
        QVERIFY(chooser.forgetButton()->isVisible());
        QCOMPARE(chooser.forgetButton()->text(), QStringLiteral("Oublier ces titres"));
        QVERIFY(!chooser.forgetButton()->isDefault());

        QTimer::singleShot(0, &chooser, [] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()))
                box->accept();
        });
        QTest::mouseClick(chooser.forgetButton(), Qt::LeftButton);
        QCOMPARE(forgotten, 1);
        QCOMPARE(chooser.selectedCandidate()->source, TitleCandidate::Source::Remembered);

        failure.clear();
        QTest::mouseClick(chooser.forgetButton(), Qt::LeftButton);
        QCOMPARE(forgotten, 2);
        auto *list = chooser.findChild<QTreeWidget *>(QStringLiteral("lstCandidats"));
        QCOMPARE(column(list, 1), QStringList{"CDDB approché"});
        QCOMPARE(chooser.selectedCandidate()->source, TitleCandidate::Source::Cddb);
        // Only remembered titles can be forgotten.
        QVERIFY(!chooser.forgetButton()->isVisible());
        QVERIFY(chooser.isVisible());
    }
};

SONALBURY_TEST_MAIN(TestTitleChooser)
#include "tst_titlechooser.moc"
