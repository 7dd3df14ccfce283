#include "TitleCandidate.h"

#include "ServiceTexts.h"

#include <QLocale>

namespace titles {

QString TitleCandidate::label() const
{
    const QString a = artist.trimmed();
    const QString b = album.trimmed();
    QString text;
    if (!a.isEmpty() && !b.isEmpty())
        text = a + QStringLiteral(" — ") + b;
    else
        text = a.isEmpty() ? b : a;
    if (text.isEmpty())
        text = ServiceTexts::untitled();
    if (!year.trimmed().isEmpty())
        text += QStringLiteral(" (%1)").arg(year.trimmed());
    return text;
}

QString TitleCandidate::sourceText() const
{
    switch (source) {
    case Source::Remembered:
        return ServiceTexts::rememberedSource() + QStringLiteral(" (%1)").arg(QLocale(QLocale::French).toString(
                   savedAt.toLocalTime(), QStringLiteral("dd/MM/yyyy")));
    case Source::CdText:
        return ServiceTexts::cdTextSource();
    case Source::MusicBrainz:
        return inexact ? ServiceTexts::inexactMusicBrainzSource() : ServiceTexts::musicBrainzSource();
    case Source::Cddb:
        return inexact ? ServiceTexts::inexactCddbSource() : ServiceTexts::cddbSource();
    }
    return {};
}

bool TitleCandidate::hasTrackArtists() const
{
    for (const TrackTitle &track : tracks)
        if (!track.artist.trimmed().isEmpty() && track.artist.trimmed() != artist.trimmed())
            return true;
    return false;
}

bool fitsDisc(const TitleCandidate &candidate, int listedTrackCount)
{
    return listedTrackCount > 0 && candidate.tracks.size() == listedTrackCount;
}

} // namespace titles
