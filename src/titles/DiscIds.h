#pragma once

#include "DiscToc.h"

#include <QString>

namespace titles {

// The MusicBrainz disc ID (28 characters) over the audio session; empty for a table of
// contents that MusicBrainz would refuse.
QString musicBrainzDiscId(const DiscToc &toc);

// The table of contents as MusicBrainz's search by table takes it, over the same audio
// session as the disc ID: "first+last+lead-out+offset..." (frames, lead-in included).
// Empty when there is no disc ID.
QString musicBrainzToc(const DiscToc &toc);

// The CDDB disc ID (8 lower-case hex digits) over every track, data tracks included.
QString cddbDiscId(const DiscToc &toc);

// "discid ntrks offset... nsecs" for a "cddb query", separated by '+'.
QString cddbQueryArguments(const DiscToc &toc);

} // namespace titles
