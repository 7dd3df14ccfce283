#pragma once

#include "CdReader.h"
#include "TrackList.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

// One track of the disc as the track list shows it.
struct DiscTrack
{
    std::int32_t number = 0; // the disc's own track number
    std::int32_t start = 0;  // frame address of its start (lead-in offset included)
    std::int32_t end = 0;    // frame address of the next track's start, or of the disc's end
    QString duration;        // "mm:ss"
    QString title;           // the title the list starts with: "Piste " & number
};

// What opening a drive gave: its label, the open handle, the table of contents and the
// tracks it lists, and the messages to show (warnings, in the order they arose). The window
// and the terminal both show this value; neither talks to the reader to build it.
struct Disc
{
    QString label;           // vendor and model, or "Image" and the file name
    std::int32_t handle = 0; // 0 when the drive could not be opened
    bool tocRead = false;    // the table of contents was read and gave the track list
    std::int32_t firstTrack = 0;
    std::int32_t lastTrack = 0;
    std::vector<TocTime> toc; // the reader's entries firstTrack - 1 .. lastTrack, in order
    std::vector<DiscTrack> tracks;
    QStringList messages;

    // The disc can be converted from: open, and its table of contents read.
    bool usable() const { return handle != 0 && tocRead; }
    // The tracks as the track list starts them: their titles, none ticked.
    std::vector<ListedTrack> listedTracks() const;
};

// The label a drive list shows for drive driveIndex.
QString driveLabel(CdReader &reader, std::int32_t driveIndex);

// Opens drive driveIndex, turns on error-correcting reads, reads the table of contents and
// lists every track. A track whose entries go backwards is listed too (its conversion
// fails alone); a table whose positions overflow lists nothing.
Disc openDisc(CdReader &reader, std::int32_t driveIndex);
