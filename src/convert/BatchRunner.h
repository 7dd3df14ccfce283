#pragma once

#include "FormFields.h"
#include "RipView.h"
#include "TrackLevelling.h"
#include "TrackSource.h"

#include <QString>
#include <QStringList>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

// The batch: converts every ticked item of the track list, in list order, then refreshes
// the file list and shows the closing message (with, under it, the tracks whose peaks kept
// them below the others' loudness). The calling thread reads the tracks one
// after the other (the CD reader serves one thread at a time).
//
// With one job it also encodes each track right after reading it: the window's batch,
// whose view gets the progress bar, the status texts and the messages as they happen.
// With more, up to `jobs` encoder threads, each with its own encoder, turn the WAV files
// already read into MP3 files; files, tags, status texts and messages are those of one
// job, and the view gets them in the same order: the first unfinished track's as they
// happen, a later track's once every track before it is finished. At most `jobs` tracks
// wait, read but not yet encoded, so that the WAV files on disk stay bounded.
//
// What the batch reads (the track list and its tags, from the TrackSource) is read by the
// calling thread when it reaches each track; what it reports goes to the view and the display one call at a time and never while the
// batch's lock is held, so a view may block (a modal box) without stopping the encoders.
// A close (FormFields::closing) stops the reading and the encodings under way and removes
// the unfinished files of every track in progress.
class MusicFolderLock;

class BatchRunner
{
public:
    // Where a track of the batch stands.
    enum class Step
    {
        Reading,  // its WAV file is being read (max and value: frames)
        Waiting,  // read in full, waiting for an encoder
        Encoding, // its MP3 file is being written (max and value: percent)
        Finished, // done, whether it gave its file or not
    };

    // One line of what is in progress: a track, its status text and its progress.
    struct TrackLine
    {
        std::int32_t position = 0; // item of the track list, from 1
        QString status;
        std::int32_t max = 0;
        std::int32_t value = 0;
        Step step = Step::Reading;
    };

    // Shows the tracks in progress (a terminal's block). Never two calls at once, nor at
    // once with a call of the batch's RipView.
    class Display
    {
    public:
        virtual ~Display() = default;
        // The tracks under way, in list order, after any of them moved.
        virtual void showTracks(const std::vector<TrackLine> &lines) = 0;
        // A track is finished, in list order, after its status texts and messages went to
        // the view; line is its last state.
        virtual void trackFinished(const TrackLine &line) = 0;
        // The whole batch, after any track moved: every track reached so far, in list
        // order, finished ones included, and the list item the reading looks at next (the
        // ticked items from there on are still to come). For a front end that shows how far
        // the batch has come; nothing by default.
        virtual void showBatch(const std::vector<TrackLine> &reached, std::int32_t nextPosition)
        {
            (void)reached;
            (void)nextPosition;
        }
    };

    // The number of jobs for a request of asked: asked itself when positive, else one per
    // processor core. The window and the terminal's --jobs both count this way.
    static int jobsFor(int asked);

    // jobs below 1 counts as 1. With several jobs the view's progress bar is not used.
    BatchRunner(FormFields &form, RipView &view, const TrackSource &tracks, int jobs,
                Display *display = nullptr);
    ~BatchRunner();
    BatchRunner(const BatchRunner &) = delete;
    BatchRunner &operator=(const BatchRunner &) = delete;

    // Equal loudness and the leading-silence cut for every track of the batch; off until
    // set. Given by the thread that starts the batch, so that the user may change the
    // settings meanwhile: they count for the next batch.
    void setLevelOptions(const LevelOptions &options) { m_levelOptions = options; }

    // Runs the batch. Clears LbStop first, so a cancel pressed between batches is
    // forgotten. Returns when every encoding has ended. While another batch (of this
    // process or another) converts into the same music folder, the batch is refused with a
    // message and converts nothing.
    void ConvertirPistes();

    // Of the ticked tracks of the last batch: how many were attempted, and how many gave
    // the file that was asked for (the MP3 file, or the WAV file alone).
    std::int32_t tracksAttempted() const { return m_attempted; }
    std::int32_t tracksProduced() const { return static_cast<std::int32_t>(m_produced.size()); }
    // Those files, in list order.
    const QStringList &producedFiles() const { return m_produced; }

    // The ticked tracks the last batch reached, in list order: the text each was converted
    // with, whether it gave its file, whether it failed (reported an error; a track that a
    // cancel stopped did neither). Read once ConvertirPistes has returned.
    struct TrackOutcome
    {
        std::int32_t position = 0;
        QString title;
        bool produced = false;
        bool failed = false;
    };
    std::vector<TrackOutcome> trackOutcomes() const;

private:
    struct Track;
    struct Report;
    class TrackView;

    // Where the batch starts and ends, whatever way it ends: what must hold for the whole
    // batch (the music folder, the drive) is set up and released here. False: the batch
    // may not run.
    bool beginBatch();
    void endBatch();

    void readTracks(TrackView &reading, std::int32_t count);
    void encodeTracks();
    void encode(Track &track);
    void waitForRoom(std::unique_lock<std::mutex> &lock);
    void finish(Track &track);
    void showInOrder();
    void publish();
    void deliverReports();
    static TrackLine lineOf(const Track &track);

    FormFields &m_form;
    RipView &m_view;
    const TrackSource &m_source;
    int m_jobs;
    Display *m_display;
    bool m_encodeInline = false; // one job, or no encoder thread could start
    std::unique_ptr<MusicFolderLock> m_folderLock; // held for the whole batch
    LevelOptions m_levelOptions;

    // Everything below is shared by the threads of a batch, under m_mutex.
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::unique_ptr<Track>> m_tracks; // ticked items reached, in list order
    std::deque<Track *> m_waiting;                // read, waiting for an encoder
    bool m_readingDone = false;
    std::size_t m_committed = 0; // tracks finished and wholly shown, from the first
    std::int32_t m_nextPosition = 1; // the list item the reading looks at next
    std::int32_t m_attempted = 0;
    QStringList m_produced;
    std::deque<Report> m_reports; // for the view and the display, in order
    bool m_reporting = false;     // a thread is handing reports over, outside the lock
};
