#include "Extraction.h"

#include "CdReader.h"
#include "CoreTexts.h"
#include "FrameAddress.h"
#include "OutputFiles.h"

namespace {

// Closes the reader's WAV file exactly once, also when an exception leaves the loop.
class WaveFileCloser
{
public:
    explicit WaveFileCloser(CdReader &reader) : m_reader(reader) {}
    ~WaveFileCloser()
    {
        if (!m_closed)
            m_reader.CloseWaveFile();
    }
    WaveFileCloser(const WaveFileCloser &) = delete;
    WaveFileCloser &operator=(const WaveFileCloser &) = delete;

    bool close()
    {
        m_closed = true;
        return m_reader.CloseWaveFile();
    }

private:
    CdReader &m_reader;
    bool m_closed = false;
};

bool stopRequested(const FormFields &form)
{
    return form.LbStop.load() || form.closing.load();
}

// A read with retries on a damaged disc can take minutes: while this track is read, a
// cancel or a close stops the reader between two sectors, not only between two chunks.
class StopCheck
{
public:
    StopCheck(CdReader &reader, const FormFields &form) : m_reader(reader)
    {
        m_reader.setStopCheck([&form] { return stopRequested(form); });
    }
    ~StopCheck() { m_reader.setStopCheck({}); }
    StopCheck(const StopCheck &) = delete;
    StopCheck &operator=(const StopCheck &) = delete;

private:
    CdReader &m_reader;
};

} // namespace

bool ExtraireWav(FormFields &form, RipView &view, std::int32_t start, std::int32_t length,
                 const QString &path)
{
    // The chunk rule has no positive count for a negative length: such a track cannot be
    // read, and its existing files are left alone.
    if (length < 0 || form.LoRipper == nullptr)
        return false;
    CdReader &reader = *form.LoRipper;

    view.setProgressMax(length);
    view.setProgressValue(0);

    // Removed first so that a failed copy never leaves the old file behind; a file that
    // cannot be removed would otherwise be overwritten in place or appended to.
    if (OutputFiles::exists(path)) {
        const QString reason = OutputFiles::remove(path);
        if (!reason.isEmpty()) {
            if (!form.closing.load())
                view.showMessage(CoreTexts::cannotDelete(path, reason),
                                 MessageIcon::Exclamation);
            return false;
        }
    }

    reader.OpenWaveFile(path);
    WaveFileCloser wave(reader);
    const StopCheck stopCheck(reader, form);

    const double onePercent = static_cast<double>(length) / 100.0;
    std::int32_t position = 0;
    for (;;) {
        const std::int32_t remaining = checkedSub(length, position);
        const std::int32_t count =
            remaining >= CdReader::MaxSectorsPerRead ? CdReader::MaxSectorsPerRead : remaining;

        const std::int32_t status =
            reader.ReadSectors(form.LlHandleCD.load(), checkedAdd(start, position), count);
        if (status != 1) {
            wave.close();
            if (stopRequested(form)) {
                // A cancel or a close stopped the read: that is no write error, and nothing
                // unfinished is left behind.
                OutputFiles::discard(path);
                return false;
            }
            view.showMessage(CoreTexts::writeError(path), MessageIcon::Exclamation);
            return false;
        }

        const std::int32_t newPosition = checkedAdd(position, count);
        // Redraw only after more than 1 % of the track since the bar last moved.
        if (static_cast<double>(checkedSub(newPosition, view.progressValue())) > onePercent)
            view.setProgressValue(newPosition);

        if (stopRequested(form)) {
            wave.close();
            OutputFiles::discard(path);
            return false;
        }

        view.yieldToUi();

        if (newPosition == length) {
            view.setProgressValue(length);
            // The header is written at close: a full disk shows up here, and the file is
            // then as unusable as after a failed read.
            if (!wave.close()) {
                if (form.closing.load()) {
                    OutputFiles::discard(path);
                    return false;
                }
                view.showMessage(CoreTexts::writeError(path), MessageIcon::Exclamation);
                return false;
            }
            return true;
        }
        position = newPosition;
    }
}
