#include "HeadlessConversion.h"

#include "CoreTexts.h"
#include "Disc.h"
#include "DiscTitles.h"
#include "MusicFolder.h"
#include "BatchRunner.h"
#include "Parametres.h"
#include "SettingsStore.h"
#include "SignalGuard.h"
#include "TerminalView.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QThread>
#include <algorithm>
#include <csignal>
#include <optional>
#include <set>
#ifdef Q_OS_WIN
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

namespace {

FormFields *interruptedForm = nullptr;
volatile std::sig_atomic_t interruptSignal = 0;

extern "C" void onInterrupt(int signalNumber)
{
    // A second interrupt means "now": a read stuck on a damaged disc may never return.
    if (interruptSignal != 0) {
        SignalGuard::restoreDefault(signalNumber);
        std::raise(signalNumber);
        return;
    }
    interruptSignal = signalNumber;
    // Only atomics here: the conversion sees them after its current chunk or block.
    if (interruptedForm) {
        interruptedForm->closing = true;
        interruptedForm->LbStop = true;
    }
}

titles::TitleFields titleFields(const TerminalView &view)
{
    titles::TitleFields fields;
    for (const TerminalView::Track &track : view.tracks) {
        fields.trackTexts << track.text;
        fields.trackArtists << track.artist;
    }
    fields.album = view.album;
    fields.artist = view.artist;
    return fields;
}

// Looks the disc up as the window does, waiting for every source (each request times out),
// and takes the first candidate of the strict order; the others are listed for the user.
void lookUpTitles(TerminalView &view, const CdReader &reader, std::int32_t handle,
                  const FormFields::Settings &settings, const QString &email, std::FILE *out, std::FILE *err)
{
    std::optional<titles::TitleLookupRequest> request = DiscTitles::request(reader, handle, settings, email);
    QList<titles::TitleCandidate> candidates;
    QStringList failures;
    if (request) {
        request->emailWhere = QStringLiteral("option --courriel ADRESSE");
        titles::TitleLookup lookup;
        QEventLoop loop;
        QObject::connect(&lookup, &titles::TitleLookup::finished, &loop, &QEventLoop::quit);
        lookup.start(*request);
        loop.exec();
        candidates = lookup.candidates();
        failures = lookup.failures();
    }
    for (const QString &failure : std::as_const(failures))
        printTo(err, failure + QLatin1Char('\n'));
    const std::optional<titles::TitleCandidate> pick = titles::TitleLookup::headlessPick(candidates);
    if (!pick) {
        printTo(out, QStringLiteral("Aucun titre n'a été trouvé pour ce disque : les pistes gardent leur nom "
                                    "« Piste n ».\n"));
        return;
    }
    printTo(out, QStringLiteral("Titres : %1\n").arg(DiscTitles::describe(*pick)));
    bool taken = false;
    for (const titles::TitleCandidate &candidate : std::as_const(candidates)) {
        // The pick is the first exact candidate of its source.
        if (!taken && candidate.source == pick->source && !candidate.inexact) {
            taken = true;
            continue;
        }
        printTo(err, QStringLiteral("Autre réponse : %1\n").arg(DiscTitles::describe(candidate)));
    }
    const titles::TitleFields fields = titles::applyCandidate(*pick, titleFields(view));
    for (std::size_t i = 0; i < view.tracks.size(); ++i) {
        view.tracks[i].text = fields.trackTexts[static_cast<qsizetype>(i)];
        view.tracks[i].artist = fields.trackArtists[static_cast<qsizetype>(i)];
    }
    view.album = fields.album;
    view.artist = fields.artist;
}

} // namespace

int runHeadlessConversion(const CommandLine &line, CdReader &reader, const QString &programFolder,
                          const QString &applicationName, FormFields &form, std::FILE *out,
                          std::FILE *err)
{
    TerminalView view(out, err, isatty(fileno(out)) != 0);
    SettingsStore store(applicationName);
    ChargerParametres(form, store);
    form.LoRipper = &reader;

    const QString folder = MusicFolder::path(programFolder);
    if (const QString problem = MusicFolder::prepare(folder); !problem.isEmpty()) {
        view.showMessage(problem, MessageIcon::Exclamation, programTitle());
        return 1;
    }
    form.lsDossier = folder;

    // A mistyped path says so, rather than "cannot read the CD" about a drive named after it.
    if (!line.images.isEmpty() && !QFileInfo(line.images.first()).isFile()) {
        view.showMessage(QStringLiteral("Fichier image introuvable : « %1 »")
                             .arg(QDir::toNativeSeparators(line.images.first())),
                         MessageIcon::Exclamation, programTitle());
        return 2;
    }

    reader.ScanDrives();
    const std::int32_t count = reader.GetDriveCount();
    if (count == 0) {
        view.showMessage(CoreTexts::noDrive(), MessageIcon::Critical, programTitle());
        return 1;
    }
    // The first image given comes after the physical drives.
    std::int32_t drive = form.settings.LlLecteur;
    if (!line.images.isEmpty())
        drive = count - static_cast<std::int32_t>(line.images.size());
    if (drive < 0 || drive >= count)
        drive = 0;
    const Disc disc = openDisc(reader, drive);
    form.LlHandleCD = disc.handle;
    for (const QString &text : disc.messages)
        view.showMessage(text, MessageIcon::Exclamation, programTitle());
    if (!disc.usable())
        return 1;
    const QString &label = disc.label;
    const std::int32_t first = disc.firstTrack;
    const std::int32_t last = disc.lastTrack;
    std::set<int> wanted;
    if (!line.trackList.isEmpty())
        wanted = *CommandLine::parseTrackList(line.trackList);
    for (const int t : wanted) {
        if (t < first || t > last) {
            view.showMessage(QStringLiteral("Le disque n'a pas de piste %1 (pistes %2 à %3).")
                                 .arg(t)
                                 .arg(first)
                                 .arg(last),
                             MessageIcon::Exclamation, programTitle());
            return 2;
        }
    }
    for (const DiscTrack &track : disc.tracks)
        view.tracks.push_back({track.title, wanted.empty() || wanted.count(track.number) > 0, QString()});
    if (line.titles)
        lookUpTitles(view, reader, disc.handle, form.settings,
                     line.email.isEmpty() ? form.settings.LsCourriel : line.email, out, err);

    printTo(out, QStringLiteral("Conversion de %1 piste(s) de « %2 » vers %3\n")
                      .arg(std::count_if(view.tracks.begin(), view.tracks.end(),
                                         [](const TerminalView::Track &t) { return t.checked; }))
                      .arg(label, QDir::toNativeSeparators(folder)));

    interruptedForm = &form;
    interruptSignal = 0;
    std::optional<SignalGuard> interrupts(std::in_place, onInterrupt);
#ifdef SIGPIPE
    // A reader of our output that went away (| head) must not kill the conversion halfway
    // and leave its unfinished files: the lines are lost, the files are made.
    std::signal(SIGPIPE, SIG_IGN);
#endif

    // One job: the window's batch, one track after the other. More: the next track is read
    // while earlier ones are encoded.
    const int jobs = line.jobs > 0 ? line.jobs : std::max(1, QThread::idealThreadCount());
    // With one job the terminal shows one bar; with more, a block of one line per track.
    BatchRunner batch(form, view, jobs, jobs > 1 ? &view : nullptr);
    batch.ConvertirPistes();
    const QStringList &producedFiles = batch.producedFiles();
    const auto produced = static_cast<std::int32_t>(producedFiles.size());
    const auto chosen = static_cast<std::int32_t>(std::count_if(
        view.tracks.begin(), view.tracks.end(), [](const TerminalView::Track &t) { return t.checked; }));
    // An interrupt that came once every file was made interrupted nothing.
    const bool interrupted = form.closing.load() && produced != chosen;
    if (interrupted)
        view.dropLine();
    else
        view.finishLine();

    interrupts.reset();
    interruptedForm = nullptr;

    if (interrupted) {
        printTo(err, QStringLiteral("Conversion interrompue.\n"));
        // The shell's convention: 128 + the signal's number (130 for Ctrl+C).
        return 128 + (interruptSignal != 0 ? static_cast<int>(interruptSignal) : SIGINT);
    }
    if (produced > 0) {
        QString error;
        if (!DiscTitles::remember(reader, disc.handle, titleFields(view), &error))
            printTo(err, error + QLatin1Char('\n'));
    }
    // The files this run made, in track order: not an earlier run's file of a track that
    // failed this time.
    for (const QString &path : producedFiles)
        printTo(out, QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()) + QLatin1Char('\n'));
    if (produced != chosen) {
        printTo(err, QStringLiteral("%1 piste(s) sur %2 n'ont pas donné de fichier.\n")
                          .arg(chosen - produced)
                          .arg(chosen));
        return 1;
    }
    return 0;
}
