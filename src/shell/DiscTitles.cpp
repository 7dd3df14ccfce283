#include "DiscTitles.h"

#include "CoreTexts.h"
#include "DiscIds.h"
#include "RememberedTitles.h"
#include "TerminalView.h"

namespace DiscTitles {

std::optional<titles::TitleLookupRequest> request(const CdReader &reader, std::int32_t handle,
                                                  const FormFields::Settings &settings,
                                                  const QString &email)
{
    const QString source = handle == 0 ? QString() : reader.discSource(handle);
    if (source.isEmpty())
        return std::nullopt;
    // The reader's own table shows the audio session only; the CDDB ID of an enhanced CD
    // counts its data track and final lead-out too.
    const std::optional<titles::DiscToc> toc = titles::readDiscToc(source);
    if (!toc)
        return std::nullopt;
    titles::TitleLookupRequest request;
    request.toc = *toc;
    request.sourcePath = source;
    request.cddbServer = settings.LsServeur;
    request.cddbCgi = settings.LsCgi;
    request.email = email.trimmed();
    return request;
}

bool remember(const CdReader &reader, std::int32_t handle, const titles::TitleFields &fields, QString *error)
{
    const QString source = handle == 0 ? QString() : reader.discSource(handle);
    const std::optional<titles::DiscToc> toc = source.isEmpty() ? std::nullopt : titles::readDiscToc(source);
    if (!toc)
        return true;
    bool untouched = fields.album == CoreTexts::defaultAlbum() && fields.artist.isEmpty();
    for (qsizetype i = 0; untouched && i < fields.trackTexts.size(); ++i)
        untouched = fields.trackTexts[i] == CoreTexts::defaultTrackName(toc->firstTrack + static_cast<int>(i))
                    && (i >= fields.trackArtists.size() || fields.trackArtists[i].isEmpty());
    const QString discId = titles::musicBrainzDiscId(*toc);
    if (untouched || discId.isEmpty())
        return true;
    QString reason;
    if (titles::RememberedTitles().save(discId, titles::rememberedFrom(fields), &reason))
        return true;
    if (error)
        *error = QStringLiteral("Les titres de ce disque n'ont pas pu être enregistrés : %1").arg(reason);
    return false;
}

QString describe(const titles::TitleCandidate &candidate)
{
    // One line, whatever a server put in the names.
    return terminalText(QStringLiteral("%1 (%2)").arg(candidate.label(), candidate.sourceText()), false);
}

} // namespace DiscTitles
