#include "CheckHeader.h"
#include "DiscImage.h"
#include "GatedCdReader.h"
#include "HeadlessConversion.h"
#include "LibcdioReader.h"
#include "SampleTitles.h"
#include "ScriptedCdReader.h"
#include "SettingsStore.h"
#include "TestEnvironment.h"
#include "TestPlatform.h"
#include "TrackTitles.h"
#include "WindowHarness.h"

#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QStatusBar>
#include <QTreeWidget>
#include <QtTest>
#include <cstdio>

// The main window as the user meets it: start-up on a disc, the drive choice and its
// failures, the track list, the layout, shut-down.
class TstWindow : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    int m_case = 0;

    QString freshFolder()
    {
        const QString path = m_dir.filePath(QStringLiteral("case%1").arg(++m_case));
        QDir().mkpath(path);
        return path;
    }
    QString freshApp() { return QStringLiteral("window-case-%1").arg(m_case); }

    QString makeImage(const QString &folder, const std::vector<std::int32_t> &frames)
    {
        discimage::DiscLayout discLayout;
        for (const std::int32_t f : frames)
            discLayout.tracks.push_back(discimage::Track{f, 0, false});
        return discimage::write(folder + QStringLiteral("/disc"), discLayout);
    }

    static std::unique_ptr<ScriptedCdReader> scripted(int drives = 1)
    {
        auto reader = std::make_unique<ScriptedCdReader>();
        for (int i = 0; i < drives; ++i) {
            reader->driveText1 << QStringLiteral("  Vendor%1 ").arg(i);
            reader->driveText2 << QStringLiteral(" Model %1").arg(i);
        }
        reader->setTrackLengths({4500, 16875, 17000});
        return reader;
    }

private slots:
    void startUpOnADiscImage()
    {
        const QString folder = freshFolder();
        const QString cue = makeImage(folder, {4500, 16875, 13499});
        ModalAnswerer answerer;
        auto w = WindowHarness::make(std::make_unique<LibcdioReader>(QStringList{cue}), folder, freshApp());
        QCOMPARE(w->Form_Load(), frmPrincipal::LoadResult::Ready);
        QVERIFY(answerer.seen.isEmpty());
        QCOMPARE(w->statusText(), QStringLiteral("Etat : En attente"));
        QCOMPARE(WindowHarness::drives(*w)->currentText(), QStringLiteral("Image disc.cue"));
        QCOMPARE(WindowHarness::trackTexts(*w),
                 (QStringList{"Piste 1|01:00", "Piste 2|03:45", "Piste 3|02:59"}));
        QVERIFY(QFileInfo(folder + QStringLiteral("/musiques")).isDir());
        QCOMPARE(w->fields().lsDossier, folder + QStringLiteral("/musiques/"));
        QVERIFY(w->fields().LlHandleCD != 0);
        QVERIFY(WindowHarness::fileNames(*w).isEmpty());
        // An image has no tray.
        QVERIFY(!w->findChild<QAction *>(QStringLiteral("ejecter"))->isEnabled());
    }

    void secondStartKeepsTheMusicFolder()
    {
        const QString folder = freshFolder();
        const QString cue = makeImage(folder, {750});
        QDir().mkpath(folder + QStringLiteral("/musiques"));
        for (const char *name : {"b.mp3", "A.mp3", "notes.txt", ".cache"}) {
            QFile f(folder + QStringLiteral("/musiques/") + QString::fromLatin1(name));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("x");
        }
        ModalAnswerer answerer;
        auto w = WindowHarness::make(std::make_unique<LibcdioReader>(QStringList{cue}), folder, freshApp());
        QCOMPARE(w->Form_Load(), frmPrincipal::LoadResult::Ready);
        QCOMPARE(WindowHarness::fileNames(*w), (QStringList{"A.mp3", "b.mp3", "notes.txt"}));
        QVERIFY(QFile::exists(folder + QStringLiteral("/musiques/b.mp3")));
    }

    void noDriveShowsOnlyTheCriticalMessage()
    {
        const QString folder = freshFolder();
        const QString app = freshApp();
        SettingsStore(app).write(QStringLiteral("Bitrate"), QStringLiteral(" 192 "));
        ModalAnswerer answerer;
        auto w = WindowHarness::make(scripted(0), folder, app);
        QSignalSpy unloaded(w.get(), &frmPrincipal::unloaded);
        QCOMPARE(w->Form_Load(), frmPrincipal::LoadResult::NoDrive);
        QCOMPARE(answerer.seen.size(), 1);
        QCOMPARE(answerer.seen[0].text, QStringLiteral("Vous ne possédez pas de lecteur de CDRom"));
        QCOMPARE(answerer.seen[0].title, QStringLiteral("Sonalbury CD-MP3"));
        QCOMPARE(answerer.seen[0].icon, QMessageBox::Critical);
        QCOMPARE(unloaded.size(), 1);
        QCOMPARE(w->exitCode(), 0);
        QVERIFY(!w->isVisible());
        // The settings just read were written back, all eight of them and the two options.
        const auto raw = TestPlatform::rawSettings(SettingsStore(app).location());
        raw->beginGroup(QStringLiteral("Parametres"));
        QCOMPARE(raw->childKeys().size(), 10);
        QCOMPARE(raw->value(QStringLiteral("Bitrate")).toString(), QStringLiteral("192"));
    }

    void musicFolderThatCannotBeCreatedEndsTheProgram()
    {
        const QString folder = freshFolder();
        QFile blocker(folder + QStringLiteral("/musiques"));
        QVERIFY(blocker.open(QIODevice::WriteOnly)); // a file where the folder should be
        blocker.close();
        ModalAnswerer answerer;
        auto w = WindowHarness::make(scripted(), folder, freshApp());
        QCOMPARE(w->Form_Load(), frmPrincipal::LoadResult::Failed);
        QCOMPARE(w->exitCode(), 1);
        QCOMPARE(answerer.seen.size(), 1);
        QVERIFY(answerer.seen[0].text.contains(QStringLiteral("musiques")));
        QCOMPARE(answerer.seen[0].icon, QMessageBox::Warning);
    }

    // Drive selection when the reader fails: the messages in their order, and the drive
    // index that is saved.
    void driveSelectionFailures_data()
    {
        QTest::addColumn<QString>("failure");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<int>("tracks");
        QTest::addColumn<int>("handle");

        const QString read = QStringLiteral("Erreur lors de la lecture des pistes");
        QTest::newRow("close fails") << "close" << QStringList{"Impossible d'arrêter la lecture du CD"} << 0 << 7;
        QTest::newRow("open fails") << "open"
                                    << QStringList{"Impossible de lire le CD sur le lecteur Vendor1  Model 1"}
                                    << 0 << 0;
        QTest::newRow("parameter fails") << "param" << QStringList{read} << 3 << 7;
        QTest::newRow("parameter and toc fail") << "param+toc" << QStringList{read, read} << 0 << 7;
        QTest::newRow("toc fails") << "toc" << QStringList{read} << 0 << 7;
    }

    void driveSelectionFailures()
    {
        QFETCH(QString, failure);
        QFETCH(QStringList, messages);
        QFETCH(int, tracks);
        QFETCH(int, handle);

        const QString folder = freshFolder();
        const QString app = freshApp();
        auto owned = scripted(2);
        ScriptedCdReader *reader = owned.get();
        ModalAnswerer answerer;
        auto w = WindowHarness::make(std::move(owned), folder, app);
        QCOMPARE(w->Form_Load(), frmPrincipal::LoadResult::Ready);
        QCOMPARE(w->fields().LlHandleCD.load(), 7);
        QVERIFY(answerer.seen.isEmpty());

        reader->closeResult = failure != QStringLiteral("close");
        reader->nextHandle = failure == QStringLiteral("open") ? 0 : 7;
        reader->setParamResult = !failure.startsWith(QStringLiteral("param"));
        reader->tocStatus = failure.endsWith(QStringLiteral("toc")) ? 0 : 1;
        reader->calls.clear();

        QComboBox *combo = WindowHarness::drives(*w);
        combo->setCurrentIndex(1);
        emit combo->activated(1);

        QCOMPARE(answerer.texts(), messages);
        for (const auto &seen : answerer.seen) {
            QCOMPARE(seen.icon, QMessageBox::Warning);
            QCOMPARE(seen.title, QStringLiteral("Sonalbury CD-MP3"));
        }
        QCOMPARE(WindowHarness::tracks(*w)->topLevelItemCount(), tracks);
        QCOMPARE(w->fields().LlHandleCD.load(), handle);
        QCOMPARE(w->fields().settings.LlLecteur, 1);
        QVERIFY(reader->calls.first().startsWith(QStringLiteral("CloseDrive 7")));
        // Whatever happened, the list is shown unticked.
        QVERIFY(!WindowHarness::trackTexts(*w).join(QString()).contains(QStringLiteral("|x")));

        w->close();
        QCOMPARE(SettingsStore(app).read(QStringLiteral("Lecteur"), QString()), QStringLiteral("1"));
    }

    // The window and the terminal open a disc through the same routine: the same failures
    // give the same texts, in the same order (the terminal puts "Erreur : " before a text
    // that does not say so itself).
    void sameDiscFailuresInWindowAndTerminal_data()
    {
        QTest::addColumn<QString>("failure");
        QTest::addColumn<QStringList>("messages");
        const QString read = QStringLiteral("Erreur lors de la lecture des pistes");
        QTest::newRow("open fails") << "open" << QStringList{"Impossible de lire le CD sur le lecteur Vendor0  Model 0"};
        QTest::newRow("parameter fails") << "param" << QStringList{read};
        QTest::newRow("parameter and toc fail") << "param+toc" << QStringList{read, read};
        QTest::newRow("toc fails") << "toc" << QStringList{read};
        QTest::newRow("toc overflows") << "overflow" << QStringList{read};
    }

    void sameDiscFailuresInWindowAndTerminal()
    {
        QFETCH(QString, failure);
        QFETCH(QStringList, messages);
        const auto script = [&failure] {
            auto reader = scripted(1);
            reader->setTrackLengths({75});
            reader->nextHandle = failure == QStringLiteral("open") ? 0 : 7;
            reader->setParamResult = !failure.startsWith(QStringLiteral("param"));
            reader->tocStatus = failure.endsWith(QStringLiteral("toc")) ? 0 : 1;
            if (failure == QStringLiteral("overflow"))
                reader->toc.back() = TocTime{2147483647, 59, 74};
            return reader;
        };

        ModalAnswerer answerer;
        auto w = WindowHarness::make(script(), freshFolder(), freshApp());
        QCOMPARE(w->Form_Load(), frmPrincipal::LoadResult::Ready);
        QCOMPARE(answerer.texts(), messages);

        auto reader = script();
        FormFields form;
        std::FILE *out = std::tmpfile();
        std::FILE *err = std::tmpfile();
        QVERIFY(out && err);
        const int status = runHeadlessConversion(CommandLine{}, *reader, freshFolder(), freshApp(), form, out, err);
        QFile written;
        std::rewind(err);
        QVERIFY(written.open(err, QIODevice::ReadOnly));
        QStringList lines = QString::fromLocal8Bit(written.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        written.close();
        std::fclose(out);
        std::fclose(err);
        for (QString &line : lines) {
            if (line.startsWith(QStringLiteral("Erreur : ")))
                line.remove(0, 9);
        }
        QCOMPARE(lines.mid(0, messages.size()), messages);
        QCOMPARE(status, 1);
    }

    void reselectingTheOpenDriveClosesItFirst()
    {
        auto owned = scripted(1);
        ScriptedCdReader *reader = owned.get();
        ModalAnswerer answerer;
        auto w = WindowHarness::make(std::move(owned), freshFolder(), freshApp());
        QCOMPARE(w->Form_Load(), frmPrincipal::LoadResult::Ready);
        reader->calls.clear();
        emit WindowHarness::drives(*w)->activated(0);
        QCOMPARE(reader->calls.mid(0, 3),
                 (QStringList{"CloseDrive 7", "GetDriveAddress 0", "OpenDrive 0"}));
        QCOMPARE(WindowHarness::tracks(*w)->topLevelItemCount(), 3);
    }

    // The drive's disc is watched while the window waits: a new disc is listed as a drive
    // change lists it, a drive left empty empties the list without a word, and nothing is
    // asked while a box is open or a batch reads the disc.
    void discChangesAreReadWhileTheWindowWaits()
    {
        auto owned = scripted(1);
        ScriptedCdReader &reader = *owned;
        auto gate = std::make_shared<GatedCdReader::Gate>();
        const auto opener = qScopeGuard([gate] { gate->open(); });
        ModalAnswerer answerer;
        const QString folder = freshFolder();
        // The scripted reader's audio is no WAV file: the batch keeps what it read.
        SettingsStore(freshApp()).write(QStringLiteral("TypeEncodage"), QStringLiteral("1"));
        auto w = WindowHarness::make(std::make_unique<GatedCdReader>(std::move(owned), gate), folder, freshApp());
        QCOMPARE(w->Form_Load(), frmPrincipal::LoadResult::Ready);
        w->show();
        WindowHarness::tracks(*w)->topLevelItem(0)->setCheckState(0, Qt::Checked);
        const QStringList firstDisc = WindowHarness::trackTexts(*w);

        w->checkDiscChanged();
        QCOMPARE(WindowHarness::trackTexts(*w), firstDisc);

        reader.changeDisc({750, 750});
        answerer.onBox = [&](QMessageBox &) { w->checkDiscChanged(); };
        w->Command1_Click(); // "Aucun fichier n'est sélectionné"
        answerer.onBox = nullptr;
        QVERIFY(reader.discChanged); // not even asked
        QCOMPARE(WindowHarness::trackTexts(*w), firstDisc);

        // During a batch: the drive serves the batch alone.
        gate->at = 1;
        QSignalSpy finished(w.get(), &frmPrincipal::batchFinished);
        w->Command_rip_Click();
        QTRY_VERIFY_WITH_TIMEOUT(gate->waiting.load(), 30000);
        w->checkDiscChanged();
        QVERIFY(reader.discChanged);
        gate->open();
        QVERIFY(finished.wait(60000));

        reader.calls.clear();
        w->checkDiscChanged();
        QCOMPARE(WindowHarness::trackTexts(*w), (QStringList{"Piste 1|00:10", "Piste 2|00:10"}));
        QCOMPARE(reader.calls.mid(0, 3), (QStringList{"CloseDrive 7", "GetDriveAddress 0", "OpenDrive 0"}));

        // Taken out: the list empties. The next disc may need a few seconds before it reads:
        // the following questions try it again without any new change.
        reader.nextHandle = 0;
        reader.changeDisc({1500});
        w->checkDiscChanged();
        QCOMPARE(WindowHarness::trackTexts(*w), QStringList());
        reader.nextHandle = 7;
        w->checkDiscChanged();
        QCOMPARE(WindowHarness::trackTexts(*w), QStringList{"Piste 1|00:20"});
        QCOMPARE(answerer.texts(), (QStringList{"Aucun fichier n'est sélectionné", "Rip du CD terminé"}));
    }

    void ejectLetsTheDriveGoFirst()
    {
        auto owned = scripted(1);
        ScriptedCdReader &reader = *owned;
        ModalAnswerer answerer;
        auto w = WindowHarness::make(std::move(owned), freshFolder(), freshApp());
        QCOMPARE(w->Form_Load(), frmPrincipal::LoadResult::Ready);
        QVERIFY(w->findChild<QAction *>(QStringLiteral("ejecter"))->isEnabled());
        reader.calls.clear();
        w->ejecter_Click();
        QCOMPARE(reader.calls, (QStringList{"CloseDrive 7", "ejectMedia 0"}));
        QCOMPARE(WindowHarness::trackTexts(*w), QStringList());
        QCOMPARE(w->fields().LlHandleCD.load(), 0);

        // A drive that keeps its disc says so, and the disc stays listed.
        w->cboLecteurs_Click();
        reader.ejectResult = false;
        w->ejecter_Click();
        QCOMPARE(answerer.texts(), QStringList{"Impossible d'éjecter le disque du lecteur Vendor0  Model 0"});
        QCOMPARE(WindowHarness::tracks(*w)->topLevelItemCount(), 3);
    }

    void savedDriveThatIsGoneSelectsTheFirst_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::newRow("beyond") << "5";
        QTest::newRow("negative") << "-1";
        QTest::newRow("beyond 16 bits") << "70000";
    }

    void savedDriveThatIsGoneSelectsTheFirst()
    {
        QFETCH(QString, stored);
        const QString app = freshApp();
        SettingsStore(app).write(QStringLiteral("Lecteur"), stored);
        ModalAnswerer answerer;
        auto w = WindowHarness::make(scripted(2), freshFolder(), app);
        QCOMPARE(w->Form_Load(), frmPrincipal::LoadResult::Ready);
        QVERIFY(answerer.seen.isEmpty());
        QCOMPARE(WindowHarness::drives(*w)->currentIndex(), 0);
        QCOMPARE(w->fields().settings.LlLecteur, 0);
        w->close();
        QCOMPARE(SettingsStore(app).read(QStringLiteral("Lecteur"), QString()), QStringLiteral("0"));
    }

    // A termination request ends the program whatever dialog is open, and nobody is asked
    // to click: the settings that cannot be written are told on the standard error.
    void terminationClosesOpenDialogs()
    {
        const QString app = freshApp();
        ModalAnswerer answerer;
        auto w = WindowHarness::make(scripted(1), freshFolder(), app);
        QCOMPARE(w->Form_Load(), frmPrincipal::LoadResult::Ready);
        w->show();
#ifdef Q_OS_WIN
        // The registry cannot be made to refuse a user's own key here: the settings are saved.
        const int expectedExit = 0;
#else
        const QString location = SettingsStore(app).location();
        QFile::remove(location);
        QVERIFY(QDir().mkpath(location)); // a folder where the file should go
        const int expectedExit = 1;
#endif
        QSignalSpy unloaded(w.get(), &frmPrincipal::unloaded);
        QTimer::singleShot(0, w.get(), [&w] { w->terminationRequested(); });
        w->propos_Click(); // returns once its dialog is gone
        QCOMPARE(unloaded.size(), 1);
        QVERIFY(answerer.seen.isEmpty());
        QCOMPARE(w->exitCode(), expectedExit);
#ifndef Q_OS_WIN
        QVERIFY(QDir().rmdir(location));
#endif
    }

    void savedDriveIsSelectedAtStartUp()
    {
        const QString app = freshApp();
        SettingsStore(app).write(QStringLiteral("Lecteur"), QStringLiteral("1"));
        ModalAnswerer answerer;
        auto w = WindowHarness::make(scripted(2), freshFolder(), app);
        QCOMPARE(w->Form_Load(), frmPrincipal::LoadResult::Ready);
        QCOMPARE(WindowHarness::drives(*w)->currentText(), QStringLiteral("Vendor1  Model 1"));
    }

    // A table of contents whose positions overflow: no crash, one message, no list.
    void unreadableTableOfContents_data()
    {
        QTest::addColumn<QList<int>>("addresses");
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("last");
        QTest::newRow("overflowing minutes") << QList<int>{150, -1} << 1 << 1;
    }

    void unreadableTableOfContents()
    {
        QFETCH(QList<int>, addresses);
        QFETCH(int, first);
        QFETCH(int, last);
        auto owned = scripted(1);
        owned->toc.clear();
        for (const int a : addresses)
            owned->toc.push_back(a < 0 ? TocTime{2147483647, 59, 74} : TocTime{a / 4500, (a / 75) % 60, a % 75});
        owned->firstTrack = first;
        owned->lastTrack = last;
        ModalAnswerer answerer;
        auto w = WindowHarness::make(std::move(owned), freshFolder(), freshApp());
        QCOMPARE(w->Form_Load(), frmPrincipal::LoadResult::Ready);
        QCOMPARE(answerer.texts(), QStringList{"Erreur lors de la lecture des pistes"});
        QCOMPARE(WindowHarness::tracks(*w)->topLevelItemCount(), 0);
    }

    // Centred by its outer size, frame included, once the window is framed.
    void centredWithItsFrame()
    {
        ModalAnswerer answerer;
        auto w = WindowHarness::make(scripted(1), freshFolder(), freshApp());
        QCOMPARE(w->Form_Load(), frmPrincipal::LoadResult::Ready);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        const auto centred = [&] {
            const QSize outer = w->frameGeometry().size();
            return QPoint(screen.x() + static_cast<int>((screen.width() - outer.width()) / 2.0),
                          screen.y() + static_cast<int>((screen.height() - outer.height()) / 2.0));
        };
        QVERIFY(w->frameGeometry().size() != w->geometry().size());
        QTRY_COMPARE(w->frameGeometry().topLeft(), centred());
    }

    // The titles are the quiz's answers: after titles are applied, the title column takes
    // the room it needs beside the duration, which stays whole in sight; a title longer
    // than the list is shortened on screen and given whole by its tooltip, edited too.
    // The list opens as it always did, and a new disc brings it back.
    void titlesAreReadWhole()
    {
        const QStringList songs = realLengthTitles();
        auto owned = scripted(1);
        owned->setTrackLengths(std::vector<std::int32_t>(std::size_t(songs.size()), 16875));
        ModalAnswerer answerer;
        auto w = WindowHarness::make(std::move(owned), freshFolder(), freshApp());
        QCOMPARE(w->Form_Load(), frmPrincipal::LoadResult::Ready);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        QTreeWidget *list = WindowHarness::tracks(*w);
        const int firstWidth = list->columnWidth(0);
        // 1,440 twips, unless the system's font needs more for "Piste 18" and its box.
        const QAbstractItemView &view = *list;
        QCOMPARE(firstWidth, std::max(96, view.sizeHintForColumn(0)));
        const auto durationWhole = [list] {
            const int right = list->columnViewportPosition(1) + list->columnWidth(1);
            return right <= list->viewport()->width()
                && list->columnWidth(1) >= list->fontMetrics().horizontalAdvance(QStringLiteral("03:45"));
        };
        QVERIFY(durationWhole());

        titles::TitleCandidate chosen;
        chosen.artist = QStringLiteral("Lucie Martin");
        chosen.album = QStringLiteral("Chansons de la ville");
        for (const QString &title : songs)
            chosen.tracks << titles::TrackTitle{title, {}};
        TrackTitles::apply(w->trackList(), titles::applyCandidate(chosen, TrackTitles::fieldsOf(w->trackList())));
        QVERIFY(list->columnWidth(0) > firstWidth);
        // The scroll bar that the longer list brings resizes the viewport: an event away.
        QTRY_VERIFY2(durationWhole(), qPrintable(QStringLiteral("%1+%2 in %3, 03:45 %4")
                                                     .arg(list->columnViewportPosition(1)).arg(list->columnWidth(1))
                                                     .arg(list->viewport()->width())
                                                     .arg(list->fontMetrics().horizontalAdvance(QStringLiteral("03:45")))));
        // Every row whole, or all the room there is.
        const QAbstractItemView &rows = *list;
        const int room = list->viewport()->width() - list->columnWidth(1);
        QVERIFY(list->columnWidth(0) == room || list->columnWidth(0) >= rows.sizeHintForColumn(0));
        if (const QString folder = qEnvironmentVariable("SONALBURY_SCREENSHOTS"); !folder.isEmpty()) {
            list->scrollToBottom(); // the longest titles are the last ones
            QVERIFY(w->grab().save(folder + "/track-list.png"));
        }

        QTreeWidgetItem *item = list->topLevelItem(0);
        const QString tooLong = songs.join(QStringLiteral(" / "));
        item->setText(0, tooLong);
        QCOMPARE(w->trackList().track(1).text, tooLong);
        QCOMPARE(item->toolTip(0), tooLong);
        QCOMPARE(list->columnWidth(0), room);
        QVERIFY(durationWhole());

        emit WindowHarness::drives(*w)->activated(0);
        QCOMPARE(list->topLevelItem(0)->toolTip(0), QStringLiteral("Piste 1"));
        QCOMPARE(list->columnWidth(0), firstWidth);
    }

    // Every track ticked or unticked at once: by the header's box, or with Ctrl+A then
    // Space, as list views do. The list still opens with nothing ticked.
    void tickAllAndUntickAll()
    {
        ModalAnswerer answerer;
        auto w = WindowHarness::make(scripted(1), freshFolder(), freshApp());
        QCOMPARE(w->Form_Load(), frmPrincipal::LoadResult::Ready);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        QTreeWidget *list = WindowHarness::tracks(*w);
        auto *header = dynamic_cast<CheckHeader *>(list->header());
        QVERIFY(header);
        const auto ticks = [&w] {
            QString marks;
            for (std::int32_t n = 1; n <= w->trackList().trackCount(); ++n)
                marks += w->trackList().trackChecked(n) ? QLatin1Char('x') : QLatin1Char('-');
            return marks;
        };
        const auto clickBox = [header] {
            QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, header->boxRect().center());
        };
        QCOMPARE(ticks(), QStringLiteral("---"));
        QCOMPARE(header->checkState(), Qt::Unchecked);

        clickBox();
        QCOMPARE(ticks(), QStringLiteral("xxx"));
        QCOMPARE(header->checkState(), Qt::Checked);
        list->topLevelItem(1)->setCheckState(0, Qt::Unchecked);
        QCOMPARE(header->checkState(), Qt::PartiallyChecked);
        clickBox(); // some ticked: all are
        QCOMPARE(ticks(), QStringLiteral("xxx"));
        clickBox();
        QCOMPARE(ticks(), QStringLiteral("---"));

        list->setFocus();
        QTest::keyClick(list, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(list, Qt::Key_Space);
        QCOMPARE(ticks(), QStringLiteral("xxx"));
        QTest::keyClick(list, Qt::Key_Space);
        QCOMPARE(ticks(), QStringLiteral("---"));
        // One track selected: Space ticks that one only.
        list->setCurrentItem(list->topLevelItem(2));
        QTest::keyClick(list, Qt::Key_Space);
        QCOMPARE(ticks(), QStringLiteral("--x"));
    }

    void tracksFromTheDiscsFirstTrackNumber()
    {
        auto owned = scripted(1);
        owned->setTrackLengths({750, 750, 750});
        owned->firstTrack = 2; // entries 1..3 describe tracks 2 and 3
        ModalAnswerer answerer;
        auto w = WindowHarness::make(std::move(owned), freshFolder(), freshApp());
        QCOMPARE(w->Form_Load(), frmPrincipal::LoadResult::Ready);
        QCOMPARE(WindowHarness::trackTexts(*w), (QStringList{"Piste 2|00:10", "Piste 3|00:10"}));
    }

    // The window's controls where the user expects them, in pixels at 96 dots per inch.
    void layout_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("rect");
        QTest::addColumn<QString>("caption");
        QTest::newRow("fraLecteur") << "fraLecteur" << QRect(4, 4, 427, 45) << "1. Choisissez un lecteur";
        QTest::newRow("cboLecteurs") << "cboLecteurs" << QRect(8, 16, 407, 21) << "";
        QTest::newRow("fraCD") << "fraCD" << QRect(4, 56, 425, 331)
                               << "2. Choisissez les pistes à convertir (cliquez sur le titre pour changer son nom)";
        QTest::newRow("lstPistes") << "lstPistes" << QRect(8, 20, 405, 269) << "";
        QTest::newRow("Frame2") << "Frame2" << QRect(4, 396, 425, 55) << "3. Convertissez les pistes";
        QTest::newRow("Command_rip") << "Command_rip" << QRect(6, 18, 411, 27)
                                     << "Cliquez ici pour convertir les pistes au format mp3";
        QTest::newRow("fraProgression") << "fraProgression" << QRect(4, 460, 427, 45) << "Progression";
        QTest::newRow("prgb") << "prgb" << QRect(8, 16, 343, 21) << "";
        QTest::newRow("btnAnnuler") << "btnAnnuler" << QRect(356, 16, 61, 21) << "Annuler";
        QTest::newRow("Frame3") << "Frame3" << QRect(436, 4, 337, 501) << "Liste des fichiers";
        QTest::newRow("File1") << "File1" << QRect(6, 18, 325, 448) << "";
        QTest::newRow("Command1") << "Command1" << QRect(8, 472, 319, 23) << "Supprimer un fichier";
        QTest::newRow("Frame1") << "Frame1" << QRect(588, 538, 467, 45) << "3. Donnez un nom à la piste";
        QTest::newRow("txtAlbum") << "txtAlbum" << QRect(10, 20, 451, 21) << "titre";
        QTest::newRow("txtArtiste") << "txtArtiste" << QRect(870, 70, 197, 23) << "";
        QTest::newRow("Label1") << "Label1" << QRect(946, 156, 33, 17) << "Artiste";
    }

    void layout()
    {
        QFETCH(QString, name);
        QFETCH(QRect, rect);
        QFETCH(QString, caption);
        ModalAnswerer answerer;
        auto w = WindowHarness::make(scripted(1), freshFolder(), freshApp());
        QCOMPARE(w->Form_Load(), frmPrincipal::LoadResult::Ready);
        auto *widget = w->findChild<QWidget *>(name);
        QVERIFY(widget);
        QCOMPARE(widget->geometry(), rect);
        QString text;
        if (auto *g = qobject_cast<QGroupBox *>(widget))
            text = g->title();
        else if (auto *b = qobject_cast<QPushButton *>(widget))
            text = b->text();
        else if (auto *l = qobject_cast<QLineEdit *>(widget))
            text = l->text();
        else if (auto *label = qobject_cast<QLabel *>(widget))
            text = label->text();
        QCOMPARE(text, caption);
    }

    void windowFrameAndMenu()
    {
        ModalAnswerer answerer;
        auto w = WindowHarness::make(scripted(1), freshFolder(), freshApp());
        QCOMPARE(w->Form_Load(), frmPrincipal::LoadResult::Ready);
        QCOMPARE(w->windowTitle(), QStringLiteral("Sonalbury CD-MP3"));
        QVERIFY(!(w->windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(w->windowFlags() & Qt::WindowMinimizeButtonHint);
        QCOMPARE(w->minimumSize(), w->maximumSize());
        QCOMPARE(w->centralWidget()->size(), QSize(778, 510));
        QCOMPARE(w->statusBar()->height(), 21);
        QVERIFY(!w->windowIcon().isNull());
        QCOMPARE(w->centralWidget()->palette().color(QPalette::Window), QColor(Qt::white));

        QStringList menus;
        for (QAction *top : w->menuBar()->actions()) {
            menus << top->text();
            for (QAction *item : top->menu()->actions())
                menus << QStringLiteral("  ") + (item->isSeparator() ? QStringLiteral("-") : item->text());
        }
        QCOMPARE(menus, (QStringList{"&Fichier", "  &Rechercher les titres...", "  É&jecter le disque", "  -",
                                     "  &Quitter", "&Options", "  &Volume égal pour toutes les pistes",
                                     "  &Couper le silence au début des pistes", "&?", "  Aide", "  -",
                                     "  A &propos de Sonalbury CD-MP3..."}));
        QCOMPARE(w->findChild<QAction *>(QStringLiteral("rechercher"))->shortcut(),
                 QKeySequence(QStringLiteral("Ctrl+T")));

        // Hidden controls stay out of the client area.
        for (const char *hidden : {"Frame1", "txtArtiste", "Label1"}) {
            const QWidget *h = w->findChild<QWidget *>(QString::fromLatin1(hidden));
            QVERIFY(!w->centralWidget()->rect().intersects(h->geometry()));
        }
    }

    void quitSavesTheSettingsAndEnds()
    {
        const QString app = freshApp();
        ModalAnswerer answerer;
        auto w = WindowHarness::make(scripted(2), freshFolder(), app);
        QCOMPARE(w->Form_Load(), frmPrincipal::LoadResult::Ready);
        w->show();
        QSignalSpy unloaded(w.get(), &frmPrincipal::unloaded);
        w->fields().settings.LlBitrate = 256;
        w->quitter_Click();
        QCOMPARE(unloaded.size(), 1);
        QVERIFY(!w->isVisible());
        QCOMPARE(SettingsStore(app).read(QStringLiteral("Bitrate"), QString()), QStringLiteral("256"));
        QCOMPARE(SettingsStore(app).read(QStringLiteral("HauteQualite"), QString()), QStringLiteral("0"));
    }
};

SONALBURY_TEST_MAIN(TstWindow)
#include "tst_window.moc"
