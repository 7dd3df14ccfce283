#pragma once

#include "FormFields.h"
#include "RipView.h"

#include <QString>
#include <QStringList>
#include <cstdint>

// The conversion of the ticked tracks: the batch, one track, the encoding of one WAV file.
// Synchronous: it runs on the calling thread (the window's worker thread or the terminal)
// and calls RipView::yieldToUi after each extraction chunk and at each encoder progress
// event. No error leaves it: a failed track is reported and the batch goes on.
class Conversion
{
public:
    Conversion(FormFields &form, RipView &view);

    // Converts every ticked item of the track list, in list order, then refreshes the file
    // list and shows the closing message. Clears LbStop first, so a cancel pressed between
    // batches is forgotten.
    void ConvertirPistes();

    // Converts the track of item n (from 1) into files named after name in lsDossier.
    void ConvertirPiste(std::int32_t n, const QString &name);

    // Encodes wavPath into mp3Path with the window's settings and a tag titled title.
    // Throws EncoderError (or another std::exception for a file that cannot be replaced).
    void EncoderMp3(const QString &wavPath, const QString &mp3Path, const QString &title);

    // The encoder's progress event: moves the bar and lets the interface react. Never
    // throws.
    void lme_Progress(std::int32_t percent);

    // Of the ticked tracks of the last batch: how many were attempted, and how many gave
    // the file that was asked for (the MP3 file, or the WAV file alone).
    std::int32_t tracksAttempted() const { return m_attempted; }
    std::int32_t tracksProduced() const { return m_produced; }

private:
    enum class Phase
    {
        Idle,
        Extracting,
        Encoding,
    };

    void convertTrack(std::int32_t n, const QString &name);
    void abandonTrack();
    void warn(const QString &text);
    bool claimFileName(const QString &baseName);

    FormFields &m_form;
    RipView &m_view;
    QStringList m_batchNames; // base names already used by the running batch
    std::int32_t m_attempted = 0;
    std::int32_t m_produced = 0;

    // The track under way, for the clean-up after a failure or a close.
    Phase m_phase = Phase::Idle;
    bool m_extracted = false;
    QString m_wavPath;
    QString m_mp3Path;
};

// What the convert button puts back after every batch, whatever the batch did.
void resetAfterBatch(FormFields &form);

// The base name of a track's output files: the title with the characters that file systems
// refuse replaced by "_", trailing dots and blanks dropped, no leading dot (hidden file),
// reserved device names avoided, at most 250 bytes of UTF-8, and "Piste " & trackNumber
// when nothing is left. Never a path: it cannot leave the music folder.
QString safeFileName(const QString &title, std::int32_t trackNumber);
