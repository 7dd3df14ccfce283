#include "DiscImage.h"
#include "HeadlessConversion.h"
#include "TerminalView.h"
#include "LoudnessMeter.h"
#include "Mp3Check.h"
#include "SettingsStore.h"
#include "TestEnvironment.h"

#include <QProcess>
#include <QtTest>
#include <cmath>
#include <csignal>
#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <filesystem>
#include <pty.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace {

// What a terminal shows once it has been sent these bytes: enough of a terminal for the
// progress block (carriage return, line feed, erase to the end of the line or of the
// screen, cursor up).
class Screen
{
public:
    QStringList lines{QString()};
    int row = 0;
    int column = 0;

    void feed(const QString &text)
    {
        for (qsizetype i = 0; i < text.size(); ++i) {
            const QChar c = text.at(i);
            if (c == QLatin1Char('\r')) {
                column = 0;
            } else if (c == QLatin1Char('\n')) {
                ++row;
                column = 0;
                while (lines.size() <= row)
                    lines << QString();
            } else if (c == QChar(0x1b) && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('[')) {
                qsizetype end = i + 2;
                while (end < text.size() && (text.at(end).isDigit() || text.at(end) == QLatin1Char(';')))
                    ++end;
                if (end >= text.size())
                    return;
                const int count = std::max(1, text.mid(i + 2, end - i - 2).toInt());
                const QChar command = text.at(end);
                if (command == QLatin1Char('A')) {
                    row = std::max(0, row - count);
                } else if (command == QLatin1Char('K')) {
                    lines[row].truncate(column);
                } else if (command == QLatin1Char('J')) {
                    lines[row].truncate(column);
                    while (lines.size() > row + 1)
                        lines.removeLast();
                }
                i = end;
            } else {
                QString &line = lines[row];
                if (line.size() < column)
                    line += QString(column - line.size(), QLatin1Char(' '));
                line.replace(column, 1, c);
                ++column;
            }
        }
    }

    // Lines now on the screen that show an encoding under way.
    int encodingsShown() const
    {
        int count = 0;
        for (const QString &line : lines) {
            if (line.contains(QStringLiteral("Etat : Encodage de")) && !line.contains(QStringLiteral("100 %")))
                ++count;
        }
        return count;
    }
};

#ifdef Q_OS_UNIX
// Ctrl+C (or another signal) for a program that still runs (kill(0, ...) would hit the test
// itself).
bool interrupt(QProcess &process, int signalNumber = SIGINT)
{
    const qint64 pid = process.processId();
    return process.state() == QProcess::Running && pid > 0
           && ::kill(static_cast<pid_t>(pid), signalNumber) == 0;
}
#endif

#ifdef Q_OS_WIN
const QString ProgramFile = QStringLiteral("sonalbury-cdmp3.exe");
#else
const QString ProgramFile = QStringLiteral("sonalbury-cdmp3");
#endif

} // namespace

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
    discimage::DiscLayout m_discLayout;

    QString music() const { return QFileInfo(m_program).path() + QStringLiteral("/musiques/"); }

    void prepare(const std::vector<std::int32_t> &frames)
    {
        const QString folder = m_dir.filePath(QStringLiteral("case%1").arg(++m_case));
        QDir().mkpath(folder + QStringLiteral("/bin"));
        m_program = folder + QStringLiteral("/bin/") + ProgramFile;
        QVERIFY(QFile::copy(QString::fromLocal8Bit(qgetenv("SONALBURY_TEST_BIN"))
                                + QStringLiteral("/src/shell/") + ProgramFile,
                            m_program));
        m_discLayout = discimage::DiscLayout{};
        for (const std::int32_t f : frames)
            m_discLayout.tracks.push_back(discimage::Track{f, 0, false});
        m_cue = discimage::write(folder + QStringLiteral("/disc"), m_discLayout);
    }

    // Lines as the tests write them: on Windows the program's standard streams end their
    // lines the Windows way, CR LF.
    static QString lines(const QByteArray &bytes)
    {
        QString text = QString::fromUtf8(bytes);
#ifdef Q_OS_WIN
        text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
#endif
        return text;
    }

    // The program's output is UTF-8 (the locale's encoding on Linux, the console's as the
    // program sets it on Windows).
    int run(const QStringList &args, QString *out = nullptr, QString *err = nullptr)
    {
        QProcess p;
        p.start(m_program, args);
        if (!p.waitForFinished(120000))
            return -1;
        if (out)
            *out = lines(p.readAllStandardOutput());
        if (err)
            *err = lines(p.readAllStandardError());
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    }

    QStringList musicFiles() const { return QDir(music()).entryList(QDir::Files, QDir::Name); }

    // Everything in the music folder, hidden entries included.
    QStringList musicEntries() const
    {
        return QDir(music()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                       QDir::Name);
    }

    struct Result
    {
        int status = -1;
        QString out;
        QString err;
        QStringList files;
        QString folder; // where the files were moved after the run
    };

    // Converts every track with this many jobs, then moves the music folder aside.
    Result convertWith(int jobs, const QStringList &blockedNames)
    {
        for (const QString &name : blockedNames)
            QDir().mkpath(music() + name + QStringLiteral("/keep"));
        Result result;
        // Told to replace, so that a folder in the way makes its track fail.
        result.status = run({QStringLiteral("--image"), m_cue, QStringLiteral("--convert"), QStringLiteral("--jobs"),
                             QString::number(jobs), QStringLiteral("--remplacer")},
                            &result.out, &result.err);
        result.files = musicFiles();
        result.folder = QFileInfo(m_program).path() + QStringLiteral("/jobs%1").arg(jobs);
        QDir().rename(music(), result.folder);
        return result;
    }

private slots:
    // --volume-egal and --couper-silence turn the options on for this run, with several
    // jobs: a track opening with two seconds of silence loses them, a quiet track comes out
    // at -18 LUFS; the settings keep the options off.
    void levelOptionsForThisRun()
    {
        prepare({100});
        m_discLayout = discimage::DiscLayout{};
        m_discLayout.audio = discimage::Audio::Music;
        m_discLayout.tracks = {discimage::Track{600, 0, false}, discimage::Track{600, 0, false}};
        m_discLayout.shapes.resize(2);
        m_discLayout.shapes[0].leadingSilence = 150;
        m_discLayout.shapes[1].loudness = -28.0;
        m_cue = discimage::write(QFileInfo(m_cue).path() + QStringLiteral("/disc"), m_discLayout);

        QString err;
        QCOMPARE(run({QStringLiteral("--image"), m_cue, QStringLiteral("--convert"), QStringLiteral("--jobs"),
                      QStringLiteral("2"), QStringLiteral("--volume-egal"), QStringLiteral("--couper-silence")},
                     nullptr, &err),
                 0);
        const auto cut = Mp3Check::decodeMp3(music() + QStringLiteral("Piste 1.mp3"));
        QVERIFY(cut.frames() <= 600 * 588 - 44100);
        const auto quiet = Mp3Check::decodeMp3(music() + QStringLiteral("Piste 2.mp3"));
        LoudnessMeter meter(2, 44100, LoudnessMeter::Loudness);
        meter.add(quiet.samples.data(), quiet.samples.size() / 2);
        QVERIFY2(std::abs(meter.integratedLoudness() - -18.0) <= 0.5,
                 qPrintable(QString::number(meter.integratedLoudness())));
        QCOMPARE(SettingsStore(QStringLiteral("sonalbury-cdmp3")).read(QStringLiteral("VolumeEgal"), QStringLiteral("absent")),
                 QStringLiteral("absent"));
    }

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
        QVERIFY(out.contains(QDir::toNativeSeparators(music() + QStringLiteral("Piste 3.mp3"))));
        for (int n = 1; n <= 3; ++n) {
            const auto audio = Mp3Check::decodeMp3(music() + QStringLiteral("Piste %1.mp3").arg(n));
            QCOMPARE(audio.frames(), qint64(m_discLayout.tracks[std::size_t(n - 1)].frames) * 588);
        }
    }

    // The disc's CD-Text names the files without a word from the network; the titles
    // converted with come first at the next run.
    void titresNameTheFilesFromTheCdText()
    {
        prepare({100, 100});
        m_discLayout.title = QStringLiteral("L’hiver");
        m_discLayout.performer = QStringLiteral("Inès Caron");
        m_discLayout.trackTexts = {{QStringLiteral("Flocon"), {}}, {QStringLiteral("Neige / glace"), {}}};
        m_cue = discimage::write(QFileInfo(m_cue).path() + QStringLiteral("/disc"), m_discLayout);
        qputenv("SONALBURY_MUSICBRAINZ_URL", "http://127.0.0.1:1");
        const auto unset = qScopeGuard([] { qunsetenv("SONALBURY_MUSICBRAINZ_URL"); });
        const QStringList args{QStringLiteral("--image"), m_cue, QStringLiteral("--convert"), QStringLiteral("--titres")};
        QString out;
        QString err;
        QCOMPARE(run(args, &out, &err), 0);
        QVERIFY2(out.startsWith(QStringLiteral("Titres : Inès Caron — L’hiver (CD-Text)\n")), qPrintable(out));
        // The disc's own titles are enough: the network is not asked at all.
        QVERIFY2(!err.contains(QStringLiteral("MusicBrainz")) && !err.contains(QStringLiteral("CDDB")), qPrintable(err));
        QCOMPARE(musicFiles(), (QStringList{"Flocon.mp3", "Neige _ glace.mp3"}));
        const Mp3Check::Tags tags = Mp3Check::readTags(music() + QStringLiteral("Neige _ glace.mp3"));
        QCOMPARE(tags.title, QStringLiteral("Neige / glace"));
        QCOMPARE(tags.artist, QStringLiteral("Inès Caron"));
        QCOMPARE(tags.album, QStringLiteral("L’hiver"));

        // The files of the first run are this disc's: they are replaced only when asked.
        QCOMPARE(run(args, &out, &err), 1);
        QVERIFY2(err.contains(QStringLiteral("contient déjà « Flocon.mp3 » : gardé")), qPrintable(err));
        QCOMPARE(run(args + QStringList{QStringLiteral("--remplacer")}, &out, &err), 0);
        QVERIFY2(out.startsWith(QStringLiteral("Titres : Inès Caron — L’hiver (Titres enregistrés (")), qPrintable(out));
        QVERIFY2(err.contains(QStringLiteral("Autre réponse : Inès Caron — L’hiver (CD-Text)\n")), qPrintable(err));
    }

    // Without an answer on the disc, the network is asked; a service that cannot be reached
    // says why in French, as the window does.
    void titresNetworkFailureInFrench()
    {
        prepare({100});
        qputenv("SONALBURY_MUSICBRAINZ_URL", "http://127.0.0.1:1");
        const auto unset = qScopeGuard([] { qunsetenv("SONALBURY_MUSICBRAINZ_URL"); });
        QString err;
        QCOMPARE(run({QStringLiteral("--image"), m_cue, QStringLiteral("--convert"), QStringLiteral("--titres")},
                     nullptr, &err),
                 0);
        QVERIFY2(err.contains(QStringLiteral("MusicBrainz : connexion impossible (Connexion refusée).")),
                 qPrintable(err));
        // The terminal names its own way of giving the CDDB address, not the chooser's field.
        QVERIFY2(err.contains(QStringLiteral("adresse électronique (option --courriel ADRESSE).")), qPrintable(err));
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

    void listsOnlyTheFilesOfThisRun()
    {
        prepare({100, 100});
        // Track 1 fails (its WAV file cannot be cleared); its MP3 of an earlier run stays,
        // but was not made now.
        QVERIFY(QDir().mkpath(music() + QStringLiteral("Piste 1.wav/keep")));
        QFile earlier(music() + QStringLiteral("Piste 1.mp3"));
        QVERIFY(earlier.open(QIODevice::WriteOnly) && earlier.write("earlier run") == 11);
        earlier.close();
        QString out;
        QCOMPARE(run({QStringLiteral("--image"), m_cue, QStringLiteral("--convert")}, &out), 1);
        QVERIFY2(out.endsWith(QStringLiteral("\n") + QDir::toNativeSeparators(music() + QStringLiteral("Piste 2.mp3")) + QStringLiteral("\n")), qPrintable(out));
        QVERIFY2(!out.contains(QStringLiteral("Piste 1.mp3")), qPrintable(out));
        QVERIFY(earlier.open(QIODevice::ReadOnly));
        QCOMPARE(earlier.readAll(), QByteArray("earlier run"));
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
        QCOMPARE(run({QStringLiteral("--image"), m_cue + QStringLiteral(".absent"), QStringLiteral("--convert")},
                     nullptr, &err),
                 2);
        QVERIFY2(err.contains(QStringLiteral("Fichier image introuvable : « %1.absent »").arg(QDir::toNativeSeparators(m_cue))),
                 qPrintable(err));
    }

    void interruptRemovesTheUnfinishedFiles_data()
    {
        QTest::addColumn<int>("signalNumber");
        QTest::addColumn<bool>("ignoredByCaller");
#ifdef Q_OS_UNIX
        QTest::newRow("Ctrl+C") << int(SIGINT) << false;
        QTest::newRow("kill") << int(SIGTERM) << false;
        QTest::newRow("terminal closed") << int(SIGHUP) << false;
        QTest::newRow("Ctrl+\\") << int(SIGQUIT) << false;
        // nohup: the caller wants the conversion to outlive the terminal.
        QTest::newRow("terminal closed under nohup") << int(SIGHUP) << true;
#else
        QTest::newRow("Ctrl+C") << int(SIGINT) << false;
#endif
    }

    void interruptRemovesTheUnfinishedFiles()
    {
#ifndef Q_OS_UNIX
        QSKIP("signals to another process are a Unix matter; Ctrl+C on Windows is checked by hand");
#else
        QFETCH(int, signalNumber);
        QFETCH(bool, ignoredByCaller);
        prepare({100, 30000});
        QProcess p;
        // What the program inherits: the defaults (whatever runs the tests), or the signal
        // set aside.
        p.setChildProcessModifier([signalNumber, ignoredByCaller] {
            for (const int each : {SIGINT, SIGTERM, SIGHUP, SIGQUIT})
                ::signal(each, SIG_DFL);
            if (ignoredByCaller)
                ::signal(signalNumber, SIG_IGN);
        });
        p.start(m_program, {QStringLiteral("--image"), m_cue, QStringLiteral("--convert")});
        QVERIFY(p.waitForStarted());
        QString out;
        QTRY_VERIFY_WITH_TIMEOUT((out += QString::fromLocal8Bit(p.readAllStandardOutput()))
                                     .contains(QStringLiteral("Etat : Extraction de Piste 2")),
                                 60000);
        QVERIFY(interrupt(p, signalNumber));
        QVERIFY(p.waitForFinished(120000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        if (ignoredByCaller) {
            QCOMPARE(p.exitCode(), 0);
            QCOMPARE(musicFiles(), (QStringList{"Piste 1.mp3", "Piste 2.mp3"}));
            return;
        }
        QCOMPARE(p.exitCode(), 128 + signalNumber);
        QCOMPARE(musicFiles(), QStringList{"Piste 1.mp3"});
#endif
    }

    void outputReaderGoneStillMakesEveryFile()
    {
#ifndef Q_OS_UNIX
        QSKIP("a reader that goes away early is a Unix pipe matter (SIGPIPE)");
#else
        // `... --convert --titres | head -1`: the reader of the output is gone, here from the
        // very first line (the title lookup's), so that every line meets a closed pipe.
        prepare({100, 3000, 3000});
        int gone[2] = {-1, -1};
        QVERIFY(::pipe(gone) == 0);
        ::close(gone[0]);
        QProcess p;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("SONALBURY_MUSICBRAINZ_URL"), QStringLiteral("http://127.0.0.1:1"));
        p.setProcessEnvironment(environment);
        p.setChildProcessModifier([writer = gone[1]] {
            ::signal(SIGPIPE, SIG_DFL);
            ::dup2(writer, STDOUT_FILENO);
            ::dup2(writer, STDERR_FILENO);
        });
        p.start(m_program, {QStringLiteral("--image"), m_cue, QStringLiteral("--convert"), QStringLiteral("--titres")});
        QVERIFY(p.waitForFinished(120000));
        ::close(gone[1]);
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
        QCOMPARE(musicFiles(), (QStringList{"Piste 1.mp3", "Piste 2.mp3", "Piste 3.mp3"}));
#endif
    }

    // Under a file-size limit the write fails and is told; the program is not killed.
    void fileSizeLimitIsAFailedWrite()
    {
#ifndef Q_OS_UNIX
        QSKIP("Windows has no file-size limit (RLIMIT_FSIZE)");
#else
        prepare({3000});
        QProcess p;
        p.setChildProcessModifier([] {
            rlimit limit{64 * 1024, 64 * 1024};
            setrlimit(RLIMIT_FSIZE, &limit);
        });
        p.start(m_program, {QStringLiteral("--image"), m_cue, QStringLiteral("--convert")});
        QVERIFY(p.waitForFinished(120000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 1);
        QVERIFY(QString::fromLocal8Bit(p.readAllStandardError())
                    .contains(QStringLiteral("Erreur lors de l'ecriture du fichier ")));
#endif
    }

    void jobsGiveTheSameFilesAndTexts_data()
    {
        QTest::addColumn<int>("jobs");
        QTest::addColumn<QStringList>("blocked");
        QTest::addColumn<int>("status");
        QTest::newRow("every track, three jobs") << 3 << QStringList() << 0;
        // Folders stand where two MP3 files should go: those tracks fail, the others convert.
        QTest::newRow("two failing tracks, two jobs")
            << 2 << QStringList{QStringLiteral("Piste 1.mp3"), QStringLiteral("Piste 3.mp3")} << 1;
    }

    void jobsGiveTheSameFilesAndTexts()
    {
        QFETCH(int, jobs);
        QFETCH(QStringList, blocked);
        QFETCH(int, status);
        // The first track is the longest, so that later tracks finish first.
        prepare({1500, 200, 300, 150, 250});

        const Result one = convertWith(1, blocked);
        const Result many = convertWith(jobs, blocked);

        QCOMPARE(one.status, status);
        QCOMPARE(many.status, status);
        // The same texts in the same order, whatever finished first.
        QCOMPARE(many.out, one.out);
        QCOMPARE(many.err, one.err);
        QCOMPARE(many.files, one.files);
        QCOMPARE(many.files.filter(QStringLiteral(".mp3")).size(), 5 - blocked.size());
        for (const QString &name : blocked)
            QVERIFY(many.err.contains(QStringLiteral("Erreur lors de la conversion de ") + QFileInfo(name).completeBaseName()));
        for (const QString &file : one.files) {
            if (file.endsWith(QStringLiteral(".wav"))) {
                // A failed track keeps its WAV file, the only copy of its audio.
                QFile a(one.folder + QLatin1Char('/') + file);
                QFile b(many.folder + QLatin1Char('/') + file);
                QVERIFY(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
                QVERIFY2(a.readAll() == b.readAll(), qPrintable(file));
                continue;
            }
            const Mp3Check::Audio a = Mp3Check::decodeMp3(one.folder + QLatin1Char('/') + file);
            const Mp3Check::Audio b = Mp3Check::decodeMp3(many.folder + QLatin1Char('/') + file);
            QVERIFY2(a.ok() && b.ok(), qPrintable(file));
            QVERIFY2(a.samples == b.samples, qPrintable(file));
            const Mp3Check::Tags tagsA = Mp3Check::readTags(one.folder + QLatin1Char('/') + file);
            const Mp3Check::Tags tagsB = Mp3Check::readTags(many.folder + QLatin1Char('/') + file);
            QCOMPARE(tagsB.title, QFileInfo(file).completeBaseName());
            QCOMPARE(tagsB.album, tagsA.album);
            QCOMPARE(tagsB.artist, tagsA.artist);
            QCOMPARE(tagsB.comment, tagsA.comment);
            QCOMPARE(tagsB.frames, tagsA.frames);
        }
        for (const QString &name : blocked)
            QVERIFY(many.files.contains(QFileInfo(name).completeBaseName() + QStringLiteral(".wav")));
    }

    void interruptStopsEveryJob()
    {
#ifndef Q_OS_UNIX
        QSKIP("signals to another process are a Unix matter; Ctrl+C on Windows is checked by hand");
#else
        prepare({100, 15000, 15000, 15000});
        QProcess p;
        p.start(m_program, {QStringLiteral("--image"), m_cue, QStringLiteral("--convert"), QStringLiteral("--jobs"),
                            QStringLiteral("2")});
        QVERIFY(p.waitForStarted());
        QString out;
        // Track 2 is being encoded while track 3 is read or encoded too.
        QTRY_VERIFY_WITH_TIMEOUT((out += QString::fromLocal8Bit(p.readAllStandardOutput()))
                                     .contains(QStringLiteral("Etat : Encodage de Piste 2")),
                                 60000);
        QVERIFY(interrupt(p));
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 130);
        QVERIFY(QString::fromLocal8Bit(p.readAllStandardError()).contains(QStringLiteral("Conversion interrompue.")));
        // Nothing unfinished: no WAV file, no hidden file, only complete MP3 files.
        const QStringList left = musicEntries();
        QVERIFY2(left.contains(QStringLiteral("Piste 1.mp3")), qPrintable(left.join(QLatin1Char(','))));
        QVERIFY2(!left.contains(QStringLiteral("Piste 4.mp3")), qPrintable(left.join(QLatin1Char(','))));
        for (const QString &file : left) {
            QVERIFY2(file.endsWith(QStringLiteral(".mp3")), qPrintable(file));
            const int n = QFileInfo(file).completeBaseName().section(QLatin1Char(' '), 1).toInt();
            QCOMPARE(Mp3Check::decodeMp3(music() + file).frames(),
                     qint64(m_discLayout.tracks[std::size_t(n - 1)].frames) * 588);
        }
#endif
    }

    void terminalShowsOneLinePerTrackInProgress()
    {
#ifndef Q_OS_UNIX
        QSKIP("needs a pseudo-terminal");
#else
        prepare({3000, 3000, 3000});
        int master = -1;
        int slave = -1;
        winsize size{};
        size.ws_row = 40;
        size.ws_col = 100;
        QVERIFY(::openpty(&master, &slave, nullptr, nullptr, &size) == 0);
        ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);

        QProcess p;
        p.setChildProcessModifier([slave] { ::dup2(slave, STDOUT_FILENO); });
        p.start(m_program, {QStringLiteral("--image"), m_cue, QStringLiteral("--convert"), QStringLiteral("--jobs"),
                            QStringLiteral("2")});
        QVERIFY(p.waitForStarted());
        ::close(slave);

        Screen screen;
        int mostEncodings = 0;
        QByteArray pending;
        const auto drain = [&] {
            char buffer[4096];
            for (ssize_t got; (got = ::read(master, buffer, sizeof buffer)) > 0;) {
                pending.append(buffer, got);
                // Whole lines only: a redraw cut in two is not what a user sees.
                const qsizetype end = pending.lastIndexOf('\n');
                if (end < 0)
                    continue;
                screen.feed(QString::fromUtf8(pending.left(end + 1)));
                pending.remove(0, end + 1);
                mostEncodings = std::max(mostEncodings, screen.encodingsShown());
            }
        };
        while (!p.waitForFinished(20))
            drain();
        drain();
        screen.feed(QString::fromUtf8(pending));
        ::close(master);

        QCOMPARE(p.exitCode(), 0);
        QCOMPARE(mostEncodings, 2);
        // In the end: one line per track, in order and complete, then the closing texts.
        QStringList shown = screen.lines;
        while (!shown.isEmpty() && shown.last().trimmed().isEmpty())
            shown.removeLast();
        QCOMPARE(shown.size(), 8);
        QVERIFY(shown.at(0).startsWith(QStringLiteral("Conversion de 3 piste(s)")));
        const QString full = QStringLiteral("[%1] 100 %  Etat : Encodage de Piste %2").arg(QString(30, QLatin1Char('#')));
        QCOMPARE(shown.mid(1, 3), (QStringList{full.arg(1), full.arg(2), full.arg(3)}));
        QCOMPARE(shown.at(4), QStringLiteral("Rip du CD terminé"));
        QCOMPARE(shown.at(7), music() + QStringLiteral("Piste 3.mp3"));
#endif
    }

    // What a line of the terminal looks like at each width: it never wraps (a wrapped line
    // would throw off the redraws) and the track's name goes last.
    void progressLineFitsTheTerminal_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<QString>("line");
        const QString status = QStringLiteral("Etat : Encodage de Piste 12");
        QTest::newRow("unknown width") << -1 << QStringLiteral("[###############...............]  50 %  ") + status;
        QTest::newRow("wide") << 100 << QStringLiteral("[###############...............]  50 %  ") + status;
        QTest::newRow("bar gives way") << 50 << QStringLiteral("[######.......]  50 %  ") + status;
        QTest::newRow("then the prefix") << 40 << QStringLiteral("[#####.....]  50 %  Encodage de Piste 12");
        QTest::newRow("then the end") << 30 << QStringLiteral("[#####.....]  50 %  Encodage d");
    }

    void progressLineFitsTheTerminal()
    {
        QFETCH(int, width);
        QFETCH(QString, line);
        QCOMPARE(TerminalView::progressLine(100, 50, QStringLiteral("Etat : Encodage de Piste 12"), width), line);
    }

    // Titles come from discs and servers: what the terminal is sent of them never carries a
    // control character (an escape sequence would set the window's title, clear the screen,
    // insert a link; a line feed would forge a line). Only the view's own cursor moves stay.
    void terminalShowsTitlesWithoutControlCharacters_data()
    {
        QTest::addColumn<QString>("what");
        QTest::addColumn<bool>("interactive");
        QTest::newRow("status line, to a pipe") << "status" << false;
        QTest::newRow("progress bar, on a terminal") << "status" << true;
        QTest::newRow("progress block, on a terminal") << "block" << true;
        QTest::newRow("message") << "message" << true;
        QTest::newRow("Titres line") << "print" << false;
    }
    void terminalShowsTitlesWithoutControlCharacters()
    {
        QFETCH(QString, what);
        QFETCH(bool, interactive);
        const QString title = QStringLiteral("Un\x1b]0;pris\x07") + QStringLiteral("Deux\x1b[2J\u009b6nTrois\rQuatre\nCinq\tSix");
        std::FILE *out = std::tmpfile();
        QVERIFY(out != nullptr);
        {
            TerminalView view(out, out, interactive);
            if (what == QStringLiteral("status"))
                view.setStatusText(QStringLiteral("Etat : Extraction de ") + title);
            else if (what == QStringLiteral("block"))
                view.showTracks({BatchRunner::TrackLine{1, QStringLiteral("Etat : Encodage de ") + title, 10, 5}});
            else if (what == QStringLiteral("message"))
                view.showMessage(QStringLiteral("Erreur lors de la lecture de ") + title, MessageIcon::Exclamation,
                                 QString());
            else
                printTo(out, QStringLiteral("Titres : %1\n").arg(title));
            view.finishLine();
        }
        std::rewind(out);
        QByteArray bytes;
        char buffer[4096];
        for (std::size_t got = 0; (got = std::fread(buffer, 1, sizeof buffer, out)) > 0;)
            bytes.append(buffer, static_cast<qsizetype>(got));
        std::fclose(out);
        QString shown = QString::fromLocal8Bit(bytes);
        shown.remove(QRegularExpression(QStringLiteral("\x1b\\[[0-9]*[AJK]")));
        QVERIFY2(shown.contains(QStringLiteral("Deux")) && shown.contains(QStringLiteral("Six")), qPrintable(shown));
        for (const QChar c : std::as_const(shown)) {
            if (c == QLatin1Char('\n') || c == QLatin1Char('\r'))
                continue;
            QVERIFY2(c.category() != QChar::Other_Control, qPrintable(QString::number(c.unicode(), 16) + " in " + shown));
        }
        // One line per text, the title's own line feed and return included.
        if (what != QStringLiteral("message") && what != QStringLiteral("print"))
            QVERIFY2(!shown.contains(QStringLiteral("\nCinq")) && !shown.contains(QStringLiteral("\rQuatre")),
                     qPrintable(shown));
    }

    // A program folder named in Latin-1 (as old archives leave): Qt cannot name it, so
    // the program refuses to start rather than make its music folder elsewhere.
    void programFolderNotInUtf8IsRefused()
    {
#ifndef Q_OS_UNIX
        QSKIP("file names on Windows are UTF-16: any folder name can be shown and used");
#else
        prepare({100});
        const std::filesystem::path latin1 = std::filesystem::path(QFile::encodeName(m_dir.path()).toStdString())
                                             / std::string("\xe9t\xe9");
        std::filesystem::create_directory(latin1);
        std::filesystem::copy_file(QFile::encodeName(m_program).toStdString(), latin1 / "sonalbury-cdmp3");
        const QString link = m_dir.filePath(QStringLiteral("lien-vers-le-programme"));
        std::filesystem::create_symlink(latin1 / "sonalbury-cdmp3", QFile::encodeName(link).toStdString());
        const bool rootHadMusic = QFileInfo::exists(QStringLiteral("/musiques"));
        QProcess p;
        p.start(link, {QStringLiteral("--image"), m_cue, QStringLiteral("--convert")});
        QVERIFY(p.waitForFinished(120000));
        QCOMPARE(p.exitCode(), 1);
        const QString err = QString::fromLocal8Bit(p.readAllStandardError());
        QVERIFY2(err.contains(QStringLiteral("n'est pas écrit en UTF-8")), qPrintable(err));
        QVERIFY(!std::filesystem::exists(latin1 / "musiques"));
        QVERIFY(rootHadMusic || !QFileInfo::exists(QStringLiteral("/musiques")));
#endif
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
        // One line and a pointer to the help, not the whole help again.
        QVERIFY(err.contains(QStringLiteral("--help")));
        QVERIFY(!err.contains(QStringLiteral("Utilisation")));
    }
};

SONALBURY_TEST_MAIN_CORE(TstHeadless)
#include "tst_headless.moc"
