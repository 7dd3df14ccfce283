#include "MusicFolderLock.h"
#include "TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QtTest>

#ifdef Q_OS_UNIX
#include <sys/wait.h>
#include <unistd.h>
#endif

class TestMusicFolderLock : public QObject
{
    Q_OBJECT

private slots:
    void oneBatchAtATime();
    void staleLockIsTakenOver();
};

void TestMusicFolderLock::oneBatchAtATime()
{
    QTemporaryDir music;
    MusicFolderLock first(music.path());
    MusicFolderLock second(music.path());
    QVERIFY(first.tryLock());
    QVERIFY(!second.tryLock());
    QCOMPARE(second.failure(), QStringLiteral("Une autre conversion utilise déjà le dossier musiques."));
    QCOMPARE(second.failure(), MusicFolderLock::refusalText());
    // The lock is a hidden file: the music folder shows no trace of it.
    QCOMPARE(QDir(music.path()).entryList(QDir::Files), QStringList());
    first.unlock();
    QVERIFY(second.tryLock());
    QCOMPARE(second.failure(), QString());
}

void TestMusicFolderLock::staleLockIsTakenOver()
{
#ifndef Q_OS_UNIX
    QSKIP("needs fork to leave a lock behind");
#else
    // A batch killed in the middle leaves its lock file: the next batch takes it over.
    QTemporaryDir music;
    const pid_t child = fork();
    if (child == 0) {
        MusicFolderLock dying(music.path());
        _exit(dying.tryLock() ? 0 : 1);
    }
    int status = -1;
    QCOMPARE(waitpid(child, &status, 0), child);
    QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    QVERIFY(QFile::exists(QDir(music.path()).filePath(MusicFolderLock::fileName())));
    MusicFolderLock next(music.path());
    QVERIFY2(next.tryLock(), qPrintable(next.failure()));
#endif
}

SONALBURY_TEST_MAIN_CORE(TestMusicFolderLock)

#include "tst_musicfolderlock.moc"
