#include "MusicFolderLock.h"
#include "TestEnvironment.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QSysInfo>
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
    void whatStandsAtTheLockName_data();
    void whatStandsAtTheLockName();
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

namespace {

// A lock file as QLockFile writes it, for a process and a computer.
QByteArray lockText(qint64 pid, const QByteArray &host, const QByteArray &hostId)
{
    return QByteArray::number(pid) + "\nsonalbury-cdmp3\n" + host + "\n" + hostId + "\n" + QSysInfo::bootUniqueId()
           + "\n";
}

} // namespace

void TestMusicFolderLock::whatStandsAtTheLockName_data()
{
    // What stands at the lock's name, whether the batch may take the folder, and a piece of
    // the refusal (the lock file's name, so the user can remove it).
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<bool>("taken");
    const QByteArray here = QSysInfo::machineHostName().toUtf8();
    const QByteArray hereId = QSysInfo::machineUniqueId();
    // The highest PID Linux can give, never a running process in a test.
    const qint64 deadPid = 4194304;
    QTest::newRow("empty file (a power cut)") << "file" << QByteArray() << true;
    QTest::newRow("garbage") << "file" << QByteArray("\x7f\x01 not a lock \xff") << true;
    QTest::newRow("dead process of this computer") << "file" << lockText(deadPid, here, hereId) << true;
    QTest::newRow("another computer") << "file" << lockText(4242, "poste-du-salon", "0123456789abcdef0123456789abcdef")
                                      << false;
    QTest::newRow("dangling link") << "dangling" << QByteArray() << true;
    QTest::newRow("link to a file elsewhere") << "link" << QByteArray() << true;
    QTest::newRow("FIFO") << "fifo" << QByteArray() << true;
    QTest::newRow("empty folder") << "folder" << QByteArray() << true;
    QTest::newRow("folder with contents") << "full folder" << QByteArray() << false;
    QTest::newRow("unreadable file") << "unreadable" << lockText(4242, here, hereId) << true;
}

void TestMusicFolderLock::whatStandsAtTheLockName()
{
#ifndef Q_OS_UNIX
    QSKIP("plants links and FIFOs");
#else
    QFETCH(QString, kind);
    QFETCH(QByteArray, contents);
    QFETCH(bool, taken);
    if (kind == QStringLiteral("unreadable") && ::geteuid() == 0)
        QSKIP("root reads every file");
    QTemporaryDir music;
    QTemporaryDir elsewhere;
    const QString lockPath = QDir(music.path()).filePath(MusicFolderLock::fileName());
    const QString target = elsewhere.filePath(QStringLiteral("notes.txt"));
    writeFile(target, "the user's notes");
    if (kind == QStringLiteral("folder") || kind == QStringLiteral("full folder"))
        QVERIFY(QDir().mkpath(lockPath));
    if (kind == QStringLiteral("full folder"))
        writeFile(lockPath + QStringLiteral("/keep.txt"), "kept");
    if (kind == QStringLiteral("file") || kind == QStringLiteral("unreadable"))
        writeFile(lockPath, contents);
    if (kind == QStringLiteral("unreadable"))
        QVERIFY(QFile::setPermissions(lockPath, QFileDevice::Permissions()));
    if (kind == QStringLiteral("link") || kind == QStringLiteral("dangling") || kind == QStringLiteral("fifo"))
        plantEntry(lockPath, kind, target, elsewhere.filePath(QStringLiteral("absent")));

    MusicFolderLock lock(music.path());
    QCOMPARE(lock.tryLock(), taken);
    // Whatever stood there, nothing outside the folder changed.
    QCOMPARE(readAll(target), QByteArray("the user's notes"));
    if (taken) {
        QVERIFY2(lock.failure().isEmpty(), qPrintable(lock.failure()));
        QVERIFY(QFileInfo(lockPath).isFile() && !QFileInfo(lockPath).isSymLink());
        lock.unlock();
        QCOMPARE(entries(music.path()), QStringList());
        return;
    }
    QVERIFY(lock.heldElsewhere());
    QVERIFY2(lock.failure().contains(QDir::toNativeSeparators(lockPath)), qPrintable(lock.failure()));
    if (kind == QStringLiteral("file")) {
        // Only the user can know the other computer is not converting: the lock stays.
        QVERIFY(lock.failure().contains(QStringLiteral("poste-du-salon")));
        QCOMPARE(readAll(lockPath), contents);
        // Once the user removed it, the folder is free.
        QVERIFY(QFile::remove(lockPath));
        QVERIFY(lock.tryLock());
    } else {
        QCOMPARE(readAll(lockPath + QStringLiteral("/keep.txt")), QByteArray("kept"));
    }
#endif
}

SONALBURY_TEST_MAIN_CORE(TestMusicFolderLock)

#include "tst_musicfolderlock.moc"
