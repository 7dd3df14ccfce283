#pragma once

#include "FormFields.h"
#include "RipView.h"
#include "TrackLevelling.h"
#include "TrackSource.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

// The work on one track: its reading, its encoding, or the removal of what a close left
// unfinished. The batch (BatchRunner) runs it for each ticked track. Synchronous: it runs
// on the calling thread and calls RipView::yieldToUi after each extraction chunk and at
// each encoder progress event. No error leaves it: a failed track is reported and the
// batch goes on.
//
// A Conversion holds what a batch shares across its tracks (the names taken, the files
// made); a track between its reading and its encoding is a value of its own (TrackWork),
// so that any Conversion of the batch, on any thread, can take it further.
class Conversion
{
public:
    // A track whose WAV file is complete and whose encoding is still to come.
    struct TrackWork
    {
        TrackTags tags; // tags.title is the item's text: status texts and messages too
        QString wavPath;
        QString mp3Path;
        const QString &name() const { return tags.title; }
    };

    Conversion(FormFields &form, RipView &view);

    // Equal loudness and the leading-silence cut for the encodings of this object; off
    // until set. A batch sets the options it started with on each of its conversions.
    void setLevelOptions(const LevelOptions &options) { m_levelOptions = options; }

    // Converts the track of item n (from 1) into files named after tags.title in
    // lsDossier: extractTrack, then encodeTrack when an encoding follows.
    void ConvertirPiste(std::int32_t n, const TrackTags &tags);

    // Everything up to the complete WAV file (a WAV-only track is then produced); returns
    // the track when an encoding must follow. Names already used are remembered across
    // calls, as in a batch.
    std::optional<TrackWork> extractTrack(std::int32_t n, const TrackTags &tags);
    // The encoding of a track that any Conversion of the batch extracted, its failure
    // handling and the removal of the WAV file.
    void encodeTrack(const TrackWork &track);
    // The program is closing before the track's encoding started: its files go as when a
    // close stops ConvertirPiste right after the extraction.
    void abandonExtracted(const TrackWork &track);

    // Encodes wavPath into mp3Path with the window's settings and these tags; returns what
    // the level options did to the sound. Throws EncoderError (or another std::exception
    // for a file that cannot be replaced).
    LevelPlan EncoderMp3(const QString &wavPath, const QString &mp3Path, const TrackTags &tags);

    // The encoder's progress event: moves the bar and lets the interface react. Never
    // throws.
    void lme_Progress(std::int32_t percent);

    // Of the tracks this object worked on: how many gave the file that was asked for (the
    // MP3 file, or the WAV file alone).
    std::int32_t tracksProduced() const { return static_cast<std::int32_t>(m_produced.size()); }
    // Those files, in the order they were made.
    const QStringList &producedFiles() const { return m_produced; }
    // The tracks whose peaks kept them below the others' loudness, one sentence each.
    const QStringList &levelNotes() const { return m_levelNotes; }

private:
    // How far one step of a track went, for the clean-up after a failure or a close.
    enum class Phase
    {
        Idle,
        Extracting,
        Encoding,
    };
    struct Step
    {
        TrackWork files;
        Phase phase = Phase::Idle;
        bool extracted = false; // the WAV file is complete
    };

    enum class Extracted
    {
        Done,     // nothing more to do for this track
        ToEncode, // the WAV file is complete and an MP3 file is wanted
    };

    static Step takenOver(const TrackWork &track);
    template <typename Body>
    void runTrackStep(Step &step, Body &&body);
    Extracted locateAndExtract(Step &step, std::int32_t n);
    void encodeExtracted(Step &step);
    void abandon(Step &step);
    void warn(const QString &text);

    FormFields &m_form;
    RipView &m_view;
    // False: the track is not to be converted, because the music folder holds files of its
    // name that this batch did not write and the user keeps them.
    bool mayReplaceExisting(const TrackWork &files);

    QStringList m_batchNames; // base names taken by tracks of the running batch
    std::optional<bool> m_replaceForTheRest; // the user's answer for every later track
    QStringList m_produced;   // files asked for and made by the running batch
    LevelOptions m_levelOptions;
    QStringList m_levelNotes;
};

// The level options the settings ask for.
LevelOptions levelOptionsOf(const FormFields::Settings &settings);

// What the convert button puts back after every batch, whatever the batch did.
void resetAfterBatch(FormFields &form);
