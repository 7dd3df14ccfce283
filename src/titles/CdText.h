#pragma once

#include "TitleCandidate.h"

#include <QByteArray>
#include <QString>
#include <optional>

namespace titles {

// The CD-Text of a disc or image (a device, a CUE sheet, a cdrdao TOC file), opened with
// libcdio. One language block: French when the disc has one, else the first. A track
// without a performer takes the disc's. Tracks run over the listed tracks (an enhanced
// CD's data track left out). Empty when the source cannot be opened or has no text.
std::optional<TitleCandidate> readCdText(const QString &sourcePath);

// libcdio 2.1 reads CUE-sheet text as Latin-1 and hands it back as UTF-8, so a UTF-8
// sheet comes back encoded twice: when the text re-encoded to Latin-1 is valid UTF-8,
// that is what the sheet said.
QString decodeCdText(const char *utf8);

} // namespace titles
