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

bool remember(const CdReader &reader, std::int32_t handle, const titles::TitleFields &fields,
              const std::vector<BatchRunner::TrackOutcome> &outcomes, QString *error)
{
    const QString source = handle == 0 ? QString() : reader.discSource(handle);
    const std::optional<titles::DiscToc> toc = source.isEmpty() ? std::nullopt : titles::readDiscToc(source);
    const QString discId = toc ? titles::musicBrainzDiscId(*toc) : QString();
    if (discId.isEmpty() || outcomes.empty())
        return true;
    titles::TitleFields defaults;
    for (qsizetype i = 0; i < fields.trackTexts.size(); ++i)
        defaults.trackTexts << CoreTexts::defaultTrackName(toc->firstTrack + static_cast<int>(i));
    defaults.album = CoreTexts::defaultAlbum();
    QList<titles::ConvertedTrack> converted;
    for (const BatchRunner::TrackOutcome &outcome : outcomes)
        converted << titles::ConvertedTrack{outcome.position - 1, outcome.title, outcome.produced, outcome.failed};

    const titles::RememberedTitles store;
    const std::optional<titles::TitleCandidate> before = store.load(discId);
    const std::optional<titles::TitleCandidate> after = titles::rememberedAfterBatch(before, fields, defaults, converted);
    QString reason;
    if (after)
        store.save(discId, *after, &reason);
    else if (before)
        reason = store.forget(discId);
    if (reason.isEmpty())
        return true;
    if (error)
        *error = QStringLiteral("Les titres de ce disque n'ont pas pu être enregistrés : %1").arg(reason);
    return false;
}

QString forget(const QString &discId)
{
    const QString reason = titles::RememberedTitles().forget(discId);
    if (reason.isEmpty())
        return {};
    return QStringLiteral("Les titres enregistrés de ce disque n'ont pas pu être oubliés : %1").arg(reason);
}

QString describe(const titles::TitleCandidate &candidate)
{
    // One line, whatever a server put in the names.
    return terminalText(QStringLiteral("%1 (%2)").arg(candidate.label(), candidate.sourceText()), false);
}

} // namespace DiscTitles
