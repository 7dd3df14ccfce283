#include "TerminalView.h"

#include "Console.h"
#include "CoreTexts.h"

#include <QByteArray>
#include <algorithm>
#include <chrono>
#ifdef Q_OS_WIN
#include <io.h>
#define fileno _fileno
#else
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace {

// Writes text as it is: the view's own cursor moves and erasures.
void writeRaw(std::FILE *stream, const QString &text)
{
    Console::write(stream, text);
}

} // namespace

QString terminalText(const QString &text, bool keepLineFeeds)
{
    QString shown = text;
    for (QChar &c : shown) {
        // C0, DEL and C1: escape sequences start with them (ESC, CSI, OSC...).
        if (c.category() != QChar::Other_Control || (keepLineFeeds && c == QLatin1Char('\n')))
            continue;
        c = c == QLatin1Char('\t') ? QLatin1Char(' ') : QLatin1Char('?');
    }
    return shown;
}

void printTo(std::FILE *stream, const QString &text)
{
    writeRaw(stream, terminalText(text, true));
}

namespace {

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

bool sameTracks(const std::vector<BatchRunner::TrackLine> &a,
                const std::vector<BatchRunner::TrackLine> &b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const BatchRunner::TrackLine &x, const BatchRunner::TrackLine &y) {
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
        printTo(m_out, terminalText(text, false) + QLatin1Char('\n'));
    m_shownPercent = -1;
    drawBar();
}

QString TerminalView::progressLine(std::int32_t max, std::int32_t value, const QString &rawStatus,
                                   int width)
{
    const double fraction =
        max > 0 ? std::clamp(static_cast<double>(value) / max, 0.0, 1.0) : 0.0;
    const int percent = static_cast<int>(fraction * 100.0);
    constexpr int SmallestBar = 10;
    // The line is drawn in place: a title must not move the cursor or end the line.
    const QString status = terminalText(rawStatus, false);
    QString text = QStringLiteral("] %1 %  %2").arg(percent, 3).arg(status);
    // On a narrow terminal the bar gives way first, then the "Etat : " before the status, so
    // that the track's name stays visible.
    const QString statePrefix = CoreTexts::statusPrefix();
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
    writeRaw(m_out, QStringLiteral("\r") + progressLine(m_max, m_value, m_status, lineWidth())
                        + QStringLiteral("\x1b[K"));
    m_lineOpen = true;
}

void TerminalView::showTracks(const std::vector<BatchRunner::TrackLine> &lines)
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
    writeRaw(m_out, text);
}

void TerminalView::trackFinished(const BatchRunner::TrackLine &line)
{
    if (!m_interactive)
        return;
    m_block = true;
    std::erase_if(m_lines, [&](const BatchRunner::TrackLine &shown) {
        return shown.position == line.position;
    });
    // The finished track's last line stays above the block.
    QString text = eraseBlock();
    text += progressLine(line.max, line.value, line.status, lineWidth()) + QLatin1Char('\n');
    text += drawBlock();
    writeRaw(m_out, text);
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
        const BatchRunner::TrackLine &line = m_lines[i];
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
        writeRaw(m_out, erase);
    if (m_lineOpen) {
        writeRaw(m_out, ending);
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
    printTo(icon == MessageIcon::Information ? m_out : m_err, prefix + text + QLatin1Char('\n'));
    const QString block = drawBlock();
    if (!block.isEmpty())
        writeRaw(m_out, block);
}
