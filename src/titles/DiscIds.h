#pragma once

#include "DiscToc.h"

#include <QString>

namespace titles {

// The MusicBrainz disc ID (28 characters), computed over the audio session; empty for a
// table of contents that is not valid.
QString musicBrainzDiscId(const DiscToc &toc);

// The CDDB disc ID (8 lower-case hex digits) over every track, data tracks included.
QString cddbDiscId(const DiscToc &toc);

// "discid ntrks offset... nsecs" for a "cddb query", separated by '+'.
QString cddbQueryArguments(const DiscToc &toc);

} // namespace titles
