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

    // Tracks of these lengths; shaped tracks (of music) when shapes are given.
    std::unique_ptr<frmPrincipal> start(const std::vector<std::int32_t> &frames,
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
        auto w = WindowHarness::make(std::move(gated), m_program, m_app);
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
        auto w = start({600}, shapes);
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

    void cancelStopsTheRemainingTracks()
    {
        auto w = start({200, 200, 200});
        QVERIFY(w);
        tick(*w, 1);
        tick(*w, 3);
        const auto opener = qScopeGuard([gate = m_gate] { gate->open(); });
        m_gate->at = 2;
        ModalAnswerer answerer;
        QSignalSpy finished(w.get(), &frmPrincipal::batchFinished);
        w->Command_rip_Click();
        QTRY_VERIFY_WITH_TIMEOUT(m_gate->waiting.load(), 30000);
        w->btnAnnuler_Click();
        m_gate->open();
        QVERIFY(finished.wait(60000));
        QVERIFY(musicFiles().isEmpty());
        QCOMPARE(answerer.texts(), QStringList{"Rip du CD terminé"});
        QCOMPARE(w->fields().LbStop.load(), false);
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

    void closingDuringAnEncodingLeavesNoUnfinishedFile()
    {
        SettingsStore(m_app).write(QStringLiteral("Bitrate"), QStringLiteral("320"));
        SettingsStore(m_app).write(QStringLiteral("HauteQualite"), QStringLiteral("True"));
        auto w = start({150, 9000});
        QVERIFY(w);
        tick(*w, 1);
        tick(*w, 2);
        ModalAnswerer answerer;
        QSignalSpy unloaded(w.get(), &frmPrincipal::unloaded);
        w->Command_rip_Click();
        QTRY_VERIFY_WITH_TIMEOUT(w->statusText() == QStringLiteral("Etat : Encodage de Piste 2"), 60000);
        w->close();
        QVERIFY(unloaded.wait(30000));
        // Track 1 was finished before the close and stays; nothing of track 2 does.
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
