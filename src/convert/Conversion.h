#pragma once

#include "FormFields.h"
#include "RipView.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

// The work on one track: its reading, its encoding, or the removal of what a close left
// unfinished. The batch (BatchRunner) runs it for each ticked track. Synchronous: it runs
// on the calling thread and calls RipView::yieldToUi after each extraction chunk and at
// each encoder progress event. No error leaves it: a failed track is reported and the
// batch goes on.
class Conversion
{
public:
    Conversion(FormFields &form, RipView &view);

    // Converts the track of item n (from 1) into files named after name in lsDossier.
    void ConvertirPiste(std::int32_t n, const QString &name);

    // Encodes wavPath into mp3Path with the window's settings and a tag titled title.
    // Throws EncoderError (or another std::exception for a file that cannot be replaced).
    void EncoderMp3(const QString &wavPath, const QString &mp3Path, const QString &title);

    // The encoder's progress event: moves the bar and lets the interface react. Never
    // throws.
    void lme_Progress(std::int32_t percent);

    // A track whose WAV file is complete and whose encoding is still to come.
    struct ExtractedTrack
    {
        QString name; // the item's text: tag title, status texts and messages
        QString wavPath;
        QString mp3Path;
    };

    // ConvertirPiste in two halves, for a batch that encodes on other threads while it reads
    // the next track. extractTrack does everything up to the complete WAV file (a WAV-only
    // track is then produced) and returns the track when an encoding must follow; names
    // already used are remembered across calls, as in a batch.
    std::optional<ExtractedTrack> extractTrack(std::int32_t n, const QString &name);
    // The rest of ConvertirPiste for a track that any Conversion of the batch extracted:
    // the encoding, its failure handling and the removal of the WAV file.
    void encodeTrack(const ExtractedTrack &track);
    // The program is closing before the track's encoding started: its files go as when a
    // close stops ConvertirPiste right after the extraction.
    void abandonExtracted(const ExtractedTrack &track);

    // Of the tracks this object worked on: how many gave the file that was asked for (the
    // MP3 file, or the WAV file alone).
    std::int32_t tracksProduced() const { return static_cast<std::int32_t>(m_produced.size()); }
    // Those files, in the order they were made.
    const QStringList &producedFiles() const { return m_produced; }

private:
    enum class Phase
    {
        Idle,
        Extracting,
        Encoding,
    };

    enum class Extracted
    {
        Done,       // nothing more to do for this track
        ToEncode,   // the WAV file is complete and an MP3 file is wanted
    };

    void beginTrack();
    void takeOver(const ExtractedTrack &track);
    template <typename Body>
    void runTrackStep(const QString &name, Body &&body);
    Extracted locateAndExtract(std::int32_t n, const QString &name);
    void encodeExtracted(const QString &name);
    void abandonTrack();
    void warn(const QString &text);

    FormFields &m_form;
    RipView &m_view;
    QStringList m_batchNames; // base names taken by tracks of the running batch
    QStringList m_produced; // files asked for and made by the running batch

    // The track under way, for the clean-up after a failure or a close.
    Phase m_phase = Phase::Idle;
    bool m_extracted = false;
    QString m_wavPath;
    QString m_mp3Path;
};

// What the convert button puts back after every batch, whatever the batch did.
void resetAfterBatch(FormFields &form);
