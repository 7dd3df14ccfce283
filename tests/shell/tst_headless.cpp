#include "DiscImage.h"
#include "Mp3Check.h"
#include "TestEnvironment.h"

#include <QProcess>
#include <QtTest>
#include <csignal>

// The program without a window: --convert on a disc image, as a script or a user at a
// terminal would run it.
class TstHeadless : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    int m_case = 0;
    QString m_program; // a copy of the executable in a folder of its own
    QString m_cue;
    discimage::Spec m_spec;

    QString music() const { return QFileInfo(m_program).path() + QStringLiteral("/musiques/"); }

    void prepare(const std::vector<std::int32_t> &frames)
    {
        const QString folder = m_dir.filePath(QStringLiteral("case%1").arg(++m_case));
        QDir().mkpath(folder + QStringLiteral("/bin"));
        m_program = folder + QStringLiteral("/bin/sonalbury-cdmp3");
        QVERIFY(QFile::copy(QString::fromLocal8Bit(qgetenv("SONALBURY_TEST_BIN"))
                                + QStringLiteral("/src/shell/sonalbury-cdmp3"),
                            m_program));
        m_spec = discimage::Spec{};
        for (const std::int32_t f : frames)
            m_spec.tracks.push_back(discimage::Track{f, 0, false});
        m_cue = discimage::write(folder + QStringLiteral("/disc"), m_spec);
    }

    int run(const QStringList &args, QString *out = nullptr, QString *err = nullptr)
    {
        QProcess p;
        p.start(m_program, args);
        if (!p.waitForFinished(120000))
            return -1;
        if (out)
            *out = QString::fromLocal8Bit(p.readAllStandardOutput());
        if (err)
            *err = QString::fromLocal8Bit(p.readAllStandardError());
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    }

    QStringList musicFiles() const { return QDir(music()).entryList(QDir::Files, QDir::Name); }

private slots:
    void convertsTheWholeDisc()
    {
        prepare({300, 200, 250});
        QString out;
        QString err;
        QCOMPARE(run({QStringLiteral("--image"), m_cue, QStringLiteral("--convert")}, &out, &err), 0);
        QVERIFY2(err.isEmpty(), qPrintable(err));
        QCOMPARE(musicFiles(), (QStringList{"Piste 1.mp3", "Piste 2.mp3", "Piste 3.mp3"}));
        QVERIFY(out.contains(QStringLiteral("Etat : Extraction de Piste 2\nEtat : Encodage de Piste 2\n")));
        QVERIFY(out.contains(QStringLiteral("Rip du CD terminé")));
        QVERIFY(out.contains(music() + QStringLiteral("Piste 3.mp3")));
        for (int n = 1; n <= 3; ++n) {
            const auto audio = Mp3Check::decodeMp3(music() + QStringLiteral("Piste %1.mp3").arg(n));
            QCOMPARE(audio.frames(), qint64(m_spec.tracks[std::size_t(n - 1)].frames) * 588);
        }
    }

    void convertsTheListedTracks()
    {
        prepare({100, 100, 100, 100});
        QCOMPARE(run({QStringLiteral("--convert"), QStringLiteral("2-3"), QStringLiteral("--image"), m_cue}), 0);
        QCOMPARE(musicFiles(), (QStringList{"Piste 2.mp3", "Piste 3.mp3"}));
    }

    void failingTrackGivesAFailureStatus()
    {
        prepare({100, 100});
        // A folder stands where track 1's MP3 file should go.
        QVERIFY(QDir().mkpath(music() + QStringLiteral("Piste 1.mp3/keep")));
        QString err;
        QCOMPARE(run({QStringLiteral("--image"), m_cue, QStringLiteral("--convert")}, nullptr, &err), 1);
        QVERIFY(err.contains(QStringLiteral("Piste 1")));
        QVERIFY(musicFiles().contains(QStringLiteral("Piste 2.mp3")));
    }

    void trackThatTheDiscLacksIsRefused()
    {
        prepare({100});
        QString err;
        QCOMPARE(run({QStringLiteral("--image"), m_cue, QStringLiteral("--convert"), QStringLiteral("1,4")},
                     nullptr, &err),
                 2);
        QVERIFY(err.contains(QStringLiteral("piste 4")));
        QVERIFY(musicFiles().isEmpty());
    }

    void missingImageIsReported()
    {
        prepare({100});
        QString err;
        QVERIFY(run({QStringLiteral("--image"), m_cue + QStringLiteral(".absent"), QStringLiteral("--convert")},
                    nullptr, &err)
                != 0);
        QVERIFY(err.contains(QStringLiteral("Impossible de lire le CD")));
    }

    void interruptRemovesTheUnfinishedFiles()
    {
        prepare({100, 30000});
        QProcess p;
        p.start(m_program, {QStringLiteral("--image"), m_cue, QStringLiteral("--convert")});
        QVERIFY(p.waitForStarted());
        QString out;
        QTRY_VERIFY_WITH_TIMEOUT((out += QString::fromLocal8Bit(p.readAllStandardOutput()))
                                     .contains(QStringLiteral("Etat : Extraction de Piste 2")),
                                 60000);
        ::kill(static_cast<pid_t>(p.processId()), SIGINT);
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QVERIFY(p.exitCode() != 0);
        QCOMPARE(musicFiles(), QStringList{"Piste 1.mp3"});
    }

    void helpAndBadArguments()
    {
        prepare({100});
        QString out;
        QCOMPARE(run({QStringLiteral("--help")}, &out), 0);
        QVERIFY(out.contains(QStringLiteral("Utilisation")));
        QString err;
        QCOMPARE(run({QStringLiteral("--convert=abc")}, nullptr, &err), 2);
        QVERIFY(err.contains(QStringLiteral("Liste de pistes incorrecte")));
    }
};

SONALBURY_TEST_MAIN_CORE(TstHeadless)
#include "tst_headless.moc"
