#pragma once

#include "TitleApplication.h"
#include "TrackList.h"

// The track list as the title lookup sees it, and back: the window and the terminal apply
// and remember titles through these two.
namespace TrackTitles {

// The texts, own artists, album and artist of the list.
titles::TitleFields fieldsOf(const TrackList &list);

// Sets the texts, own artists, album and artist; the ticks stay as the user left them.
void apply(TrackList &list, const titles::TitleFields &fields);

} // namespace TrackTitles
