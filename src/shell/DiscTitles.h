#pragma once

#include "BatchRunner.h"
#include "CdReader.h"
#include "FormFields.h"
#include "TitleApplication.h"
#include "TitleLookup.h"

#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

// The title lookup of the open disc as the window and the terminal both run it.
namespace DiscTitles {

// What a lookup of the disc open under handle asks: its whole table of contents and its
// CD-Text, read from the file the reader opened (so that a mended image gives them too),
// the CDDB server of the settings and the address given. Empty when the reader has no
// such file or libcdio gives no usable table.
std::optional<titles::TitleLookupRequest> request(const CdReader &reader, std::int32_t handle,
                                                  const FormFields::Settings &settings,
                                                  const QString &email);

// Remembers the titles a batch converted with under the disc's ID, so that the next lookup
// offers them first: only those of the tracks that gave their files; a track that failed
// forgets the title it had (see titles::rememberedAfterBatch). The titles the list opens
// with are not remembered: they would then come before the disc's own CD-Text. False only
// when a save failed (*error says so, in French, for the user).
bool remember(const CdReader &reader, std::int32_t handle, const titles::TitleFields &fields,
              const std::vector<BatchRunner::TrackOutcome> &outcomes, QString *error = nullptr);

// Forgets the titles remembered for the disc of this MusicBrainz ID. Returns an empty text,
// or why they could not be forgotten, in French, for the user.
QString forget(const QString &discId);

// "Artiste — Album (Source)", as the terminal names a candidate.
QString describe(const titles::TitleCandidate &candidate);

} // namespace DiscTitles
