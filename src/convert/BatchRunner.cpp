#include "BatchRunner.h"

#include "Conversion.h"
#include "CoreTexts.h"
#include "MusicFolderLock.h"

#include <QThread>

#include <algorithm>
#include <chrono>
#include <optional>
#include <system_error>
#include <thread>

namespace {

// A close comes from a signal handler, which cannot wake a waiting thread: waits look at
// the flag this often.
constexpr auto ClosePollInterval = std::chrono::milliseconds(100);

// What the view is shown must not stop a batch: a failure to show it is dropped.
template <typename Body>
void showSafely(Body &&body) noexcept
{
    try {
        body();
    } catch (...) {
    }
}

} // namespace

struct BatchRunner::Track
{
    struct Event
    {
        bool message = false; // a message box, else a status text
        QString text;
        MessageIcon icon = MessageIcon::None;
        QString title;
    };

    std::int32_t position = 0;
    TrackTags tags; // as the list gave them when the batch reached the track
    std::optional<Conversion::TrackWork> extracted;

    QString status;
    std::int32_t max = 0;
    std::int32_t value = 0;
    Step step = Step::Reading;
    bool finished = false;
    bool made = false; // the file asked for exists, complete
    QStringList files; // that file, once made
    QStringList levelNotes; // its peaks kept it below the others' loudness
    std::vector<Event> events; // for the view, in the order they happened
    std::size_t eventsShown = 0;
};

// One call for the view or the display, taken under the lock and made outside it.
struct BatchRunner::Report
{
    enum class Kind
    {
        Status,
        Message,
        Finished, // Display::trackFinished
        Lines,    // Display::showTracks
    };
    Kind kind = Kind::Status;
    QString text;
    MessageIcon icon = MessageIcon::None;
    QString title;
    TrackLine line;
    std::vector<TrackLine> lines;
    std::vector<TrackLine> reached; // Lines: every track reached, for Display::showBatch
    std::int32_t nextPosition = 0;
};

// What the extraction or the encoding of one track shows: kept with the track until the
// view can be given it in list order, and its progress handed to the display. With one
// job the track in progress is always the first unfinished one: the progress bar and the
// breathing of the interface are the view's own.
class BatchRunner::TrackView : public RipView
{
public:
    // step: what this view reports, the reading or an encoding.
    TrackView(BatchRunner &batch, Step step) : m_batch(batch), m_step(step) {}

    void setTrack(Track *track)
    {
        m_track = track;
        m_value = 0;
        const std::lock_guard lock(m_batch.m_mutex);
        // A new step starts from nothing, whatever the step before it reached.
        m_track->step = m_step;
        m_track->value = 0;
    }

    void setProgressMax(std::int32_t max) override
    {
        if (m_batch.m_encodeInline)
            m_batch.m_view.setProgressMax(max);
        {
            const std::lock_guard lock(m_batch.m_mutex);
            m_track->max = max;
            m_track->value = 0;
            m_batch.publish();
        }
        m_batch.deliverReports();
    }

    // The line keeps the furthest point of the step under way: the bar set back to 0 at the
    // end of a track would otherwise show a finished track as not started.
    void setProgressValue(std::int32_t value) override
    {
        m_value = value;
        if (m_batch.m_encodeInline)
            m_batch.m_view.setProgressValue(value);
        {
            const std::lock_guard lock(m_batch.m_mutex);
            if (value <= m_track->value)
                return;
            m_track->value = value;
            m_batch.publish();
        }
        m_batch.deliverReports();
    }

    std::int32_t progressValue() const override { return m_value; }

    void setStatusText(const QString &text) override
    {
        {
            const std::lock_guard lock(m_batch.m_mutex);
            m_track->status = text;
            m_track->value = 0;
            m_track->events.push_back(Track::Event{false, text, MessageIcon::None, QString()});
            m_batch.showInOrder();
            m_batch.publish();
        }
        m_batch.deliverReports();
    }

    void showMessage(const QString &text, MessageIcon icon, const QString &title) override
    {
        {
            const std::lock_guard lock(m_batch.m_mutex);
            m_track->events.push_back(Track::Event{true, text, icon, title});
            m_batch.showInOrder();
        }
        m_batch.deliverReports();
    }

    // A question cannot wait for its turn in list order like a message: the reading waits
    // for the answer. It is asked at once, but never while another box of the batch is
    // open; what the encoders report meanwhile follows it.
    ReplaceAnswer askReplace(const QString &question) override
    {
        m_batch.deliverReports();
        {
            std::unique_lock lock(m_batch.m_mutex);
            while (m_batch.m_reporting && !m_batch.m_form.closing.load())
                m_batch.m_changed.wait_for(lock, ClosePollInterval);
            if (m_batch.m_form.closing.load())
                return {};
            m_batch.m_reporting = true;
        }
        ReplaceAnswer answer;
        showSafely([&] { answer = m_batch.m_view.askReplace(question); });
        {
            const std::lock_guard lock(m_batch.m_mutex);
            m_batch.m_reporting = false;
            m_batch.m_changed.notify_all();
        }
        m_batch.deliverReports();
        return answer;
    }

    void yieldToUi() override
    {
        if (m_batch.m_encodeInline)
            m_batch.m_view.yieldToUi();
    }

    void refreshFileList() override {}

private:
    BatchRunner &m_batch;
    const Step m_step;
    Track *m_track = nullptr;
    std::int32_t m_value = 0;
};

BatchRunner::BatchRunner(FormFields &form, RipView &view, const TrackSource &tracks, int jobs,
                         Display *display)
    : m_form(form)
    , m_view(view)
    , m_source(tracks)
    , m_jobs(jobs < 1 ? 1 : jobs)
    , m_display(display)
{
}

BatchRunner::~BatchRunner() = default;

int BatchRunner::jobsFor(int asked)
{
    return asked > 0 ? asked : std::max(1, QThread::idealThreadCount());
}

bool BatchRunner::beginBatch()
{
    // A cancel pressed while no batch ran must not stop this one.
    m_form.LbStop.store(false);
    {
        const std::lock_guard lock(m_mutex);
        m_tracks.clear();
        m_waiting.clear();
        m_reports.clear();
        m_readingDone = false;
        m_committed = 0;
        m_nextPosition = 1;
        m_attempted = 0;
        m_produced.clear();
    }
    // Two batches writing the same names would leave mixed or truncated files. A folder
    // where no lock file can be written is not refused: its tracks say why they fail.
    if (m_form.lsDossier.isEmpty())
        return true;
    m_folderLock = std::make_unique<MusicFolderLock>(m_form.lsDossier);
    if (!m_folderLock->tryLock() && m_folderLock->heldElsewhere()) {
        const QString refusal = m_folderLock->failure();
        m_folderLock.reset();
        showSafely([&] { m_view.showMessage(refusal, MessageIcon::Exclamation); });
        return false;
    }
    return true;
}

void BatchRunner::endBatch()
{
    deliverReports();
    m_folderLock.reset();
}

void BatchRunner::ConvertirPistes()
{
    if (!beginBatch())
        return;
    struct End
    {
        BatchRunner &batch;
        ~End() { batch.endBatch(); }
    } end{*this};

    const std::int32_t count = m_source.trackCount();
    if (count <= 0)
        return;

    {
        std::vector<std::jthread> encoders;
        // Declared after the threads so that it runs first: an encoder only ends once the
        // reading is over, whatever way the reading ended.
        struct ReadingDone
        {
            BatchRunner &batch;
            ~ReadingDone()
            {
                const std::lock_guard lock(batch.m_mutex);
                batch.m_readingDone = true;
                batch.m_changed.notify_all();
            }
        } readingDone{*this};

        if (m_jobs > 1) {
            try {
                for (int i = 0; i < m_jobs; ++i)
                    encoders.emplace_back([this] { encodeTracks(); });
            } catch (const std::system_error &) {
                // Fewer threads than asked for; with none at all the reader encodes itself.
            }
        }
        m_encodeInline = encoders.empty();
        {
            // Tracks are coming: a terminal draws its block from now on instead of one bar.
            const std::lock_guard lock(m_mutex);
            publish();
        }
        deliverReports();
        TrackView reading(*this, Step::Reading);
        readTracks(reading, count);
    }

    QStringList levelNotes;
    {
        const std::lock_guard lock(m_mutex);
        showInOrder();
        for (const auto &track : m_tracks) {
            m_produced += track->files;
            levelNotes += track->levelNotes;
        }
    }
    deliverReports();
    if (m_form.closing.load())
        return;
    // One box at the end rather than one per track: the user is told once, with the rest.
    QString finished = CoreTexts::ripFinished();
    if (!levelNotes.isEmpty())
        finished += QStringLiteral("\n\n") + levelNotes.join(QLatin1Char('\n'));
    showSafely([&] {
        m_view.refreshFileList();
        m_view.showMessage(finished, MessageIcon::Information);
        m_view.setProgressValue(0);
    });
}

std::vector<BatchRunner::TrackOutcome> BatchRunner::trackOutcomes() const
{
    std::vector<TrackOutcome> outcomes;
    for (const auto &track : m_tracks) {
        const bool reported = std::any_of(track->events.begin(), track->events.end(),
                                          [](const Track::Event &event) { return event.message; });
        outcomes.push_back({track->position, track->tags.title, track->made, !track->made && reported});
    }
    return outcomes;
}

void BatchRunner::readTracks(TrackView &reading, std::int32_t count)
{
    Conversion reader(m_form, reading);
    reader.setLevelOptions(m_levelOptions);
    for (std::int32_t i = 1; i <= count; ++i) {
        if (m_form.closing.load())
            break;
        // Read when reached: a tick or a title changed during the batch counts.
        if (!m_source.trackChecked(i))
            continue;
        std::unique_lock lock(m_mutex);
        waitForRoom(lock);
        if (m_form.closing.load())
            break;
        lock.unlock();
        auto created = std::make_unique<Track>();
        Track &track = *created;
        track.position = i;
        track.tags = m_source.trackTags(i);
        lock.lock();
        m_tracks.push_back(std::move(created));
        ++m_attempted;
        m_nextPosition = i + 1;
        lock.unlock();

        reading.setTrack(&track);
        const std::int32_t madeBefore = reader.tracksProduced();
        std::optional<Conversion::TrackWork> extracted = reader.extractTrack(i, track.tags);

        lock.lock();
        // A WAV file wanted for itself is made by the reading.
        track.made = reader.tracksProduced() > madeBefore;
        if (track.made)
            track.files = reader.producedFiles().mid(madeBefore);
        if (!extracted) {
            lock.unlock();
            finish(track);
            continue;
        }
        track.extracted = std::move(extracted);
        if (m_encodeInline) {
            lock.unlock();
            encode(track);
            continue;
        }
        // Read in full and waiting: the line says so rather than "extraction, 100 %".
        track.status = CoreTexts::statusWaitingForEncoder(track.tags.title);
        track.value = 0;
        track.step = Step::Waiting;
        m_waiting.push_back(&track);
        publish();
        m_changed.notify_all();
        lock.unlock();
        deliverReports();
    }
    if (m_form.closing.load())
        return;
    {
        // Nothing more is to come from the list.
        const std::lock_guard lock(m_mutex);
        m_nextPosition = count + 1;
        publish();
    }
    deliverReports();
}

void BatchRunner::encodeTracks()
{
    for (;;) {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return !m_waiting.empty() || m_readingDone; });
        if (m_waiting.empty())
            return;
        Track *track = m_waiting.front();
        m_waiting.pop_front();
        // Room for the reader to read the next track.
        m_changed.notify_all();
        lock.unlock();
        encode(*track);
    }
}

void BatchRunner::encode(Track &track)
{
    QStringList produced;
    QStringList levelNotes;
    try {
        TrackView view(*this, Step::Encoding);
        view.setTrack(&track);
        Conversion encoding(m_form, view);
        encoding.setLevelOptions(m_levelOptions);
        if (m_form.closing.load())
            encoding.abandonExtracted(*track.extracted);
        else
            encoding.encodeTrack(*track.extracted);
        produced = encoding.producedFiles();
        levelNotes = encoding.levelNotes();
    } catch (...) {
        // Conversion reports its own failures; nothing else may end the thread.
    }
    {
        const std::lock_guard lock(m_mutex);
        track.made = track.made || !produced.isEmpty();
        track.files += produced;
        track.levelNotes += levelNotes;
    }
    finish(track);
}

void BatchRunner::waitForRoom(std::unique_lock<std::mutex> &lock)
{
    if (m_encodeInline)
        return;
    const auto limit = static_cast<std::size_t>(m_jobs);
    while (m_waiting.size() >= limit && !m_form.closing.load()) {
        m_changed.wait_for(lock, ClosePollInterval);
        // What the encoders finished meanwhile is shown from here too.
        if (!m_reports.empty() && !m_reporting) {
            lock.unlock();
            deliverReports();
            lock.lock();
        }
    }
}

void BatchRunner::finish(Track &track)
{
    {
        const std::lock_guard lock(m_mutex);
        track.finished = true;
        track.step = Step::Finished;
        showInOrder();
        publish();
    }
    deliverReports();
}

void BatchRunner::showInOrder()
{
    // The first unfinished track shows what happens to it as it happens; the tracks after it
    // keep theirs until it is finished. Once the program is closing, status texts of tracks
    // that were all interrupted would only mislead; failures met before are still told.
    while (m_committed < m_tracks.size()) {
        Track &track = *m_tracks[m_committed];
        for (; track.eventsShown < track.events.size(); ++track.eventsShown) {
            const Track::Event &event = track.events[track.eventsShown];
            if (!event.message && m_form.closing.load())
                continue;
            Report report;
            report.kind = event.message ? Report::Kind::Message : Report::Kind::Status;
            report.text = event.text;
            report.icon = event.icon;
            report.title = event.title;
            m_reports.push_back(std::move(report));
        }
        if (!track.finished)
            return;
        ++m_committed;
        // A track cut short by the close leaves no line behind, like its files.
        const bool cutShort = m_form.closing.load() && !track.made;
        if (m_display != nullptr && !track.status.isEmpty() && !cutShort) {
            Report report;
            report.kind = Report::Kind::Finished;
            report.line = lineOf(track);
            m_reports.push_back(std::move(report));
        }
        track.events.clear();
        track.eventsShown = 0;
        if (!m_form.closing.load()) {
            Report report;
            report.text = CoreTexts::statusIdle();
            m_reports.push_back(std::move(report));
        }
    }
}

void BatchRunner::publish()
{
    if (m_display == nullptr)
        return;
    Report report;
    report.kind = Report::Kind::Lines;
    for (std::size_t i = m_committed; i < m_tracks.size(); ++i) {
        const Track &track = *m_tracks[i];
        if (!track.finished && !track.status.isEmpty())
            report.lines.push_back(lineOf(track));
    }
    report.reached.reserve(m_tracks.size());
    for (const auto &track : m_tracks)
        report.reached.push_back(lineOf(*track));
    report.nextPosition = m_nextPosition;
    m_reports.push_back(std::move(report));
}

void BatchRunner::deliverReports()
{
    // One thread at a time hands the reports over, in order, without the lock: a view may
    // block (a modal box) while the encoders go on. A thread that finds another at it leaves
    // its reports to that one.
    std::unique_lock lock(m_mutex);
    if (m_reporting)
        return;
    m_reporting = true;
    while (!m_reports.empty()) {
        const Report report = std::move(m_reports.front());
        m_reports.pop_front();
        lock.unlock();
        showSafely([&] {
            switch (report.kind) {
            case Report::Kind::Status:
                m_view.setStatusText(report.text);
                break;
            case Report::Kind::Message:
                m_view.showMessage(report.text, report.icon, report.title);
                break;
            case Report::Kind::Finished:
                m_display->trackFinished(report.line);
                break;
            case Report::Kind::Lines:
                m_display->showTracks(report.lines);
                m_display->showBatch(report.reached, report.nextPosition);
                break;
            }
        });
        lock.lock();
    }
    m_reporting = false;
    // A question may be waiting for its turn.
    m_changed.notify_all();
}

BatchRunner::TrackLine BatchRunner::lineOf(const Track &track)
{
    return TrackLine{track.position, track.status, track.max, track.value, track.step};
}
