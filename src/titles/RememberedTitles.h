#pragma once

#include "TitleCandidate.h"

#include <QString>
#include <optional>

namespace titles {

// Titles the user applied or typed, one small JSON file per disc (named by its
// MusicBrainz disc ID) in the user's data folder, so the disc is named again offline.
//
// Whatever sits at a disc's entry is never followed nor waited for: a link there is
// replaced by the save, not written through; a FIFO, a folder or a device is no remembered
// titles and is not opened.
class RememberedTitles
{
public:
    // A file of remembered titles is a few kilobytes; the reader takes at most this much,
    // and a save that would write more is refused rather than written and never read.
    static constexpr qint64 LargestFile = 1024 * 1024;

    // The folder: <AppDataLocation>/titres, unless given (tests, a portable setup).
    explicit RememberedTitles(const QString &folder = QString());

    QString folder() const { return m_folder; }
    // Writes atomically (a crash or a full disk leaves the previous file whole). False on
    // an I/O failure, a disc ID that is not one or titles too long to be read back; *error
    // then says why in French.
    bool save(const QString &discId, const TitleCandidate &titles, QString *error = nullptr) const;
    // The remembered titles as a candidate of source Remembered; empty when none or
    // when the file is unreadable.
    std::optional<TitleCandidate> load(const QString &discId) const;
    // Forgets the disc's titles. Returns an empty text (also when there were none), or why
    // they could not be forgotten, in French.
    QString forget(const QString &discId) const;

    // Removes the working files of saves whose process was killed before it finished.
    void sweepLeftovers() const;

    static bool isDiscId(const QString &discId);

private:
    QString pathFor(const QString &discId) const;
    QString m_folder;
};

} // namespace titles
