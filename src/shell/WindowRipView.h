#pragma once

#include "BatchRunner.h"
#include "RipView.h"

#include <QMessageBox>
#include <QPointer>

#include <atomic>
#include <functional>
#include <mutex>
#include <vector>

class frmPrincipal;

// The main window as the conversion reports to it. The batch calls it from its worker
// thread: every call that touches a widget runs on the interface thread, queued for the
// progress bar and the status line, and waited for where the batch must wait for the user
// (message boxes) or the folder (the file-list refresh). The batch reads the track list
// from the window's TrackList, not from here. As the batch's display it hands the window
// the whole batch's progress, for the second panel of the status bar.
class WindowRipView : public RipView, public BatchRunner::Display
{
public:
    explicit WindowRipView(frmPrincipal &window);

    void setProgressMax(std::int32_t max) override;
    void setProgressValue(std::int32_t value) override;
    std::int32_t progressValue() const override;
    void setStatusText(const QString &text) override;
    void showMessage(const QString &text, MessageIcon icon, const QString &title) override;
    ReplaceAnswer askReplace(const QString &question) override;
    void yieldToUi() override;
    void refreshFileList() override;

    // The tracks in progress are shown as a whole, not line by line.
    void showTracks(const std::vector<BatchRunner::TrackLine> &) override {}
    void trackFinished(const BatchRunner::TrackLine &) override {}
    void showBatch(const std::vector<BatchRunner::TrackLine> &reached, std::int32_t nextPosition) override;

    // Closes the batch's message box if one is open (the window is closing: nobody is
    // there to answer it, and the batch must not wait for it).
    void dismissOpenMessage();

private:
    bool closing() const;
    // Runs f on the interface thread: now when already there, else queued (wait = false)
    // or waited for.
    void onUiThread(std::function<void()> f, bool wait) const;

    frmPrincipal &m_window;
    QPointer<QMessageBox> m_openBox; // used on the interface thread only
    std::atomic<std::int32_t> m_value{0}; // the bar's value, readable from any thread

    // The batch's latest progress, waiting for the interface thread: only the latest
    // counts, so one update at a time is queued however fast the batch moves.
    std::mutex m_batchMutex;
    std::vector<BatchRunner::TrackLine> m_reached;
    std::int32_t m_nextPosition = 1;
    bool m_batchQueued = false;
};
