#pragma once

#include "BatchRunner.h"
#include "CdReader.h"
#include "FormFields.h"
#include "RipView.h"
#include "SettingsStore.h"
#include "TrackList.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <QString>
#include <memory>
#include <vector>

class BatchOverview;
class QLabel;
class QTreeWidgetItem;
class TrackListControls;
struct Disc;
class WindowRipView;
namespace Ui {
class frmPrincipal;
}

// The main window: drive choice, track list, conversion, music folder list. Its start-up
// and shut-down are the program's.
class frmPrincipal : public QMainWindow
{
    Q_OBJECT

public:
    struct Options
    {
        QString programFolder;   // the folder of the executable; the music folder is in it
        QString applicationName; // name of the settings in the store
        int jobs = 0;            // encodings at once in a batch; 0: one per processor core
    };

    enum class LoadResult
    {
        Ready,   // show the window
        NoDrive, // the user was told; settings written; the program ends normally
        Failed,  // the user was told why; the program ends with a failure status
    };

    frmPrincipal(std::unique_ptr<CdReader> reader, Options options, QWidget *parent = nullptr);
    ~frmPrincipal() override;

    LoadResult Form_Load();

    // State shared with the conversion, and read by tests.
    FormFields &fields() { return m_form; }
    const FormFields &fields() const { return m_form; }
    // The track list the tree and the tag boxes show, and the batch reads.
    TrackList &trackList() { return m_tracks; }
    QString musicFolder() const;
    QString statusText() const;
    bool batchRunning() const { return m_batch != nullptr; }
    // Exit status to return once the event loop has ended.
    int exitCode() const { return m_exitCode; }

public slots:
    void cboLecteurs_Click();
    void Command_rip_Click();
    void btnAnnuler_Click();
    void Command1_Click();
    void File1_DblClick();
    void rechercher_Click();
    void ejecter_Click();
    // Asks whether the disc of the selected drive changed, and if so reads the new one's
    // tracks as a drive change does. The window asks every two seconds while it waits for
    // the user: never during a batch or while a box is open.
    void checkDiscChanged();
    void quitter_Click();
    void aide_Click();
    void propos_Click();

    // The program is asked to end (a termination signal): every open box and dialog goes,
    // the window closes as by its close box, and what would have been a box is written to
    // the standard error instead, since nobody may be there to answer it.
    void terminationRequested();

signals:
    // The batch has returned and the window has done its resets.
    void batchFinished();
    // The status line (panel 1 of the status bar) now reads text.
    void statusChanged(const QString &text);
    // Form_Unload has run; the program is ending.
    void unloaded();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    friend class WindowRipView;

    void setupDriveList();
    void LirePistes(const Disc &disc);
    void untickAll();
    void RafraichirListe();
    void Form_Unload();
    void onBatchReturned();
    void showStatus(const QString &text);
    // The whole batch's progress, as the batch reported it last.
    void showBatchProgress(const std::vector<BatchRunner::TrackLine> &reached, std::int32_t nextPosition);
    void onDriveActivated(int index);
    // Closes the open drive and opens the selected one; true when its tracks are listed.
    // quiet: a disc that cannot be read (yet) is not reported.
    bool openSelectedDrive(bool quiet);
    void updateEjectAction();
    void message(const QString &text, MessageIcon icon);
    void refuseDuringBatch();
    void rememberTitles();
    // The tree and the tag boxes show m_tracks; what the user changes in them goes back.
    void showTracks();
    void showTrack(std::int32_t position);
    void showDiscTags();
    void onTrackItemChanged(QTreeWidgetItem *item, int column);

    std::unique_ptr<Ui::frmPrincipal> m_ui;
    QLabel *m_panel1 = nullptr;
    QLabel *m_panel2 = nullptr; // the batch as a whole, while one runs
    std::unique_ptr<CdReader> m_reader;
    Options m_options;
    SettingsStore m_store;
    FormFields m_form;
    TrackList m_tracks; // what lstPistes, txtAlbum and txtArtiste show
    TrackListControls *m_trackControls = nullptr; // owned by lstPistes
    std::vector<std::int32_t> m_trackFrames; // the length of each track of the disc listed
    std::unique_ptr<WindowRipView> m_view;
    std::unique_ptr<QThread> m_batch;
    std::int32_t m_batchDrive = 0;
    int m_batchJobs = 1;
    std::unique_ptr<BatchOverview> m_overview; // while a batch runs
    QElapsedTimer m_batchClock;
    QTimer m_discWatch;
    int m_discRetries = 0; // reads still to try of a disc that changed and did not read yet
    std::vector<BatchRunner::TrackOutcome> m_batchOutcomes; // written by the batch's thread before it ends
    bool m_closeRequested = false;
    bool m_unloaded = false;
    bool m_terminating = false;
    int m_exitCode = 0;
};
