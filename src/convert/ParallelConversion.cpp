#include "ParallelConversion.h"

#include "Conversion.h"
#include "CoreTexts.h"

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

struct ParallelConversion::Track
{
    struct Event
    {
        bool message = false; // a message box, else a status text
        QString text;
        MessageIcon icon = MessageIcon::None;
        QString title;
    };

    std::int32_t position = 0;
    QString name;
    // The tag boxes as they were when the batch reached the track.
    QString album;
    QString artist;
    std::optional<Conversion::ExtractedTrack> extracted;

    QString status;
    std::int32_t max = 0;
    std::int32_t value = 0;
    bool finished = false;
    bool made = false; // the file asked for exists, complete
    std::vector<Event> events; // for the view, in the order they happened
    std::size_t eventsShown = 0;
};

// What the extraction or the encoding of one track shows: kept with the track until the
// view can be given it in list order, and its progress handed to the display.
class ParallelConversion::TrackView : public RipView
{
public:
    explicit TrackView(ParallelConversion &batch) : m_batch(batch) {}

    void setTrack(Track *track)
    {
        m_track = track;
        m_value = 0;
    }

    void setProgressMax(std::int32_t max) override
    {
        const std::lock_guard lock(m_batch.m_mutex);
        m_track->max = max;
        m_track->value = 0;
        m_batch.publish();
    }

    // The line keeps the furthest point of the step under way: the bar set back to 0 at the
    // end of a track would otherwise show a finished track as not started.
    void setProgressValue(std::int32_t value) override
    {
        m_value = value;
        const std::lock_guard lock(m_batch.m_mutex);
        if (value <= m_track->value)
            return;
        m_track->value = value;
        m_batch.publish();
    }

    std::int32_t progressValue() const override { return m_value; }

    void setStatusText(const QString &text) override
    {
        const std::lock_guard lock(m_batch.m_mutex);
        m_track->status = text;
        m_track->value = 0;
        m_track->events.push_back(Track::Event{false, text, MessageIcon::None, QString()});
        m_batch.showInOrder();
        m_batch.publish();
    }

    void showMessage(const QString &text, MessageIcon icon, const QString &title) override
    {
        const std::lock_guard lock(m_batch.m_mutex);
        m_track->events.push_back(Track::Event{true, text, icon, title});
        m_batch.showInOrder();
    }

    void yieldToUi() override {}

    std::int32_t trackCount() override
    {
        const std::lock_guard lock(m_batch.m_mutex);
        return m_batch.m_view.trackCount();
    }

    bool trackChecked(std::int32_t position) override
    {
        const std::lock_guard lock(m_batch.m_mutex);
        return m_batch.m_view.trackChecked(position);
    }

    QString trackText(std::int32_t position) override
    {
        const std::lock_guard lock(m_batch.m_mutex);
        return m_batch.m_view.trackText(position);
    }

    QString albumText() override { return m_track->album; }
    QString artistText() override { return m_track->artist; }
    void refreshFileList() override {}

private:
    ParallelConversion &m_batch;
    Track *m_track = nullptr;
    std::int32_t m_value = 0;
};

ParallelConversion::ParallelConversion(FormFields &form, RipView &view, int jobs,
                                       Display *display)
    : m_form(form)
    , m_view(view)
    , m_jobs(jobs < 1 ? 1 : jobs)
    , m_display(display)
{
}

ParallelConversion::~ParallelConversion() = default;

void ParallelConversion::ConvertirPistes()
{
    // A cancel pressed while no batch ran must not stop this one.
    m_form.LbStop.store(false);
    std::int32_t count = 0;
    {
        const std::lock_guard lock(m_mutex);
        m_tracks.clear();
        m_waiting.clear();
        m_readingDone = false;
        m_committed = 0;
        m_attempted = 0;
        m_produced.clear();
        count = m_view.trackCount();
    }
    if (count <= 0)
        return;

    {
        std::vector<std::jthread> encoders;
        // Declared after the threads so that it runs first: an encoder only ends once the
        // reading is over, whatever way the reading ended.
        struct ReadingDone
        {
            ParallelConversion &batch;
            ~ReadingDone()
            {
                const std::lock_guard lock(batch.m_mutex);
                batch.m_readingDone = true;
                batch.m_changed.notify_all();
            }
        } readingDone{*this};

        try {
            for (int i = 0; i < m_jobs; ++i)
                encoders.emplace_back([this] { encodeTracks(); });
        } catch (const std::system_error &) {
            // Fewer threads than asked for; with none at all the reader encodes itself.
        }
        m_encodeInline = encoders.empty();
        {
            // Tracks are coming: a terminal draws its block from now on instead of one bar.
            const std::lock_guard lock(m_mutex);
            publish();
        }
        TrackView reading(*this);
        readTracks(reading, count);
    }

    const std::lock_guard lock(m_mutex);
    showInOrder();
    if (m_form.closing.load())
        return;
    showSafely([&] {
        m_view.refreshFileList();
        m_view.showMessage(CoreTexts::ripFinished(), MessageIcon::Information);
        m_view.setProgressValue(0);
    });
}

void ParallelConversion::readTracks(TrackView &reading, std::int32_t count)
{
    Conversion reader(m_form, reading);
    for (std::int32_t i = 1; i <= count; ++i) {
        if (m_form.closing.load())
            break;
        std::unique_lock lock(m_mutex);
        // Read when reached: a tick or a title changed during the batch counts.
        if (!m_view.trackChecked(i))
            continue;
        waitForRoom(lock);
        if (m_form.closing.load())
            break;
        auto created = std::make_unique<Track>();
        Track &track = *created;
        track.position = i;
        track.name = m_view.trackText(i);
        track.album = m_view.albumText();
        track.artist = m_view.artistText();
        m_tracks.push_back(std::move(created));
        ++m_attempted;
        lock.unlock();

        reading.setTrack(&track);
        const std::int32_t madeBefore = reader.tracksProduced();
        std::optional<Conversion::ExtractedTrack> extracted = reader.extractTrack(i, track.name);

        lock.lock();
        // A WAV file wanted for itself is made by the reading.
        track.made = reader.tracksProduced() > madeBefore;
        if (!extracted) {
            finish(track, lock);
            continue;
        }
        track.extracted = std::move(extracted);
        if (m_encodeInline) {
            lock.unlock();
            encode(track);
            continue;
        }
        // Read in full and waiting: the line says so rather than "extraction, 100 %".
        track.status = CoreTexts::statusWaitingForEncoder(track.name);
        track.value = 0;
        m_waiting.push_back(&track);
        publish();
        m_changed.notify_all();
    }
    // The tracks that wanted no encoding (WAV files only) were produced by the reading.
    const std::lock_guard lock(m_mutex);
    m_produced += reader.producedFiles();
}

void ParallelConversion::encodeTracks()
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

void ParallelConversion::encode(Track &track)
{
    QStringList produced;
    try {
        TrackView view(*this);
        view.setTrack(&track);
        Conversion encoding(m_form, view);
        if (m_form.closing.load())
            encoding.abandonExtracted(*track.extracted);
        else
            encoding.encodeTrack(*track.extracted);
        produced = encoding.producedFiles();
    } catch (...) {
        // Conversion reports its own failures; nothing else may end the thread.
    }
    std::unique_lock lock(m_mutex);
    track.made = track.made || !produced.isEmpty();
    m_produced += produced;
    finish(track, lock);
}

void ParallelConversion::waitForRoom(std::unique_lock<std::mutex> &lock)
{
    if (m_encodeInline)
        return;
    const auto limit = static_cast<std::size_t>(m_jobs);
    while (m_waiting.size() >= limit && !m_form.closing.load())
        m_changed.wait_for(lock, ClosePollInterval);
}

void ParallelConversion::finish(Track &track, std::unique_lock<std::mutex> &)
{
    track.finished = true;
    showInOrder();
    publish();
}

void ParallelConversion::showInOrder()
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
            showSafely([&] {
                if (event.message)
                    m_view.showMessage(event.text, event.icon, event.title);
                else
                    m_view.setStatusText(event.text);
            });
        }
        if (!track.finished)
            return;
        ++m_committed;
        // A track cut short by the close leaves no line behind, like its files.
        const bool cutShort = m_form.closing.load() && !track.made;
        if (m_display != nullptr && !track.status.isEmpty() && !cutShort)
            showSafely([&] { m_display->trackFinished(lineOf(track)); });
        track.events.clear();
        track.eventsShown = 0;
        if (!m_form.closing.load())
            showSafely([&] { m_view.setStatusText(CoreTexts::statusIdle()); });
    }
}

void ParallelConversion::publish()
{
    if (m_display == nullptr)
        return;
    std::vector<TrackLine> lines;
    for (std::size_t i = m_committed; i < m_tracks.size(); ++i) {
        const Track &track = *m_tracks[i];
        if (!track.finished && !track.status.isEmpty())
            lines.push_back(lineOf(track));
    }
    showSafely([&] { m_display->showTracks(lines); });
}

ParallelConversion::TrackLine ParallelConversion::lineOf(const Track &track)
{
    return TrackLine{track.position, track.status, track.max, track.value};
}
