#pragma once

#include <QString>
#include <cstdint>

// The base name of a track's output files: the title with the characters that file systems
// refuse replaced by "_", trailing dots and blanks dropped, no leading dot (hidden file),
// reserved device names avoided, at most 250 bytes of UTF-8, and "Piste " & trackNumber
// when nothing is left. Never a path: it cannot leave the music folder.
QString safeFileName(const QString &title, std::int32_t trackNumber);
