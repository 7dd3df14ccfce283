#pragma once

#include "BatchRunner.h"
#include "RipView.h"

#include <QString>
#include <cstdio>
#include <vector>

// The conversion without a window: the status texts and a progress bar on the terminal,
// messages on standard error. With several tracks in progress at once, a terminal shows a
// small block of lines, one per track, redrawn in place; elsewhere (a pipe, a file) only
// the status texts are written, one per line, in list order.
class TerminalView : public RipView, public BatchRunner::Display
{
public:
    TerminalView(std::FILE *out, std::FILE *err, bool interactive);

    void setProgressMax(std::int32_t max) override;
    void setProgressValue(std::int32_t value) override;
    std::int32_t progressValue() const override { return m_value; }
    void setStatusText(const QString &text) override;
    void showMessage(const QString &text, MessageIcon icon, const QString &title) override;
    void yieldToUi() override {}
    void refreshFileList() override {}

    void showTracks(const std::vector<BatchRunner::TrackLine> &lines) override;
    void trackFinished(const BatchRunner::TrackLine &line) override;

    // Ends the progress line so that what follows starts on a line of its own.
    void finishLine();
    // Erases the progress of what was cut short, so that no half-done bar stays.
    void dropLine();

    // "[####......]  40 %  status", at most width characters when width is positive; the
    // status on one line, through terminalText.
    static QString progressLine(std::int32_t max, std::int32_t value, const QString &status,
                                int width = -1);

private:
    void drawBar();
    // Erases the block; ends an open progress line with ending.
    void closeLine(const QString &ending);
    int lineWidth() const; // -1 when the terminal does not tell
    QString eraseBlock();
    QString drawBlock();

    std::FILE *m_out;
    std::FILE *m_err;
    bool m_interactive;
    std::int32_t m_max = 100;
    std::int32_t m_value = 0;
    int m_shownPercent = -1;
    QString m_status;
    bool m_lineOpen = false;

    // The block of the tracks in progress, once there is one.
    bool m_block = false;
    std::vector<BatchRunner::TrackLine> m_lines;
    std::size_t m_drawnLines = 0; // lines of the block now on the terminal
    std::int64_t m_drawnAt = 0;   // when it was drawn, ms of a monotonic clock
};

// text as a terminal may show it: titles and names come from discs, servers and users, and
// a control character among them would start an escape sequence (set the window's title,
// clear the screen, insert a link). Each one becomes "?" (a tab a blank); line feeds stay
// when keepLineFeeds, for texts of several lines.
QString terminalText(const QString &text, bool keepLineFeeds);

// Writes text to stream as the terminal's encoding spells it, at once, through
// terminalText (line feeds kept).
void printTo(std::FILE *stream, const QString &text);
