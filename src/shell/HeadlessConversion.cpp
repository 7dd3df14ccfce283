#include "HeadlessConversion.h"

#include "Conversion.h"
#include "FrameAddress.h"
#include "MusicFolder.h"
#include "Parametres.h"
#include "SettingsStore.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <csignal>
#ifdef Q_OS_WIN
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

namespace {

FormFields *interruptedForm = nullptr;

extern "C" void onInterrupt(int)
{
    // Only atomics here: the conversion sees them after its current chunk or block.
    if (interruptedForm) {
        interruptedForm->closing = true;
        interruptedForm->LbStop = true;
    }
}

void print(std::FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
    std::fflush(stream);
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
    drawBar();
}

void TerminalView::setProgressValue(std::int32_t value)
{
    m_value = value;
    drawBar();
}

void TerminalView::setStatusText(const QString &text)
{
    if (text == m_status)
        return;
    m_status = text;
    finishLine();
    if (!m_interactive)
        print(m_out, text + QLatin1Char('\n'));
    m_shownPercent = -1;
    drawBar();
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
    constexpr int width = 30;
    const int filled = static_cast<int>(fraction * width);
    const QString bar = QString(filled, QLatin1Char('#')) + QString(width - filled, QLatin1Char('.'));
    print(m_out, QStringLiteral("\r[%1] %2 %  %3\x1b[K").arg(bar).arg(percent, 3).arg(m_status));
    m_lineOpen = true;
}

void TerminalView::finishLine()
{
    if (m_lineOpen) {
        print(m_out, QStringLiteral("\n"));
        m_lineOpen = false;
    }
}

void TerminalView::showMessage(const QString &text, MessageIcon icon, const QString &)
{
    finishLine();
    ++messagesShown;
    const QString prefix = icon == MessageIcon::Information ? QString() : QStringLiteral("Erreur : ");
    print(icon == MessageIcon::Information ? m_out : m_err, prefix + text + QLatin1Char('\n'));
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

    reader.ScanDrives();
    const std::int32_t count = reader.GetDriveCount();
    if (count == 0) {
        view.showMessage(QStringLiteral("Vous ne possédez pas de lecteur de CDRom"),
                         MessageIcon::Critical, programTitle());
        return 1;
    }
    // The first image given comes after the physical drives.
    std::int32_t drive = form.LlLecteur;
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
    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);

    Conversion conversion(form, view);
    conversion.ConvertirPistes();
    view.finishLine();

    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    interruptedForm = nullptr;

    if (form.closing) {
        print(stderr, QStringLiteral("Conversion interrompue.\n"));
        return 130;
    }
    const auto chosen = static_cast<std::int32_t>(std::count_if(
        view.tracks.begin(), view.tracks.end(), [](const TerminalView::Track &t) { return t.checked; }));
    const QString extension =
        form.LlTypeEncodage == 1 ? QStringLiteral(".wav") : QStringLiteral(".mp3");
    for (std::size_t i = 0; i < view.tracks.size(); ++i) {
        const QFileInfo file(folder + safeFileName(view.tracks[i].text, first + static_cast<std::int32_t>(i))
                             + extension);
        if (view.tracks[i].checked && file.isFile())
            print(stdout, QDir::toNativeSeparators(file.absoluteFilePath()) + QLatin1Char('\n'));
    }
    if (conversion.tracksProduced() != chosen) {
        print(stderr, QStringLiteral("%1 piste(s) sur %2 n'ont pas donné de fichier.\n")
                          .arg(chosen - conversion.tracksProduced())
                          .arg(chosen));
        return 1;
    }
    return 0;
}
