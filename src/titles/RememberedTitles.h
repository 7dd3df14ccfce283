#pragma once

#include "TitleCandidate.h"

#include <QString>
#include <optional>

namespace titles {

// Titles the user applied or typed, one small JSON file per disc (named by its
// MusicBrainz disc ID) in the user's data folder, so the disc is named again offline.
class RememberedTitles
{
public:
    // The folder: <AppDataLocation>/titres, unless given (tests, a portable setup).
    explicit RememberedTitles(const QString &folder = QString());

    QString folder() const { return m_folder; }
    // Writes atomically (a crash leaves the previous file whole). False on an I/O
    // failure or a disc ID that is not one; *error then says why in French.
    bool save(const QString &discId, const TitleCandidate &titles, QString *error = nullptr) const;
    // The remembered titles as a candidate of source Remembered; empty when none or
    // when the file is unreadable.
    std::optional<TitleCandidate> load(const QString &discId) const;

    static bool isDiscId(const QString &discId);

private:
    QString pathFor(const QString &discId) const;
    QString m_folder;
};

} // namespace titles
