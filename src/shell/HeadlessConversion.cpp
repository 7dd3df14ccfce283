#include "HeadlessConversion.h"

#include "Conversion.h"
#include "CoreTexts.h"
#include "Disc.h"
#include "DiscTitles.h"
#include "MusicFolder.h"
#include "BatchRunner.h"
#include "Parametres.h"
#include "SettingsStore.h"
#include "ShellTexts.h"
#include "SignalGuard.h"
#include "TerminalView.h"
#include "TrackList.h"
#include "TrackTitles.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
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

// Looks the disc up as the window does, but asks the network only when neither remembered
// titles nor the disc's CD-Text answer (each request times out); takes the first candidate
// of the strict order; the others are listed for the user.
void lookUpTitles(TrackList &list, const CdReader &reader, std::int32_t handle,
                  const FormFields::Settings &settings, const QString &email, std::FILE *out, std::FILE *err)
{
    std::optional<titles::TitleLookupRequest> request = DiscTitles::request(reader, handle, settings, email);
    QList<titles::TitleCandidate> candidates;
    QStringList failures;
    if (request) {
        request->emailWhere = ShellTexts::emailOption();
        request->offlineAnswersSuffice = true;
        titles::TitleLookup lookup;
        QEventLoop loop;
        QObject::connect(&lookup, &titles::TitleLookup::finished, &loop, &QEventLoop::quit);
        lookup.start(*request);
        loop.exec();
        candidates = lookup.candidates();
        failures = lookup.failures();
    }
    for (const QString &failure : std::as_const(failures))
        printTo(err, terminalText(failure, false) + QLatin1Char('\n'));
    const std::optional<titles::TitleCandidate> pick = titles::TitleLookup::headlessPick(candidates);
    if (!pick) {
        printTo(out, ShellTexts::noTitlesFound());
        return;
    }
    printTo(out, ShellTexts::titlesTaken(DiscTitles::describe(*pick)));
    bool taken = false;
    for (const titles::TitleCandidate &candidate : std::as_const(candidates)) {
        // The pick is the first exact candidate of its source.
        if (!taken && candidate.source == pick->source && !candidate.inexact) {
            taken = true;
            continue;
        }
        printTo(err, ShellTexts::otherAnswer(DiscTitles::describe(candidate)));
    }
    TrackTitles::apply(list, titles::applyCandidate(*pick, TrackTitles::fieldsOf(list)));
}

} // namespace

int runHeadlessConversion(const CommandLine &line, CdReader &reader, const QString &programFolder,
                          const QString &applicationName, FormFields &form, std::FILE *out,
                          std::FILE *err)
{
#ifdef SIGPIPE
    // A reader of our output that went away (| head) must not kill the conversion, before
    // it starts (the lines of the title lookup) or halfway, leaving its unfinished files:
    // the lines are lost, the files are made.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    TerminalView view(out, err, isatty(fileno(out)) != 0);
    SettingsStore store(applicationName);
    ChargerParametres(form, store);
    // For this run only: the terminal never writes the settings back.
    form.settings.equalLoudness = form.settings.equalLoudness || line.equalLoudness;
    form.settings.cutLeadingSilence = form.settings.cutLeadingSilence || line.cutLeadingSilence;
    form.LoRipper = &reader;

    const QString folder = MusicFolder::path(programFolder);
    if (const QString problem = MusicFolder::prepare(folder); !problem.isEmpty()) {
        view.showMessage(problem, MessageIcon::Exclamation, programTitle());
        return 1;
    }
    form.lsDossier = folder;
    // Nobody is there to be asked: a file of the music folder is kept unless replacing
    // was asked for.
    form.existingFiles = line.replace ? ExistingFiles::Replace : ExistingFiles::Keep;

    // A mistyped path says so, rather than "cannot read the CD" about a drive named after it.
    if (!line.images.isEmpty() && !QFileInfo(line.images.first()).isFile()) {
        view.showMessage(ShellTexts::imageNotFound(line.images.first()),
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
            view.showMessage(ShellTexts::noSuchTrack(t, first, last),
                             MessageIcon::Exclamation, programTitle());
            return 2;
        }
    }
    TrackList list;
    list.setTracks(disc.listedTracks());
    for (std::int32_t position = 1; position <= list.trackCount(); ++position)
        list.setChecked(position, wanted.empty() || wanted.count(list.track(position).number) > 0);
    if (line.titles)
        lookUpTitles(list, reader, disc.handle, form.settings,
                     line.email.isEmpty() ? form.settings.LsCourriel : line.email, out, err);

    const std::vector<ListedTrack> listed = list.tracks();
    const auto chosen = static_cast<std::int32_t>(
        std::count_if(listed.begin(), listed.end(), [](const ListedTrack &t) { return t.checked; }));
    printTo(out, ShellTexts::converting(chosen, label, folder));

    interruptedForm = &form;
    interruptSignal = 0;
    std::optional<SignalGuard> interrupts(std::in_place, onInterrupt);

    // One job: the window's batch, one track after the other. More: the next track is read
    // while earlier ones are encoded.
    const int jobs = BatchRunner::jobsFor(line.jobs);
    // With one job the terminal shows one bar; with more, a block of one line per track.
    BatchRunner batch(form, view, list, jobs, jobs > 1 ? &view : nullptr);
    batch.setLevelOptions(levelOptionsOf(form.settings));
    batch.ConvertirPistes();
    const QStringList &producedFiles = batch.producedFiles();
    const auto produced = static_cast<std::int32_t>(producedFiles.size());
    // An interrupt that came once every file was made interrupted nothing.
    const bool interrupted = form.closing.load() && produced != chosen;
    if (interrupted)
        view.dropLine();
    else
        view.finishLine();

    interrupts.reset();
    interruptedForm = nullptr;

    if (interrupted) {
        printTo(err, ShellTexts::interrupted());
        // The shell's convention: 128 + the signal's number (130 for Ctrl+C).
        return 128 + (interruptSignal != 0 ? static_cast<int>(interruptSignal) : SIGINT);
    }
    QString error;
    if (!DiscTitles::remember(reader, disc.handle, TrackTitles::fieldsOf(list), batch.trackOutcomes(), &error))
        printTo(err, error + QLatin1Char('\n'));
    // The files this run made, in track order: not an earlier run's file of a track that
    // failed this time.
    for (const QString &path : producedFiles)
        printTo(out, QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()) + QLatin1Char('\n'));
    if (produced != chosen) {
        printTo(err, ShellTexts::tracksWithoutFile(chosen - produced, chosen));
        return 1;
    }
    return 0;
}
