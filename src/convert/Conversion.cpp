#include "Conversion.h"

#include "CdReader.h"
#include "ConvertTexts.h"
#include "CoreTexts.h"
#include "Extraction.h"
#include "FrameAddress.h"
#include "LameEncoder.h"
#include "OutputFiles.h"
#include "SafeFileName.h"

#include <QFileInfo>

#include <exception>
#include <stdexcept>

namespace {

// Case-insensitive file systems would make "Intro" and "intro" one file. The music folder
// may be on one whatever the system (a USB key, a shared Windows folder), and the quiz's
// folder is often copied to Windows: names that differ only in case count as the same.
constexpr Qt::CaseSensitivity FileNameCase = Qt::CaseInsensitive;

const QString WavSuffix = QStringLiteral(".wav");
const QString Mp3Suffix = QStringLiteral(".mp3");

QString reasonOf(const std::exception &e)
{
    const QString reason = QString::fromUtf8(e.what());
    return reason.isEmpty() ? CoreTexts::unexpectedError() : reason;
}

} // namespace

LevelOptions levelOptionsOf(const FormFields::Settings &settings)
{
    return LevelOptions{settings.equalLoudness, settings.cutLeadingSilence};
}

void resetAfterBatch(FormFields &form)
{
    form.LbStop.store(false);
    form.settings.LlTypeEncodage = 0;
    form.settings.LlBitrate = 320;
    form.settings.LbHauteQualite = true;
}

Conversion::Conversion(FormFields &form, RipView &view) : m_form(form), m_view(view) {}

// Runs one step of a track's conversion so that no error leaves it: the error is reported
// for the track and its unfinished files are cleaned up.
template <typename Body>
void Conversion::runTrackStep(Step &step, Body &&body)
{
    QString reason;
    try {
        body();
        step.phase = Phase::Idle;
        return;
    } catch (const FrameOverflow &) {
        reason = CoreTexts::tocOverflow();
    } catch (const std::exception &e) {
        reason = reasonOf(e);
    } catch (...) {
        reason = CoreTexts::unexpectedError();
    }

    if (m_form.closing.load()) {
        abandon(step);
        return;
    }
    // The encoder never leaves an MP3 cut short under its name (it writes under a working
    // name), and an earlier complete MP3 stays; the WAV file stays, it holds the audio.
    const bool started = step.phase != Phase::Idle;
    step.phase = Phase::Idle;
    warn(CoreTexts::conversionError(step.files.name(), reason));
    if (started)
        m_view.setProgressValue(0);
}

void Conversion::ConvertirPiste(std::int32_t n, const TrackTags &tags)
{
    if (const std::optional<TrackWork> track = extractTrack(n, tags))
        encodeTrack(*track);
}

std::optional<Conversion::TrackWork> Conversion::extractTrack(std::int32_t n, const TrackTags &tags)
{
    Step step;
    step.files.tags = tags;
    bool toEncode = false;
    runTrackStep(step, [&] { toEncode = locateAndExtract(step, n) == Extracted::ToEncode; });
    if (!toEncode)
        return std::nullopt;
    // The track is handed over: whatever happens to it now is up to its encoder.
    return step.files;
}

Conversion::Step Conversion::takenOver(const TrackWork &track)
{
    // Where a track stands right after a successful extraction.
    Step step;
    step.files = track;
    step.extracted = true;
    step.phase = Phase::Extracting;
    return step;
}

void Conversion::encodeTrack(const TrackWork &track)
{
    Step step = takenOver(track);
    runTrackStep(step, [&] { encodeExtracted(step); });
}

void Conversion::abandonExtracted(const TrackWork &track)
{
    Step step = takenOver(track);
    abandon(step);
}

Conversion::Extracted Conversion::locateAndExtract(Step &step, std::int32_t n)
{
    const QString &name = step.files.name();
    CdReader *reader = m_form.LoRipper;
    if (reader == nullptr || m_form.LlHandleCD.load() == 0) {
        warn(CoreTexts::readError(name));
        return Extracted::Done;
    }
    if (!reader->SetDriveParam(m_form.LlHandleCD.load(), CdReader::ParamSecureRead, -1))
        warn(CoreTexts::readError(name));
    if (reader->ReadToc(m_form.LlHandleCD.load()) != 1) {
        warn(CoreTexts::readError(name));
        return Extracted::Done;
    }
    if (n == 0)
        return Extracted::Done;
    if (n < 0) {
        warn(CoreTexts::readError(name));
        return Extracted::Done;
    }

    // Item n is the disc's track first + n - 1, whose entries are its own start and the
    // next track's (a disc may number its tracks from 2 or more).
    const std::int32_t trackNumber = checkedSub(checkedAdd(reader->GetFirstTrack(), n), 1);
    const std::int32_t trackStart = frameAddress(reader->GetTocEntry(checkedSub(trackNumber, 1)));
    const std::int32_t trackEnd = frameAddress(reader->GetTocEntry(trackNumber));
    const std::int32_t discStart = frameAddress(reader->GetTocEntry(0));
    const std::int32_t discEnd = frameAddress(reader->GetTocEntry(reader->GetLastTrack()));
    // Only a track inside the disc is read: entries that go backwards, a start before the
    // disc's first sector (a sheet without a valid INDEX 01) or an end past its last would
    // send the drive where no audio is. A track of no frames has nothing to give either.
    if (discStart < LeadInFrames || trackStart < discStart || trackEnd <= trackStart
        || trackEnd > discEnd) {
        warn(CoreTexts::readError(name));
        return Extracted::Done;
    }
    // A data track (the first track of a mixed-mode CD) has no audio to read: said so, and
    // nothing is written.
    if (!reader->isAudioTrack(m_form.LlHandleCD.load(), trackNumber)) {
        warn(CoreTexts::notAudio(name));
        return Extracted::Done;
    }
    const std::int32_t start = checkedSub(trackStart, discStart);
    const std::int32_t length = checkedSub(trackEnd, trackStart);

    const QString baseName = safeFileName(name, trackNumber);
    if (m_batchNames.contains(baseName, FileNameCase)) {
        warn(CoreTexts::duplicateName(name));
        return Extracted::Done;
    }
    step.files.wavPath = m_form.lsDossier + baseName + WavSuffix;
    step.files.mp3Path = m_form.lsDossier + baseName + Mp3Suffix;
    if (!mayReplaceExisting(step.files))
        return Extracted::Done;

    m_view.setStatusText(CoreTexts::statusExtraction(name));
    step.phase = Phase::Extracting;
    step.extracted = ExtraireWav(m_form, m_view, start, length, step.files.wavPath);
    if (m_form.closing.load()) {
        abandon(step);
        return Extracted::Done;
    }
    // A complete WAV file (made, or about to be encoded) or a partial one left for the user
    // takes the name: a later track of the same name must not overwrite it. A track that
    // was cancelled left nothing, and the name stays free.
    if (step.extracted || OutputFiles::exists(step.files.wavPath))
        m_batchNames.append(baseName);

    if (step.extracted && m_form.settings.LlTypeEncodage == 1)
        m_produced.append(step.files.wavPath);
    if (step.extracted && m_form.settings.LlTypeEncodage != 1)
        return Extracted::ToEncode;
    step.phase = Phase::Idle;
    m_view.setProgressValue(0);
    return Extracted::Done;
}

bool Conversion::mayReplaceExisting(const TrackWork &files)
{
    // The WAV file is written whatever the type (and removed after the encoding when only
    // the MP3 file is wanted); the MP3 file only when one is wanted.
    QStringList existing;
    if (m_form.settings.LlTypeEncodage != 1 && OutputFiles::exists(files.mp3Path))
        existing << QFileInfo(files.mp3Path).fileName();
    if (OutputFiles::exists(files.wavPath))
        existing << QFileInfo(files.wavPath).fileName();
    if (existing.isEmpty())
        return true;
    switch (m_form.existingFiles) {
    case ExistingFiles::Replace:
        return true;
    case ExistingFiles::Keep:
        warn(ConvertTexts::existingKept(existing, files.name()));
        return false;
    case ExistingFiles::Ask:
        break;
    }
    if (m_replaceForTheRest)
        return *m_replaceForTheRest;
    if (m_form.closing.load())
        return false;
    const RipView::ReplaceAnswer answer = m_view.askReplace(ConvertTexts::replaceExistingQuestion(existing, files.name()));
    if (answer.forTheRest)
        m_replaceForTheRest = answer.replace;
    return answer.replace && !m_form.closing.load();
}

void Conversion::encodeExtracted(Step &step)
{
    const TrackWork &files = step.files;
    m_view.setStatusText(CoreTexts::statusEncoding(files.name()));
    step.phase = Phase::Encoding;
    LevelPlan plan;
    try {
        plan = EncoderMp3(files.wavPath, files.mp3Path, files.tags);
    } catch (const EncoderError &e) {
        if (m_form.closing.load()) {
            abandon(step);
            return;
        }
        // The WAV file is the only copy of the audio: it stays, whatever the type. An MP3
        // of an earlier run stays too: it is complete, and nothing better replaced it.
        step.phase = Phase::Idle;
        warn(CoreTexts::encodeError(files.name(), reasonOf(e)));
        m_view.setProgressValue(0);
        return;
    }
    step.phase = Phase::Idle;
    m_produced.append(files.mp3Path);
    if (plan.limitedByPeak)
        m_levelNotes.append(ConvertTexts::limitedByPeaks(files.name(), plan.reachedLufs()));
    if (m_form.settings.LlTypeEncodage == 0 && OutputFiles::visibleFileExists(files.wavPath)) {
        const QString reason = OutputFiles::remove(files.wavPath);
        if (!reason.isEmpty())
            warn(CoreTexts::cannotDelete(files.wavPath, reason));
    }
    m_view.setProgressValue(0);
}

LevelPlan Conversion::EncoderMp3(const QString &wavPath, const QString &mp3Path, const TrackTags &tags)
{
    m_view.setProgressMax(100);
    m_view.setProgressValue(0);

    // A link, a folder or anything but a plain file goes first: the new file must not be
    // written through it. An earlier MP3 stays until the new one is complete and takes its
    // place, so that a failed or interrupted conversion does not lose it.
    if (OutputFiles::exists(mp3Path) && !OutputFiles::isPlainFile(mp3Path)) {
        const QString reason = OutputFiles::remove(mp3Path);
        if (!reason.isEmpty())
            throw std::runtime_error(CoreTexts::cannotDelete(mp3Path, reason).toStdString());
    }

    LameEncoder lme;
    lme.setCancelFlag(&m_form.closing);
    lme.setProgressHandler([this](std::int32_t percent) { lme_Progress(percent); });
    lme.setEncodingMode(m_form.settings.LlMode);
    lme.setEncodingBitrate(m_form.settings.LlBitrate);
    lme.setSampleRate(44.1);
    lme.setLowQuality(!m_form.settings.LbHauteQualite);
    lme.setInputFile(wavPath);
    lme.setOutputFile(mp3Path);
    lme.setAlbumTag(tags.album);
    lme.setArtistTag(tags.artist);
    lme.setTitleTag(tags.title);
    lme.setCommentTag(CoreTexts::encodedByComment());
    lme.setLevelOptions(m_levelOptions);
    lme.Encode();
    return lme.levelPlan();
}

void Conversion::lme_Progress(std::int32_t percent)
{
    // Progress is only shown: a failure to show it must not stop the encoding.
    try {
        m_view.setProgressValue(percent);
    } catch (...) {
    }
    try {
        m_view.yieldToUi();
    } catch (...) {
    }
}

void Conversion::abandon(Step &step)
{
    // The program is closing: nothing unfinished of this track may stay. A WAV file that
    // is the track's only wanted output and is complete is finished, not abandoned.
    switch (step.phase) {
    case Phase::Idle:
        break;
    case Phase::Extracting:
        if (!(step.extracted && m_form.settings.LlTypeEncodage == 1))
            OutputFiles::discard(step.files.wavPath);
        break;
    case Phase::Encoding:
        // The encoder removes its own unfinished file; what has the MP3's name is complete
        // (an earlier run's, or this one's if it was just done).
        // The WAV file is complete here: it stays when it was wanted for itself.
        if (m_form.settings.LlTypeEncodage == 0)
            OutputFiles::discard(step.files.wavPath);
        break;
    }
    step.phase = Phase::Idle;
}

void Conversion::warn(const QString &text)
{
    // Once the window is closing, nobody is there to read a message.
    if (m_form.closing.load())
        return;
    m_view.showMessage(text, MessageIcon::Exclamation);
}
