#pragma once

#include "FormFields.h"
#include "RipView.h"

#include <QString>
#include <cstdint>

// Copies the track of length sectors that starts at sector start (counted from TOC entry 0)
// of the open drive into the WAV file at path, at most 25 sectors per read, moving the
// progress bar and yielding to the interface after every chunk.
//
// Returns true when the whole track is in the file. Returns false when:
// - the copy was cancelled (LbStop) or the program is closing: the partial file is removed,
//   nothing is shown;
// - a read or the completion of the file failed: the partial file stays, the failure is
//   shown;
// - a file already at path could not be removed: shown, nothing is written;
// - length is negative: nothing is touched; the caller reports the track as unreadable.
// Throws FrameOverflow when a position does not fit in 32 bits; the WAV file is closed.
bool ExtraireWav(FormFields &form, RipView &view, std::int32_t start, std::int32_t length,
                 const QString &path);
