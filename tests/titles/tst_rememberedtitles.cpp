// The titles remembered per disc as a store: what a full disk, a planted entry or a killed
// save does to it. Nothing is lost, nothing outside the store is written, nothing blocks.

#include "FullDisk.h"
#include "PreparedImage.h"
#include "RememberedTitles.h"
#include "TestEnvironment.h"
#include "TestFiles.h"

#include <QtTest>

#ifdef Q_OS_UNIX
#include <sys/wait.h>
#include <unistd.h>
#endif

using titles::TitleCandidate;

namespace {

const QString DiscId = QStringLiteral("MXsnrcgOkbb2H34IbwspNVMJMwA-");

TitleCandidate titlesNamed(const QString &album, const QString &firstTitle = QStringLiteral("Un"))
{
    TitleCandidate candidate;
    candidate.album = album;
    candidate.artist = QStringLiteral("Inès Caron");
    candidate.tracks = {{firstTitle, {}}, {QStringLiteral("Deux"), {}}};
    return candidate;
}

QString albumIn(const titles::RememberedTitles &store)
{
    const std::optional<TitleCandidate> back = store.load(DiscId);
    return back ? back->album : QStringLiteral("(none)");
}

#ifdef Q_OS_UNIX
// The ID of a process that has ended.
qint64 goneProcess()
{
    const pid_t child = fork();
    if (child == 0)
        _exit(0);
    waitpid(child, nullptr, 0);
    return child;
}
#endif

} // namespace

class TestRememberedTitles : public QObject
{
    Q_OBJECT

private slots:
    void fullDiskKeepsThePreviousTitles()
    {
        const QString folder = m_env.freshFolder(QStringLiteral("full"));
        FullDisk disk(folder);
        if (!disk.unavailable().isEmpty())
            QSKIP(qPrintable(disk.unavailable()));
        const titles::RememberedTitles store(folder);
        QVERIFY(store.save(DiscId, titlesNamed(QStringLiteral("Avant"))));
        disk.fill();
        QString error;
        QVERIFY2(!store.save(DiscId, titlesNamed(QStringLiteral("Après")), &error), qPrintable(disk.how()));
        QVERIFY(!error.isEmpty());
        QCOMPARE(albumIn(store), QStringLiteral("Avant"));
        // No working file is left behind.
        QCOMPARE(entries(folder).filter(DiscId), QStringList{DiscId + ".json"});
    }

    void tooLongToBeReadBackIsNotSaved()
    {
        const titles::RememberedTitles store(m_env.freshFolder(QStringLiteral("long")));
        QVERIFY(store.save(DiscId, titlesNamed(QStringLiteral("Court"))));
        QString error;
        const QString huge(static_cast<qsizetype>(titles::RememberedTitles::LargestFile), QLatin1Char('a'));
        QVERIFY(!store.save(DiscId, titlesNamed(QStringLiteral("Long"), huge), &error));
        QVERIFY2(error.contains(QStringLiteral("trop longs")), qPrintable(error));
        QCOMPARE(albumIn(store), QStringLiteral("Court"));
    }

    void plantedEntry_data()
    {
        // What stands at the disc's entry, and whether a save may replace it.
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("replaced");
        QTest::newRow("link to a file elsewhere") << "link" << true;
        QTest::newRow("link to a device") << "device" << true;
        QTest::newRow("dangling link") << "dangling" << true;
        QTest::newRow("FIFO") << "fifo" << true;
        QTest::newRow("folder") << "folder" << false;
        QTest::newRow("file too large to be titles") << "large" << true;
    }
    void plantedEntry()
    {
#ifndef Q_OS_UNIX
        QSKIP("plants links and FIFOs");
#else
        QFETCH(QString, kind);
        QFETCH(bool, replaced);
        const titles::RememberedTitles store(m_env.freshFolder(QStringLiteral("planted")));
        const QString entry = store.folder() + QLatin1Char('/') + DiscId + QStringLiteral(".json");
        const QString outside = m_env.freshFolder(QStringLiteral("outside")) + QStringLiteral("/passwd");
        writeFile(outside, "root:x:0:0");
        if (kind == QStringLiteral("folder"))
            QVERIFY(QDir().mkpath(entry + QStringLiteral("/inside")));
        else if (kind == QStringLiteral("device"))
            QVERIFY(QFile::link(QStringLiteral("/dev/zero"), entry));
        else if (kind == QStringLiteral("large"))
            writeFile(entry, QByteArray(titles::RememberedTitles::LargestFile + 1, ' '));
        else
            plantEntry(entry, kind, outside, outside + QStringLiteral(".absent"));

        // Read without following, opening or waiting.
        QVERIFY(!store.load(DiscId));
        QString error;
        QCOMPARE(store.save(DiscId, titlesNamed(QStringLiteral("Saisons")), &error), replaced);
        QCOMPARE(readAll(outside), QByteArray("root:x:0:0"));
        QVERIFY(!QFileInfo::exists(outside + QStringLiteral(".absent")));
        if (!replaced) {
            QVERIFY(!error.isEmpty());
            QVERIFY(QFileInfo(entry + QStringLiteral("/inside")).isDir());
            QVERIFY(!store.forget(DiscId).isEmpty());
            return;
        }
        QVERIFY(QFileInfo(entry).isFile() && !QFileInfo(entry).isSymLink());
        QCOMPARE(albumIn(store), QStringLiteral("Saisons"));
        QCOMPARE(store.forget(DiscId), QString());
        QVERIFY(!QFileInfo::exists(entry));
        QCOMPARE(store.forget(DiscId), QString()); // nothing left to forget is no failure
#endif
    }

    // A save or a run that was killed leaves its work behind: the next start removes it, but
    // only what this program made, and only when its process is gone.
    void leftoversOfKilledRunsAreSwept()
    {
#ifndef Q_OS_UNIX
        QSKIP("needs fork for a process that is gone");
#else
        const QString temp = m_env.freshFolder(QStringLiteral("tmp"));
        qputenv("TMPDIR", QFile::encodeName(temp));
        const auto restore = qScopeGuard([] { qunsetenv("TMPDIR"); });
        const titles::RememberedTitles store(m_env.freshFolder(QStringLiteral("swept")));
        const QString gone = QString::number(goneProcess());
        const QString running = QString::number(QCoreApplication::applicationPid());
        const QString userFile = m_env.freshFolder(QStringLiteral("user")) + QStringLiteral("/album.txt");
        writeFile(userFile, "mine");

        const QStringList leftovers{DiscId + ".json." + gone + "-aB3dE9"};
        const QStringList kept{DiscId + ".json", DiscId + ".json." + running + "-aB3dE9", "notes." + gone + "-aB3dE9"};
        QVERIFY(store.save(DiscId, titlesNamed(QStringLiteral("Gardé"))));
        for (const QString &name : leftovers + kept.mid(1))
            writeFile(store.folder() + QLatin1Char('/') + name, "{");
        const QString goneImage = temp + "/sonalbury-image-" + gone + "-Xy12Zt";
        QVERIFY(QDir().mkpath(goneImage));
        writeFile(goneImage + "/disc.cue", "FILE");
        QVERIFY(QFile::link(userFile, goneImage + "/disc.bin"));
        const QStringList keptImages{"sonalbury-image-" + running + "-Xy12Zt", "sonalbury-image-Xy12Zt",
                                     "sonalbury-other-" + gone + "-Xy12Zt"};
        for (const QString &name : keptImages)
            QVERIFY(QDir().mkpath(temp + QLatin1Char('/') + name));

        store.sweepLeftovers();
        PreparedImage::sweepLeftovers();
        const auto sorted = [](QStringList names) {
            names.sort();
            return names;
        };
        QCOMPARE(entries(store.folder()), sorted(kept));
        QCOMPARE(entries(temp), sorted(keptImages));
        QCOMPARE(albumIn(store), QStringLiteral("Gardé"));
        QCOMPARE(readAll(userFile), QByteArray("mine"));
#endif
    }

private:
    TestEnvironment m_env;
};

SONALBURY_TEST_MAIN_CORE(TestRememberedTitles)
#include "tst_rememberedtitles.moc"
