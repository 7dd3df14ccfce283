#include "BatchOverview.h"
#include "DiscIds.h"
#include "DiscImage.h"
#include "GatedCdReader.h"
#include "LibcdioReader.h"
#include "LocalHttpServer.h"
#include "Mp3Check.h"
#include "SettingsStore.h"
#include "TestEnvironment.h"
#include "TitleChooser.h"
#include "WindowHarness.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QListWidget>
#include <QPushButton>
#include <QTreeWidget>
#include <QAbstractButton>
#include <QRegularExpression>
#include <QtTest>

// The convert button in the real window: the batch on its worker thread, the window that
// stays usable meanwhile, cancel and close at any moment.
class TstBatch : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    int m_case = 0;
    QString m_program;
    QString m_app;
    discimage::DiscLayout m_discLayout;
    std::shared_ptr<GatedCdReader::Gate> m_gate;

    QString music() const { return m_program + QStringLiteral("/musiques/"); }

    // Tracks of these lengths; shaped tracks (of music) when shapes are given. jobs:
    // encodings at once, 0 for one per processor core.
    std::unique_ptr<frmPrincipal> start(const std::vector<std::int32_t> &frames, int jobs = 0,
                                        const std::vector<discimage::Shape> &shapes = {})
    {
        m_discLayout = discimage::DiscLayout{};
        for (const std::int32_t f : frames)
            m_discLayout.tracks.push_back(discimage::Track{f, 0, false});
        if (!shapes.empty()) {
            m_discLayout.audio = discimage::Audio::Music;
            m_discLayout.shapes = shapes;
        }
        const QString cue = discimage::write(m_program + QStringLiteral("/disc"), m_discLayout);
        m_gate = std::make_shared<GatedCdReader::Gate>();
        auto gated = std::make_unique<GatedCdReader>(std::make_unique<LibcdioReader>(QStringList{cue}), m_gate);
        auto w = WindowHarness::make(std::move(gated), m_program, m_app, jobs);
        if (w->Form_Load() != frmPrincipal::LoadResult::Ready)
            return nullptr;
        w->show();
        return w;
    }

    static void tick(frmPrincipal &w, int position, const QString &rename = {})
    {
        QTreeWidgetItem *item = WindowHarness::tracks(w)->topLevelItem(position - 1);
        item->setCheckState(0, Qt::Checked);
        if (!rename.isEmpty())
            item->setText(0, rename);
    }

    static bool runBatch(frmPrincipal &w)
    {
        QSignalSpy finished(&w, &frmPrincipal::batchFinished);
        w.Command_rip_Click();
        return finished.wait(60000);
    }

    QStringList musicFiles() const
    {
        return QDir(music()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }

    static QLabel *panel2(frmPrincipal &w) { return w.findChild<QLabel *>(QStringLiteral("panel2")); }
    static int bar(frmPrincipal &w, const char *property)
    {
        return w.findChild<QWidget *>(QStringLiteral("prgb"))->property(property).toInt();
    }

    // Runs "Rechercher les titres..." and answers the chooser once every source has
    // answered: its rows ("source | label") and its failure lines, then Appliquer (first
    // row) or Annuler; "Oublier ces titres" first when forget.
    // With SONALBURY_SCREENSHOTS set, the chooser is saved there as screenshot.
    static QStringList searchTitles(frmPrincipal &w, bool apply, const QString &screenshot = {}, bool forget = false)
    {
        QStringList offered;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto *chooser = qobject_cast<TitleChooser *>(QApplication::activeModalWidget());
            if (!chooser || chooser->searching())
                return;
            poll.stop();
            if (forget)
                chooser->forgetButton()->click();
            const QTreeWidget *rows = chooser->findChild<QTreeWidget *>(QStringLiteral("lstCandidats"));
            for (int i = 0; i < rows->topLevelItemCount(); ++i)
                offered << rows->topLevelItem(i)->text(1).left(18) + QStringLiteral(" | ")
                               + rows->topLevelItem(i)->text(0);
            offered << chooser->findChild<QLabel *>(QStringLiteral("lblEchecs"))->text().split(QLatin1Char('\n'));
            if (const QString folder = qEnvironmentVariable("SONALBURY_SCREENSHOTS");
                !folder.isEmpty() && !screenshot.isEmpty())
                chooser->grab().save(folder + QLatin1Char('/') + screenshot);
            (apply ? chooser->applyButton() : chooser->cancelButton())->click();
        });
        poll.start(10);
        w.rechercher_Click();
        return offered;
    }

    // The window with one of its menus open, as the user sees it: the menu is a window of
    // its own, drawn over the main window's picture below its title.
    static void saveWithOpenMenu(frmPrincipal &w, const QString &menuName, const QString &path)
    {
        auto *menu = w.findChild<QMenu *>(menuName);
        QMenuBar *bar = w.menuBar();
        const QPoint at = bar->mapTo(&w, bar->actionGeometry(menu->menuAction()).bottomLeft());
        bar->setActiveAction(menu->menuAction());
        QTRY_VERIFY(menu->isVisible());
        QPixmap picture = w.grab();
        QPainter painter(&picture);
        painter.drawPixmap(at, menu->grab());
        painter.end();
        QVERIFY(picture.save(path));
        menu->hide();
    }

    qint64 trackFrames(int n) const { return qint64(m_discLayout.tracks[std::size_t(n - 1)].frames) * 588; }

private slots:
    void init()
    {
        m_program = m_dir.filePath(QStringLiteral("case%1").arg(++m_case));
        m_app = QStringLiteral("batch-case-%1").arg(m_case);
        QDir().mkpath(m_program);
    }

    void convertsTheTickedTracks()
    {
        auto w = start({300, 200, 250});
        QVERIFY(w);
        tick(*w, 1);
        tick(*w, 3, QStringLiteral("Été / Noël"));
        ModalAnswerer answerer;
        QVERIFY(runBatch(*w));

        QCOMPARE(answerer.seen.size(), 1);
        QCOMPARE(answerer.seen[0].text, QStringLiteral("Rip du CD terminé"));
        QCOMPARE(answerer.seen[0].icon, QMessageBox::Information);
        QCOMPARE(answerer.seen[0].title, QStringLiteral("Sonalbury CD-MP3"));
        QCOMPARE(musicFiles(), (QStringList{"Piste 1.mp3", "Été _ Noël.mp3"}));
        QCOMPARE(WindowHarness::fileNames(*w), musicFiles());
        QCOMPARE(w->statusText(), QStringLiteral("Etat : En attente"));
        QCOMPARE(w->findChild<QWidget *>(QStringLiteral("prgb"))->property("Value").toInt(), 0);

        const Mp3Check::Audio audio = Mp3Check::decodeMp3(music() + QStringLiteral("Été _ Noël.mp3"));
        QVERIFY2(audio.ok(), qPrintable(audio.error));
        QCOMPARE(audio.frames(), trackFrames(3));
        QCOMPARE(audio.bitrate, 160); // the first batch uses the saved settings
        const Mp3Check::Tags tags = Mp3Check::readTags(music() + QStringLiteral("Été _ Noël.mp3"));
        QCOMPARE(tags.title, QStringLiteral("Été / Noël"));
        QCOMPARE(tags.album, QStringLiteral("titre"));
        QCOMPARE(tags.artist, QString());
        QCOMPARE(tags.comment, QStringLiteral("Encodé par Sonalbury CD-MP3"));

        // After every batch: 320 kbit/s, high quality, MP3 only, no stop request.
        const FormFields &f = w->fields();
        QCOMPARE(f.settings.LlBitrate, 320);
        QCOMPARE(f.settings.LbHauteQualite, true);
        QCOMPARE(f.settings.LlTypeEncodage, 0);
        QCOMPARE(f.LbStop.load(), false);

        // So the next batch encodes at 320 kbit/s; it replaces the earlier file once the user
        // says so, keeping it being the default answer.
        QStringList questions;
        answerer.onBox = [&questions](QMessageBox &box) {
            if (box.icon() != QMessageBox::Question)
                return;
            questions << box.text();
            QCOMPARE(box.defaultButton()->text(), QStringLiteral("&Garder"));
            QCOMPARE(box.escapeButton(), static_cast<QAbstractButton *>(box.defaultButton()));
            for (QAbstractButton *button : box.buttons())
                if (button->text() == QStringLiteral("&Remplacer"))
                    button->click();
        };
        QVERIFY(runBatch(*w));
        QCOMPARE(questions.size(), 2);
        QVERIFY2(questions[0].startsWith(QStringLiteral("Le dossier musiques contient déjà « Piste 1.mp3 ».")),
                 qPrintable(questions[0]));
        QCOMPARE(Mp3Check::decodeMp3(music() + QStringLiteral("Piste 1.mp3")).bitrate, 320);
        QCOMPARE(musicFiles().size(), 2);
    }

    // The menu "Options" shows the saved choices, and what it is set to when the convert
    // button is pressed goes to the batch and into the settings.
    void optionsMenuReachesTheBatchAndTheSettings()
    {
        SettingsStore(m_app).write(QStringLiteral("VolumeEgal"), QStringLiteral("-1"));
        std::vector<discimage::Shape> shapes(1);
        shapes[0].leadingSilence = 150;
        auto w = start({600}, 0, shapes);
        QVERIFY(w);
        auto *equal = w->findChild<QAction *>(QStringLiteral("volumeEgal"));
        auto *cut = w->findChild<QAction *>(QStringLiteral("couperSilence"));
        QVERIFY(equal->isCheckable() && equal->isChecked());
        QVERIFY(cut->isCheckable() && !cut->isChecked());
        cut->trigger();
        if (const QString folder = qEnvironmentVariable("SONALBURY_SCREENSHOTS"); !folder.isEmpty())
            saveWithOpenMenu(*w, QStringLiteral("options"), folder + QStringLiteral("/options-menu.png"));

        tick(*w, 1);
        ModalAnswerer answerer;
        QVERIFY(runBatch(*w));
        const Mp3Check::Audio audio = Mp3Check::decodeMp3(music() + QStringLiteral("Piste 1.mp3"));
        QVERIFY2(audio.ok(), qPrintable(audio.error));
        QVERIFY(audio.frames() <= trackFrames(1) - 44100);

        w->quitter_Click();
        QCOMPARE(SettingsStore(m_app).read(QStringLiteral("VolumeEgal"), QString()), QStringLiteral("-1"));
        QCOMPARE(SettingsStore(m_app).read(QStringLiteral("CouperSilence"), QString()), QStringLiteral("-1"));
    }

    void encodingTypeDecidesWhatStays_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QStringList>("files");
        QTest::newRow("MP3 only") << 0 << QStringList{"Piste 2.mp3"};
        QTest::newRow("WAV only") << 1 << QStringList{"Piste 2.wav"};
        QTest::newRow("both") << 2 << QStringList{"Piste 2.mp3", "Piste 2.wav"};
    }

    void encodingTypeDecidesWhatStays()
    {
        QFETCH(int, type);
        QFETCH(QStringList, files);
        SettingsStore(m_app).write(QStringLiteral("TypeEncodage"), QString::number(type));
        auto w = start({100, 150});
        QVERIFY(w);
        tick(*w, 2);
        ModalAnswerer answerer;
        QVERIFY(runBatch(*w));
        QCOMPARE(musicFiles(), files);
        QCOMPARE(w->fields().settings.LlTypeEncodage, 0);
    }

    void emptyListStillResets()
    {
        auto w = start({100});
        QVERIFY(w);
        w->trackList().setTracks({});
        ModalAnswerer answerer;
        QVERIFY(runBatch(*w));
        QVERIFY(answerer.seen.isEmpty());
        QCOMPARE(w->fields().settings.LlBitrate, 320);
    }

    void windowRefusesWhatWouldDisturbTheBatch()
    {
        auto w = start({400});
        QVERIFY(w);
        QDir().mkpath(music());
        QFile old(music() + QStringLiteral("old.mp3"));
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.close();
        tick(*w, 1);
        const auto opener = qScopeGuard([gate = m_gate] { gate->open(); });
        m_gate->at = 3;
        ModalAnswerer answerer;
        QSignalSpy finished(w.get(), &frmPrincipal::batchFinished);
        w->Command_rip_Click();
        QTRY_VERIFY_WITH_TIMEOUT(m_gate->waiting.load(), 30000);
        QVERIFY(w->batchRunning());
        answerer.seen.clear();

        w->Command_rip_Click();
        QComboBox *combo = WindowHarness::drives(*w);
        emit combo->activated(0);
        w->Command1_Click();
        w->rechercher_Click();
        QCOMPARE(answerer.texts(), QStringList(4, QStringLiteral("Il y a déjà une lecture en cours")));
        QCOMPARE(answerer.seen[0].icon, QMessageBox::Warning);
        QCOMPARE(combo->currentIndex(), 0);
        QVERIFY(w->fields().LlHandleCD != 0);

        m_gate->open();
        QVERIFY(finished.wait(60000));
        QVERIFY(musicFiles().contains(QStringLiteral("Piste 1.mp3")));
        QVERIFY(musicFiles().contains(QStringLiteral("old.mp3")));
    }

    // A compilation's CD-Text, in a sheet another program wrote (a byte-order mark, a BIN
    // named otherwise): applied to the list and the hidden boxes, it names and tags the
    // files, and the titles converted with are offered first at the next lookup.
    void titlesFoundNameAndTagTheFiles()
    {
        discimage::DiscLayout layout;
        layout.tracks = {{150, 0, false}, {150, 0, false}, {150, 0, false}};
        layout.title = QStringLiteral("Saisons");
        layout.performer = QStringLiteral("Various");
        layout.trackTexts = {{QStringLiteral("Printemps"), QStringLiteral("Marc Aubry")},
                             {QStringLiteral("Été / hiver"), {}},
                             {QStringLiteral("Automne"), QStringLiteral("Inès Caron")}};
        const QString cue = discimage::write(m_program + QStringLiteral("/Saisons"), layout,
                                             {QStringLiteral("Saisons (piste 1).bin"), true, true});
        titles::DiscToc toc;
        toc.lastTrack = 3;
        for (int n = 1; n <= 3; ++n)
            toc.trackStarts.push_back(discimage::trackStart(layout, n));
        toc.leadOut = discimage::totalFrames(layout);
        LocalHttpServer musicBrainz;
        musicBrainz.on("/ws/2/discid/", {LocalHttpServer::text(R"({"releases":[{"title":"Quatre saisons","date":"2003-05",
            "artist-credit":[{"name":"Marc Aubry","joinphrase":" & "},{"name":"Inès Caron","joinphrase":""}],
            "media":[{"position":1,"discs":[{"id":")" + titles::musicBrainzDiscId(toc).toLatin1() + R"("}],
            "tracks":[{"position":1,"title":"Mars"},{"position":2,"title":"Juin"},{"position":3,"title":"Octobre"}]}]}]})")});
        qputenv("SONALBURY_MUSICBRAINZ_URL", musicBrainz.url().toString().toUtf8());
        auto w = WindowHarness::make(std::make_unique<LibcdioReader>(QStringList{cue}), m_program, m_app);
        QCOMPARE(w->Form_Load(), frmPrincipal::LoadResult::Ready);
        w->show();
        tick(*w, 2);
        tick(*w, 3);

        QCOMPARE(searchTitles(*w, true),
                 (QStringList{"CD-Text | Various — Saisons",
                              "MusicBrainz | Marc Aubry & Inès Caron — Quatre saisons (2003)",
                              "CDDB : non consulté, le serveur demande une adresse électronique (champ « Adresse "
                              "électronique »)."}));
        QCOMPARE(WindowHarness::trackTexts(*w),
                 (QStringList{"Printemps|00:02", "Été / hiver|00:02|x", "Automne|00:02|x"}));
        QCOMPARE(w->findChild<QLineEdit *>(QStringLiteral("txtAlbum"))->text(), QStringLiteral("Saisons"));
        QCOMPARE(w->findChild<QLineEdit *>(QStringLiteral("txtArtiste"))->text(), QStringLiteral("Various"));

        ModalAnswerer answerer;
        QVERIFY(runBatch(*w));
        QCOMPARE(musicFiles(), (QStringList{"Automne.mp3", "Été _ hiver.mp3"}));
        const Mp3Check::Tags autumn = Mp3Check::readTags(music() + QStringLiteral("Automne.mp3"));
        QCOMPARE(autumn.title, QStringLiteral("Automne"));
        QCOMPARE(autumn.artist, QStringLiteral("Inès Caron"));
        QCOMPARE(autumn.album, QStringLiteral("Saisons"));
        // A track without a performer of its own takes the disc's.
        QCOMPARE(Mp3Check::readTags(music() + QStringLiteral("Été _ hiver.mp3")).artist, QStringLiteral("Various"));

        const QStringList again = searchTitles(*w, false, QStringLiteral("chooser.png"));
        QCOMPARE(again.mid(0, 3), (QStringList{"Titres enregistrés | Various — Saisons", "CD-Text | Various — Saisons",
                                               "MusicBrainz | Marc Aubry & Inès Caron — Quatre saisons (2003)"}));
        // Forgotten from the chooser, they are gone for good.
        QCOMPARE(searchTitles(*w, false, {}, true).first(), QStringLiteral("CD-Text | Various — Saisons"));
        QCOMPARE(searchTitles(*w, false).first(), QStringLiteral("CD-Text | Various — Saisons"));

        // The disc opened again starts afresh: its tags no longer carry the titles applied.
        emit WindowHarness::drives(*w)->activated(0);
        QCOMPARE(w->findChild<QLineEdit *>(QStringLiteral("txtAlbum"))->text(), QStringLiteral("titre"));
        QCOMPARE(w->findChild<QLineEdit *>(QStringLiteral("txtArtiste"))->text(), QString());
        qunsetenv("SONALBURY_MUSICBRAINZ_URL");
    }

    void cancelStopsTheRemainingTracks_data()
    {
        QTest::addColumn<int>("jobs");
        QTest::addColumn<std::vector<std::int32_t>>("frames");
        QTest::addColumn<QList<int>>("ticked");
        QTest::addColumn<int>("gateAt"); // eight chunks a track
        QTest::addColumn<QStringList>("files");
        QTest::newRow("during the first track") << 0 << std::vector<std::int32_t>{200, 200, 200} << QList<int>{1, 3}
                                                << 2 << QStringList{};
        // With several jobs the tracks read before the cancel are still encoded, as one
        // job encodes the track it has read; the reading under way leaves nothing.
        QTest::newRow("two jobs, two tracks read") << 2 << std::vector<std::int32_t>{200, 200, 200, 200}
                                                   << QList<int>{1, 2, 3, 4} << 18
                                                   << QStringList{"Piste 1.mp3", "Piste 2.mp3"};
    }

    void cancelStopsTheRemainingTracks()
    {
        QFETCH(int, jobs);
        QFETCH(std::vector<std::int32_t>, frames);
        QFETCH(QList<int>, ticked);
        QFETCH(int, gateAt);
        QFETCH(QStringList, files);
        auto w = start(frames, jobs);
        QVERIFY(w);
        for (const int position : std::as_const(ticked))
            tick(*w, position);
        const auto opener = qScopeGuard([gate = m_gate] { gate->open(); });
        m_gate->at = gateAt;
        ModalAnswerer answerer;
        QSignalSpy finished(w.get(), &frmPrincipal::batchFinished);
        w->Command_rip_Click();
        QTRY_VERIFY_WITH_TIMEOUT(m_gate->waiting.load(), 30000);
        w->btnAnnuler_Click();
        m_gate->open();
        QVERIFY(finished.wait(60000));
        QCOMPARE(musicFiles(), files);
        for (int n = 1; n <= files.size(); ++n)
            QCOMPARE(Mp3Check::decodeMp3(music() + QStringLiteral("Piste %1.mp3").arg(n)).frames(), trackFrames(n));
        QCOMPARE(answerer.texts(), QStringList{"Rip du CD terminé"});
        QCOMPARE(w->fields().LbStop.load(), false);
    }

    // With several jobs the window shows what one job shows, in the same order, and the
    // second panel tells where the whole batch stands while the bar follows the reading.
    void severalJobsShowTheBatchAsOneJobDoes()
    {
        auto w = start({150, 300, 150}, 2);
        QVERIFY(w);
        for (int position = 1; position <= 3; ++position)
            tick(*w, position);
        const auto opener = qScopeGuard([gate = m_gate] { gate->open(); });
        m_gate->at = 9; // the fourth chunk of track 2
        ModalAnswerer answerer;
        QSignalSpy statuses(w.get(), &frmPrincipal::statusChanged);
        QSignalSpy finished(w.get(), &frmPrincipal::batchFinished);
        QVERIFY(!panel2(*w)->isVisible());
        w->Command_rip_Click();
        QTRY_VERIFY_WITH_TIMEOUT(m_gate->waiting.load(), 30000);
        QTRY_COMPARE(bar(*w, "Max"), 300);
        QTRY_VERIFY(panel2(*w)->isVisible());
        QVERIFY2(QRegularExpression(QStringLiteral("^Piste [12] sur 3( — .+ restantes?)?$"))
                     .match(panel2(*w)->text()).hasMatch(),
                 qPrintable(panel2(*w)->text()));
        m_gate->open();
        QVERIFY(finished.wait(60000));

        QStringList shown;
        for (const QList<QVariant> &status : std::as_const(statuses))
            shown << status.at(0).toString();
        QStringList expected;
        for (const QString &name : {QStringLiteral("Piste 1"), QStringLiteral("Piste 2"), QStringLiteral("Piste 3")})
            expected << QStringLiteral("Etat : Extraction de ") + name << QStringLiteral("Etat : Encodage de ") + name
                     << QStringLiteral("Etat : En attente");
        QCOMPARE(shown, expected);
        QCOMPARE(answerer.texts(), QStringList{"Rip du CD terminé"});
        QCOMPARE(musicFiles(), (QStringList{"Piste 1.mp3", "Piste 2.mp3", "Piste 3.mp3"}));
        // The batch over, the panel goes and the bar is empty.
        QVERIFY(!panel2(*w)->isVisible());
        QCOMPARE(panel2(*w)->text(), QString());
        QCOMPARE(bar(*w, "Value"), 0);
    }

    // With SONALBURY_SCREENSHOTS set: the window in the middle of a batch, saved there as
    // window-batch.png.
    void screenshotDuringABatch()
    {
        const QString folder = qEnvironmentVariable("SONALBURY_SCREENSHOTS");
        if (folder.isEmpty())
            QSKIP("SONALBURY_SCREENSHOTS is not set");
        auto w = start(std::vector<std::int32_t>(8, 6000), 2);
        QVERIFY(w);
        const QStringList titles{"Ouverture", "La Valse des saisons", "Chanson douce", "Le Train du soir",
                                 "Marche lente", "Au clair de la lune", "Final", "Rappel"};
        for (int position = 1; position <= int(titles.size()); ++position)
            tick(*w, position, titles.at(position - 1));
        w->fields().settings.LlBitrate = 320;
        w->fields().settings.LbHauteQualite = true;
        ModalAnswerer answerer;
        QSignalSpy unloaded(w.get(), &frmPrincipal::unloaded);
        w->Command_rip_Click();
        QTRY_VERIFY_WITH_TIMEOUT(panel2(*w)->text().startsWith(QStringLiteral("Piste 2 sur 8"))
                                     && panel2(*w)->text().contains(QStringLiteral("restant")) && bar(*w, "Value") > 0,
                                 120000);
        QVERIFY(w->grab().save(folder + QStringLiteral("/window-batch.png")));
        w->close();
        QVERIFY(unloaded.wait(60000));
    }

    // The second panel's text: the track the status line is at, out of the batch's tracks,
    // and the time left at the pace of the reading and of the encoding so far. Tracks of
    // 7500 frames; a line is "seconds: tracks", a track being R(ead), W(aiting), E(ncoded)
    // or F(inished) with its percent, "-" ticked and still to come, "." not ticked.
    void overviewOfTheBatch_data()
    {
        QTest::addColumn<bool>("encodes");
        QTest::addColumn<QStringList>("updates");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("barValue");
        QTest::newRow("nothing to judge by yet") << true << QStringList{"0: R0 - - -"} << "Piste 1 sur 4" << 0;
        QTest::newRow("reading alone is no measure of the encoding")
            << true << QStringList{"1: R50 - - -"} << "Piste 1 sur 4" << 3750;
        // Each track read in 2 s and encoded in 4 s: 14 s are left in fact.
        QTest::newRow("one job") << true << QStringList{"2: E0 - - -", "10: F E50 - -"}
                                 << "Piste 2 sur 4 — 13 s restantes" << 0;
        // The window sees only the latest progress: a first encoding begun and done between
        // two updates counts from the update before.
        QTest::newRow("start of the encoding missed") << true << QStringList{"4: R100 - - -", "10: F E50 - -"}
                                                      << "Piste 2 sur 4 — 10 s restantes" << 0;
        QTest::newRow("minutes") << true << QStringList{"60: E0 - - -", "300: F E50 - -"}
                                 << "Piste 2 sur 4 — 6 min 40 s restantes" << 0;
        QTest::newRow("hours") << true << QStringList{"600: E0 - - -", "3000: F E50 - -"}
                               << "Piste 2 sur 4 — 1 h 6 min restantes" << 0;
        // Reading ahead does not make the encoding any faster: two encoders at 10 s a track
        // leave 16 s in fact.
        QTest::newRow("encoders behind") << true << QStringList{"1: E0 R0 - -", "6: E50 E40 W W"}
                                         << "Piste 1 sur 4 — 17 s restantes" << 0;
        // A slow drive: the encoders wait for the reading, which sets the pace.
        QTest::newRow("reading behind") << true << QStringList{"20: E0 R0 - -", "50: F F R50 -"}
                                        << "Piste 3 sur 4 — 30 s restantes" << 3750;
        QTest::newRow("WAV files alone") << false << QStringList{"30: F R50 - -"}
                                         << "Piste 2 sur 4 — 50 s restantes" << 3750;
        QTest::newRow("ticks changed ahead") << true << QStringList{"2: E0 . - -", "10: F . E50 ."}
                                             << "Piste 2 sur 2 — 3 s restantes" << 0;
        QTest::newRow("all finished") << true << QStringList{"2: E0 - -", "30: F F F"} << "Piste 3 sur 3" << 0;
        QTest::newRow("one second") << true << QStringList{"1: E0", "10: E90"} << "Piste 1 sur 1 — 1 s restante" << 0;
    }

    void overviewOfTheBatch()
    {
        QFETCH(bool, encodes);
        QFETCH(QStringList, updates);
        QFETCH(QString, text);
        QFETCH(int, barValue);
        constexpr std::int32_t Frames = 7500;
        BatchOverview overview(std::vector<std::int32_t>(8, Frames), encodes);
        for (const QString &update : std::as_const(updates)) {
            const QStringList parts = update.split(QLatin1Char(':'));
            std::vector<BatchRunner::TrackLine> reached;
            std::vector<bool> ticked;
            std::int32_t next = 1;
            const QStringList tracks = parts.at(1).split(QLatin1Char(' '), Qt::SkipEmptyParts);
            for (int i = 0; i < tracks.size(); ++i) {
                const QString &track = tracks.at(i);
                ticked.push_back(track != QStringLiteral("."));
                if (track == QStringLiteral("-") || track == QStringLiteral("."))
                    continue;
                BatchRunner::TrackLine line;
                const int percent = track.mid(1).toInt();
                switch (track.at(0).toLatin1()) {
                case 'R':
                    line = {i + 1, {}, Frames, Frames * percent / 100, BatchRunner::Step::Reading};
                    break;
                case 'W':
                    line = {i + 1, {}, 0, 0, BatchRunner::Step::Waiting};
                    break;
                case 'E':
                    line = {i + 1, {}, 100, percent, BatchRunner::Step::Encoding};
                    break;
                default:
                    line = {i + 1, {}, 100, 100, BatchRunner::Step::Finished};
                    break;
                }
                reached.push_back(line);
                next = i + 2;
            }
            overview.update(reached, next, ticked, parts.at(0).toDouble());
        }
        QCOMPARE(overview.text(), text);
        QCOMPARE(overview.barValue(), barValue);
    }

    void cancelWhileIdleDoesNotSpoilTheNextBatch()
    {
        auto w = start({150});
        QVERIFY(w);
        tick(*w, 1);
        w->btnAnnuler_Click();
        ModalAnswerer answerer;
        QVERIFY(runBatch(*w));
        QCOMPARE(musicFiles(), QStringList{"Piste 1.mp3"});
    }

    void closingDuringAnExtractionLeavesNoUnfinishedFile()
    {
        auto w = start({300, 300});
        QVERIFY(w);
        tick(*w, 1);
        tick(*w, 2);
        const auto opener = qScopeGuard([gate = m_gate] { gate->open(); });
        m_gate->at = 5;
        ModalAnswerer answerer;
        QSignalSpy unloaded(w.get(), &frmPrincipal::unloaded);
        w->Command_rip_Click();
        QTRY_VERIFY_WITH_TIMEOUT(m_gate->waiting.load(), 30000);
        w->fields().settings.LlBitrate = 192;
        w->close();
        QVERIFY(!w->isVisible()); // gone for the user at once
        m_gate->open();
        QVERIFY(unloaded.wait(30000));
        QVERIFY(musicFiles().isEmpty());
        QVERIFY(answerer.seen.isEmpty());
        QCOMPARE(SettingsStore(m_app).read(QStringLiteral("Bitrate"), QString()), QStringLiteral("192"));
    }

    void closingDuringAnEncodingLeavesNoUnfinishedFile_data()
    {
        QTest::addColumn<int>("jobs");
        QTest::addColumn<std::vector<std::int32_t>>("frames");
        QTest::newRow("one job") << 1 << std::vector<std::int32_t>{150, 9000};
        // Track 3 is read, or waits, or is encoded beside track 2 when the window closes.
        QTest::newRow("two jobs") << 2 << std::vector<std::int32_t>{150, 9000, 9000};
    }

    void closingDuringAnEncodingLeavesNoUnfinishedFile()
    {
        QFETCH(int, jobs);
        QFETCH(std::vector<std::int32_t>, frames);
        SettingsStore(m_app).write(QStringLiteral("Bitrate"), QStringLiteral("320"));
        SettingsStore(m_app).write(QStringLiteral("HauteQualite"), QStringLiteral("True"));
        auto w = start(frames, jobs);
        QVERIFY(w);
        for (int position = 1; position <= int(frames.size()); ++position)
            tick(*w, position);
        ModalAnswerer answerer;
        QSignalSpy unloaded(w.get(), &frmPrincipal::unloaded);
        w->Command_rip_Click();
        QTRY_VERIFY_WITH_TIMEOUT(w->statusText() == QStringLiteral("Etat : Encodage de Piste 2"), 60000);
        w->close();
        QVERIFY(unloaded.wait(30000));
        // Track 1 was finished before the close and stays; nothing of the others does.
        QCOMPARE(musicFiles(), QStringList{"Piste 1.mp3"});
        QVERIFY(answerer.seen.isEmpty());
    }

    void interfaceKeepsRunningDuringABatch()
    {
        auto w = start({6000});
        QVERIFY(w);
        tick(*w, 1);
        w->fields().settings.LbHauteQualite = true;
        w->fields().settings.LlBitrate = 320;
        int ticks = 0;
        QTimer timer;
        connect(&timer, &QTimer::timeout, this, [&ticks] { ++ticks; });
        timer.start(10);
        ModalAnswerer answerer;
        QElapsedTimer clock;
        clock.start();
        QVERIFY(runBatch(*w));
        // The interface thread kept turning: a timer of 10 ms fired at least once for
        // every 100 ms of the batch.
        QVERIFY2(ticks >= clock.elapsed() / 100, qPrintable(QStringLiteral("%1 ticks in %2 ms").arg(ticks).arg(clock.elapsed())));
    }
};

SONALBURY_TEST_MAIN(TstBatch)
#include "tst_batch.moc"
