#pragma once

#include "FormFields.h"
#include "RipView.h"

#include <QString>
#include <QStringList>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

// The batch of Conversion::ConvertirPistes, faster: the calling thread reads the tracks one
// after the other (the CD reader serves one thread at a time) while up to `jobs` encoder
// threads, each with its own encoder, turn the WAV files already read into MP3 files.
// Files, tags, status texts and messages are those of the one-track-at-a-time batch, and
// the view gets them in the same order: the first unfinished track's as they happen, a
// later track's once every track before it is finished. What the view shows thus does not
// depend on timing.
//
// At most `jobs` tracks wait, read but not yet encoded, so that the WAV files on disk stay
// bounded. A close (FormFields::closing) stops the reading and the encodings under way and
// removes the unfinished files of every track in progress, as the one-track-at-a-time
// batch does for its track.
class ParallelConversion
{
public:
    // One line of what is in progress: a track, its status text and its progress.
    struct TrackLine
    {
        std::int32_t position = 0; // item of the track list, from 1
        QString status;
        std::int32_t max = 0;
        std::int32_t value = 0;
    };

    // Shows the tracks in progress. Called from any of the batch's threads, never two calls
    // at once, nor at once with a call of the batch's RipView.
    class Display
    {
    public:
        virtual ~Display() = default;
        // The tracks under way, in list order, after any of them moved.
        virtual void showTracks(const std::vector<TrackLine> &lines) = 0;
        // A track is finished, in list order, after its status texts and messages went to
        // the view; line is its last state.
        virtual void trackFinished(const TrackLine &line) = 0;
    };

    // view gives the track list and the tag boxes, and receives the status texts, the
    // messages, the refresh and the closing message; its progress bar is not used. Its calls
    // and the display's are made with the batch's lock held: they must return promptly (no
    // modal box). jobs below 1 counts as 1.
    ParallelConversion(FormFields &form, RipView &view, int jobs, Display *display = nullptr);
    ~ParallelConversion();
    ParallelConversion(const ParallelConversion &) = delete;
    ParallelConversion &operator=(const ParallelConversion &) = delete;

    // Converts every ticked item, as Conversion::ConvertirPistes does. Returns when every
    // encoding has ended.
    void ConvertirPistes();

    std::int32_t tracksAttempted() const { return m_attempted; }
    std::int32_t tracksProduced() const { return static_cast<std::int32_t>(m_produced.size()); }
    // The files asked for and made, in the order they were finished.
    const QStringList &producedFiles() const { return m_produced; }

private:
    struct Track;
    class TrackView;

    void readTracks(TrackView &reading, std::int32_t count);
    void encodeTracks();
    void encode(Track &track);
    void waitForRoom(std::unique_lock<std::mutex> &lock);
    void finish(Track &track, std::unique_lock<std::mutex> &lock);
    void showInOrder();
    void publish();
    static TrackLine lineOf(const Track &track);

    FormFields &m_form;
    RipView &m_view;
    int m_jobs;
    Display *m_display;

    // Everything below is shared by the threads of a batch, under m_mutex.
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::unique_ptr<Track>> m_tracks; // ticked items reached, in list order
    std::deque<Track *> m_waiting;                // read, waiting for an encoder
    bool m_readingDone = false;
    bool m_encodeInline = false; // no encoder thread could start: the reader encodes
    std::size_t m_committed = 0; // tracks finished and wholly shown, from the first
    std::int32_t m_attempted = 0;
    QStringList m_produced;
};
