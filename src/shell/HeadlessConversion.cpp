#include "HeadlessConversion.h"

#include "Conversion.h"
#include "SafeFileName.h"
#include "FrameAddress.h"
#include "MusicFolder.h"
#include "Parametres.h"
#include "SettingsStore.h"

#include <QDir>
#include <QFileInfo>
#include <QThread>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <utility>
#ifdef Q_OS_WIN
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace {

FormFields *interruptedForm = nullptr;
volatile std::sig_atomic_t interruptSignal = 0;

extern "C" void onInterrupt(int signalNumber)
{
    // A second interrupt means "now": a read stuck on a damaged disc may never return.
    if (interruptSignal != 0) {
        std::signal(signalNumber, SIG_DFL);
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

// Ctrl+C, kill, and the terminal closing (hang-up) all stop the conversion cleanly.
#ifdef SIGHUP
constexpr int InterruptSignals[] = {SIGINT, SIGTERM, SIGHUP};
#else
constexpr int InterruptSignals[] = {SIGINT, SIGTERM};
#endif

void print(std::FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
    std::fflush(stream);
}

// Redraws of the block for progress alone, at most this often.
constexpr std::int64_t BlockRedrawMs = 100;

std::int64_t nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

struct TerminalSize
{
    int columns = 0; // 0 when unknown
    int rows = 0;
};

TerminalSize terminalSize(std::FILE *stream)
{
#ifndef Q_OS_WIN
    winsize size{};
    if (ioctl(fileno(stream), TIOCGWINSZ, &size) == 0)
        return TerminalSize{size.ws_col, size.ws_row};
#else
    Q_UNUSED(stream);
#endif
    return {};
}

bool sameTracks(const std::vector<ParallelConversion::TrackLine> &a,
                const std::vector<ParallelConversion::TrackLine> &b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const ParallelConversion::TrackLine &x, const ParallelConversion::TrackLine &y) {
                          return x.position == y.position && x.status == y.status;
                      });
}

} // namespace

TerminalView::TerminalView(std::FILE *out, std::FILE *err, bool interactive)
    : m_out(out)
    , m_err(err)
    , m_interactive(interactive)
{
}

void TerminalView::setProgressMax(std::int32_t max)
{
    m_max = max;
    m_shownPercent = -1;
    if (!m_block)
        drawBar();
}

void TerminalView::setProgressValue(std::int32_t value)
{
    m_value = value;
    if (!m_block)
        drawBar();
}

void TerminalView::setStatusText(const QString &text)
{
    if (text == m_status)
        return;
    m_status = text;
    // The block shows the tracks in progress; their past status texts are not repeated.
    if (m_block)
        return;
    finishLine();
    if (!m_interactive)
        print(m_out, text + QLatin1Char('\n'));
    m_shownPercent = -1;
    drawBar();
}

QString TerminalView::progressLine(std::int32_t max, std::int32_t value, const QString &status,
                                   int width)
{
    const double fraction =
        max > 0 ? std::clamp(static_cast<double>(value) / max, 0.0, 1.0) : 0.0;
    const int percent = static_cast<int>(fraction * 100.0);
    constexpr int SmallestBar = 10;
    QString text = QStringLiteral("] %1 %  %2").arg(percent, 3).arg(status);
    // On a narrow terminal the bar gives way first, then the "Etat : " before the status, so
    // that the track's name stays visible.
    const QString statePrefix = QStringLiteral("Etat : ");
    if (width > 0 && 1 + SmallestBar + text.size() > width && status.startsWith(statePrefix))
        text = QStringLiteral("] %1 %  %2").arg(percent, 3).arg(status.mid(statePrefix.size()));
    int barWidth = 30;
    if (width > 0)
        barWidth = std::clamp(width - 1 - static_cast<int>(text.size()), SmallestBar, barWidth);
    const int filled = static_cast<int>(fraction * barWidth);
    const QString line = QLatin1Char('[') + QString(filled, QLatin1Char('#'))
                         + QString(barWidth - filled, QLatin1Char('.')) + text;
    return width > 0 ? line.left(width) : line;
}

void TerminalView::drawBar()
{
    if (!m_interactive)
        return;
    const double fraction =
        m_max > 0 ? std::clamp(static_cast<double>(m_value) / m_max, 0.0, 1.0) : 0.0;
    const int percent = static_cast<int>(fraction * 100.0);
    if (percent == m_shownPercent)
        return;
    m_shownPercent = percent;
    // A line that wrapped would start a new line at every redraw.
    print(m_out, QStringLiteral("\r") + progressLine(m_max, m_value, m_status, lineWidth())
                     + QStringLiteral("\x1b[K"));
    m_lineOpen = true;
}

void TerminalView::showTracks(const std::vector<ParallelConversion::TrackLine> &lines)
{
    if (!m_interactive)
        return;
    m_block = true;
    const bool moved = !sameTracks(lines, m_lines);
    m_lines = lines;
    if (!moved && nowMs() - m_drawnAt < BlockRedrawMs)
        return;
    // In one write, so that the terminal never shows the block half drawn.
    QString text = eraseBlock();
    text += drawBlock();
    print(m_out, text);
}

void TerminalView::trackFinished(const ParallelConversion::TrackLine &line)
{
    if (!m_interactive)
        return;
    m_block = true;
    std::erase_if(m_lines, [&](const ParallelConversion::TrackLine &shown) {
        return shown.position == line.position;
    });
    // The finished track's last line stays above the block.
    QString text = eraseBlock();
    text += progressLine(line.max, line.value, line.status, lineWidth()) + QLatin1Char('\n');
    text += drawBlock();
    print(m_out, text);
}

int TerminalView::lineWidth() const
{
    // A line that wrapped would throw off the cursor moves that redraw the block.
    const int columns = terminalSize(m_out).columns;
    return columns > 1 ? columns - 1 : -1;
}

QString TerminalView::eraseBlock()
{
    if (m_drawnLines == 0)
        return QString();
    const auto lines = static_cast<qulonglong>(m_drawnLines);
    m_drawnLines = 0;
    // Back to the block's first line, then clear everything below.
    return QStringLiteral("\x1b[%1A\r\x1b[J").arg(lines);
}

QString TerminalView::drawBlock()
{
    // Cursor moves cannot climb above the top of the screen: the block fits in it.
    const int rows = terminalSize(m_out).rows;
    std::size_t shown = m_lines.size();
    if (rows > 2)
        shown = std::min(shown, static_cast<std::size_t>(rows - 2));
    const int width = lineWidth();
    QString text;
    for (std::size_t i = 0; i < shown; ++i) {
        const ParallelConversion::TrackLine &line = m_lines[i];
        text += progressLine(line.max, line.value, line.status, width) + QLatin1Char('\n');
    }
    m_drawnLines = shown;
    m_drawnAt = nowMs();
    return text;
}

void TerminalView::finishLine()
{
    closeLine(QStringLiteral("\n"));
}

void TerminalView::dropLine()
{
    closeLine(QStringLiteral("\r\x1b[K"));
}

void TerminalView::closeLine(const QString &ending)
{
    const QString erase = eraseBlock();
    if (!erase.isEmpty())
        print(m_out, erase);
    if (m_lineOpen) {
        print(m_out, ending);
        m_lineOpen = false;
    }
}

void TerminalView::showMessage(const QString &text, MessageIcon icon, const QString &)
{
    // Above the block, which is drawn again below it.
    finishLine();
    const bool saysError = text.startsWith(QStringLiteral("Erreur"), Qt::CaseInsensitive);
    const QString prefix = icon == MessageIcon::Information || saysError
                               ? QString()
                               : QStringLiteral("Erreur : ");
    print(icon == MessageIcon::Information ? m_out : m_err, prefix + text + QLatin1Char('\n'));
    const QString block = drawBlock();
    if (!block.isEmpty())
        print(m_out, block);
}

bool TerminalView::trackChecked(std::int32_t position)
{
    if (position < 1 || position > trackCount())
        return false;
    return tracks[static_cast<std::size_t>(position - 1)].checked;
}

QString TerminalView::trackText(std::int32_t position)
{
    if (position < 1 || position > trackCount())
        return QString();
    return tracks[static_cast<std::size_t>(position - 1)].text;
}

int runHeadlessConversion(const CommandLine &line, CdReader &reader, const QString &programFolder,
                          const QString &applicationName, FormFields &form)
{
    TerminalView view(stdout, stderr, isatty(fileno(stdout)) != 0);
    SettingsStore store(applicationName);
    ChargerParametres(form, store);
    form.LoRipper = &reader;

    const QString folder = MusicFolder::path(programFolder);
    if (!QDir(folder).exists() && !QDir().mkpath(folder)) {
        view.showMessage(QStringLiteral("Impossible de créer le dossier des musiques « %1 ».")
                             .arg(QDir::toNativeSeparators(folder)),
                         MessageIcon::Exclamation, programTitle());
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
        view.showMessage(QStringLiteral("Vous ne possédez pas de lecteur de CDRom"),
                         MessageIcon::Critical, programTitle());
        return 1;
    }
    // The first image given comes after the physical drives.
    std::int32_t drive = form.settings.LlLecteur;
    if (!line.images.isEmpty())
        drive = count - static_cast<std::int32_t>(line.images.size());
    if (drive < 0 || drive >= count)
        drive = 0;
    const DriveInfo info = reader.GetDriveInfo(drive);
    const QString label = info.text1.trimmed() + QLatin1Char(' ') + info.text2;
    form.LlHandleCD = reader.OpenDrive(reader.GetDriveAddress(drive));
    if (form.LlHandleCD == 0) {
        view.showMessage(QStringLiteral("Impossible de lire le CD sur le lecteur ") + label,
                         MessageIcon::Exclamation, programTitle());
        return 1;
    }
    reader.SetDriveParam(form.LlHandleCD, CdReader::ParamSecureRead, -1);
    if (reader.ReadToc(form.LlHandleCD) != 1) {
        view.showMessage(QStringLiteral("Erreur lors de la lecture des pistes"),
                         MessageIcon::Exclamation, programTitle());
        return 1;
    }
    const std::int32_t first = reader.GetFirstTrack();
    const std::int32_t last = reader.GetLastTrack();
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
    for (std::int32_t n = first; n <= last && n >= first; ++n) {
        const bool checked = wanted.empty() || wanted.count(n) > 0;
        view.tracks.push_back({QStringLiteral("Piste %1").arg(n), checked});
        if (n == last)
            break;
    }

    print(stdout, QStringLiteral("Conversion de %1 piste(s) de « %2 » vers %3\n")
                      .arg(std::count_if(view.tracks.begin(), view.tracks.end(),
                                         [](const TerminalView::Track &t) { return t.checked; }))
                      .arg(label, QDir::toNativeSeparators(folder)));

    interruptedForm = &form;
    interruptSignal = 0;
    // A signal the caller set aside stays aside: under nohup the terminal closing must not
    // stop the conversion, nor Ctrl+C a job a script started in the background.
    using Handler = void (*)(int);
    std::vector<std::pair<int, Handler>> previousHandlers;
    for (const int signalNumber : InterruptSignals) {
        const Handler previous = std::signal(signalNumber, onInterrupt);
        if (previous == SIG_IGN)
            std::signal(signalNumber, SIG_IGN);
        if (previous != SIG_ERR)
            previousHandlers.emplace_back(signalNumber, previous);
    }
#ifdef SIGPIPE
    // A reader of our output that went away (| head) must not kill the conversion halfway
    // and leave its unfinished files: the lines are lost, the files are made.
    std::signal(SIGPIPE, SIG_IGN);
#endif

    // One job: the window's batch, one track after the other. More: the next track is read
    // while earlier ones are encoded.
    const int jobs = line.jobs > 0 ? line.jobs : std::max(1, QThread::idealThreadCount());
    QStringList producedFiles;
    if (jobs == 1) {
        Conversion conversion(form, view);
        conversion.ConvertirPistes();
        producedFiles = conversion.producedFiles();
    } else {
        ParallelConversion conversion(form, view, jobs, &view);
        conversion.ConvertirPistes();
        producedFiles = conversion.producedFiles();
    }
    const auto produced = static_cast<std::int32_t>(producedFiles.size());
    const auto chosen = static_cast<std::int32_t>(std::count_if(
        view.tracks.begin(), view.tracks.end(), [](const TerminalView::Track &t) { return t.checked; }));
    // An interrupt that came once every file was made interrupted nothing.
    const bool interrupted = form.closing.load() && produced != chosen;
    if (interrupted)
        view.dropLine();
    else
        view.finishLine();

    for (const auto &[signalNumber, previous] : previousHandlers)
        std::signal(signalNumber, previous);
    interruptedForm = nullptr;

    if (interrupted) {
        print(stderr, QStringLiteral("Conversion interrompue.\n"));
        // The shell's convention: 128 + the signal's number (130 for Ctrl+C).
        return 128 + (interruptSignal != 0 ? static_cast<int>(interruptSignal) : SIGINT);
    }
    // The files this run made, in track order: not an earlier run's file of a track that
    // failed this time.
    const QString extension =
        form.settings.LlTypeEncodage == 1 ? QStringLiteral(".wav") : QStringLiteral(".mp3");
    for (std::size_t i = 0; i < view.tracks.size(); ++i) {
        const QString path = folder + safeFileName(view.tracks[i].text, first + static_cast<std::int32_t>(i))
                             + extension;
        if (view.tracks[i].checked && producedFiles.contains(path))
            print(stdout, QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()) + QLatin1Char('\n'));
    }
    if (produced != chosen) {
        print(stderr, QStringLiteral("%1 piste(s) sur %2 n'ont pas donné de fichier.\n")
                          .arg(chosen - produced)
                          .arg(chosen));
        return 1;
    }
    return 0;
}
