#include "MusicFolder.h"
#include "ScriptedCdReader.h"
#include "TestEnvironment.h"
#include "TestPlatform.h"
#include "UnderWine.h"
#include "WindowHarness.h"

#include <QListWidget>
#include <QStandardPaths>
#include <QtTest>

// The music folder list and the deletion to the trash, each case with its own HOME,
// program folder and trash.
class TstMusicFolder : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    int m_case = 0;
    QString m_program;

    static void touch(const QString &path)
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("ID3");
    }

    std::unique_ptr<frmPrincipal> startWith(const QStringList &files)
    {
        auto reader = std::make_unique<ScriptedCdReader>();
        reader->driveText1 << QStringLiteral("Image");
        reader->driveText2 << QStringLiteral("disc.cue");
        reader->setTrackLengths({750});
        QDir().mkpath(m_program + QStringLiteral("/musiques"));
        for (const QString &name : files)
            touch(m_program + QStringLiteral("/musiques/") + name);
        auto w = WindowHarness::make(std::move(reader), m_program, QStringLiteral("musicfolder"));
        if (w->Form_Load() != frmPrincipal::LoadResult::Ready)
            return nullptr;
        return w;
    }

    QString trashed(const QString &name) const
    {
        return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
            + QStringLiteral("/Trash/files/") + name;
    }

    static void select(frmPrincipal &w, const QString &name)
    {
        QListWidget *list = WindowHarness::files(w);
        const auto found = list->findItems(name, Qt::MatchExactly);
        QVERIFY(found.size() == 1);
        list->setCurrentItem(found.first());
    }

private slots:
    void init()
    {
        const QString root = m_dir.filePath(QStringLiteral("case%1").arg(++m_case));
        TestEnvironment::isolate(root);
        m_program = root + QStringLiteral("/program");
        QDir().mkpath(m_program);
    }

    void listingIsSortedWithoutCaseAndHidesHiddenFiles()
    {
        const QString folder = m_program + QStringLiteral("/musiques/");
        QDir().mkpath(folder + QStringLiteral("sous-dossier"));
        for (const char *name : {"zeta.mp3", "Alpha.mp3", "beta.WAV", "notes.txt", ".hidden.mp3", "Été.mp3"})
            touch(folder + QString::fromUtf8(name));
        QCOMPARE(MusicFolder::list(folder),
                 (QStringList{"Alpha.mp3", "beta.WAV", "notes.txt", "zeta.mp3", "Été.mp3"}));
        QCOMPARE(MusicFolder::path(QStringLiteral("/opt/quiz")), QStringLiteral("/opt/quiz/musiques/"));
        QCOMPARE(MusicFolder::path(QStringLiteral("/")), QStringLiteral("/musiques/"));
    }

    void nothingSelectedDeletesNothing()
    {
        auto w = startWith({QStringLiteral("a.mp3")});
        QVERIFY(w);
        w->show();
        ModalAnswerer answerer;
        w->Command1_Click();
        QCOMPARE(answerer.seen.size(), 1);
        QCOMPARE(answerer.seen[0].text, QStringLiteral("Aucun fichier n'est sélectionné"));
        QCOMPARE(answerer.seen[0].title, QStringLiteral("Sonalbury CD-MP3"));
        QCOMPARE(answerer.seen[0].icon, QMessageBox::NoIcon);
        QVERIFY(QFile::exists(m_program + QStringLiteral("/musiques/a.mp3")));
        QCOMPARE(w->focusWidget(), WindowHarness::files(*w));
    }

    void emptyListDeletesNothing()
    {
        auto w = startWith({});
        QVERIFY(w);
        ModalAnswerer answerer;
        w->Command1_Click();
        QCOMPARE(answerer.texts(), QStringList{"Aucun fichier n'est sélectionné"});
    }

    void deletingTheOnlyFileEmptiesTheList()
    {
        SKIP_UNDER_WINE("Wine has no recycle bin");
        auto w = startWith({QStringLiteral("Piste 1.mp3")});
        QVERIFY(w);
        select(*w, QStringLiteral("Piste 1.mp3"));
        ModalAnswerer answerer;
        answerer.answers = {QMessageBox::Yes};
        w->Command1_Click();
        QCOMPARE(answerer.texts(),
                 QStringList{"Voulez-vous vraiment envoyer « Piste 1.mp3 » dans la corbeille ?"});
        QVERIFY(!QFile::exists(m_program + QStringLiteral("/musiques/Piste 1.mp3")));
        QVERIFY(QFile::exists(trashed(QStringLiteral("Piste 1.mp3"))));
        QVERIFY(WindowHarness::fileNames(*w).isEmpty());
    }

    void refusalKeepsTheFileAndClearsTheSelection()
    {
        auto w = startWith({QStringLiteral("a.mp3"), QStringLiteral("b.wav")});
        QVERIFY(w);
        select(*w, QStringLiteral("b.wav"));
        ModalAnswerer answerer;
        answerer.answers = {QMessageBox::No};
        w->Command1_Click();
        QCOMPARE(answerer.seen.size(), 1);
        QVERIFY(QFile::exists(m_program + QStringLiteral("/musiques/b.wav")));
        QCOMPARE(WindowHarness::fileNames(*w), (QStringList{"a.mp3", "b.wav"}));
        QCOMPARE(WindowHarness::files(*w)->currentRow(), -1);
        QVERIFY(WindowHarness::files(*w)->selectedItems().isEmpty());
    }

    void fileThatVanishedIsReportedAndTheListRefreshed()
    {
        auto w = startWith({QStringLiteral("a.mp3"), QStringLiteral("b.mp3")});
        QVERIFY(w);
        select(*w, QStringLiteral("a.mp3"));
        QVERIFY(QFile::remove(m_program + QStringLiteral("/musiques/a.mp3")));
        ModalAnswerer answerer;
        answerer.answers = {QMessageBox::Yes};
        w->Command1_Click();
        QCOMPARE(answerer.seen.size(), 2);
        QVERIFY(answerer.seen[1].text.startsWith(QStringLiteral("Impossible d'envoyer « a.mp3 » dans la corbeille")));
        QCOMPARE(answerer.seen[1].icon, QMessageBox::Warning);
        QCOMPARE(WindowHarness::fileNames(*w), QStringList{"b.mp3"});
    }

    void missingDataFolderStillGivesARealTrash()
    {
        SKIP_UNDER_WINE("Wine has no recycle bin");
        // The data folder does not exist yet: the file must land in the trash, not in the
        // current directory.
        const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
        QDir(data).removeRecursively();
        const QString cwd = QDir::currentPath();
        QDir::setCurrent(m_program);
        const QString file = m_program + QStringLiteral("/musiques/x.mp3");
        QDir().mkpath(m_program + QStringLiteral("/musiques"));
        touch(file);
        QString error;
        const bool moved = MusicFolder::moveToTrash(file, &error);
        QDir::setCurrent(cwd);
        QVERIFY2(moved, qPrintable(error));
        QVERIFY(!QFile::exists(file));
        QVERIFY(QFile::exists(trashed(QStringLiteral("x.mp3"))));
        QVERIFY(!QFile::exists(m_program + QStringLiteral("/x.mp3")));
    }

    // A music folder that cannot be made or written (Program Files for a user without
    // administrator rights) is explained before anything starts: which folder, why, what
    // to do. Nothing is written anywhere else.
    void unusableMusicFolderIsExplained_data()
    {
        QTest::addColumn<bool>("readOnly"); // else a file stands where the folder should be
        QTest::newRow("a file in its place") << false;
        QTest::newRow("read-only folder") << true;
    }

    void unusableMusicFolderIsExplained()
    {
        QFETCH(bool, readOnly);
        if (readOnly && !TestPlatform::folderPermissionsBind())
            QSKIP("folder permissions do not bind this user (the superuser, or anyone on Windows)");
        const QString program = m_program + QStringLiteral("/Sonalbury Quiz été");
        const QString folder = MusicFolder::path(program);
        QVERIFY(QDir().mkpath(program));
        QVERIFY(MusicFolder::prepare(MusicFolder::path(m_program)).isEmpty());
        if (readOnly) {
            QVERIFY(QDir().mkpath(folder));
            QVERIFY(QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        } else {
            touch(program + QStringLiteral("/musiques"));
        }
        const QString problem = MusicFolder::prepare(folder);
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        const QString shown = QDir::toNativeSeparators(program + QStringLiteral("/musiques"));
        QVERIFY2(problem.startsWith((readOnly ? QStringLiteral("Impossible d'écrire dans le dossier des musiques « ")
                                              : QStringLiteral("Impossible de créer le dossier des musiques « "))
                                    + shown + QStringLiteral(" » : ")),
                 qPrintable(problem));
        QVERIFY2(problem.contains(QStringLiteral("Placez le programme dans un dossier où vous pouvez écrire")),
                 qPrintable(problem));
        QCOMPARE(QDir(program).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{QStringLiteral("musiques")});
        if (readOnly)
            QVERIFY(QDir(folder).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
    }

    void fileAddedOutsideShowsAfterTheNextRefresh()
    {
        auto w = startWith({QStringLiteral("a.mp3"), QStringLiteral("b.mp3")});
        QVERIFY(w);
        touch(m_program + QStringLiteral("/musiques/c.mp3"));
        QCOMPARE(WindowHarness::fileNames(*w).size(), 2);
        select(*w, QStringLiteral("a.mp3"));
        ModalAnswerer answerer;
        answerer.answers = {QMessageBox::Yes};
        w->Command1_Click();
        // The list is the folder as it now is (a.mp3 stays where no recycle bin takes it).
        QVERIFY(WindowHarness::fileNames(*w).contains(QStringLiteral("c.mp3")));
        QCOMPARE(WindowHarness::fileNames(*w),
                 QDir(m_program + QStringLiteral("/musiques")).entryList(QDir::Files, QDir::Name));
        if (!underWine())
            QCOMPARE(WindowHarness::fileNames(*w), (QStringList{"b.mp3", "c.mp3"}));
    }
};

SONALBURY_TEST_MAIN(TstMusicFolder)
#include "tst_musicfolder.moc"
