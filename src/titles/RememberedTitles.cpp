#include "RememberedTitles.h"

#include "StoredFile.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStandardPaths>

namespace titles {

RememberedTitles::RememberedTitles(const QString &folder)
    : m_folder(folder.isEmpty()
                   ? QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/titres")
                   : folder)
{
}

bool RememberedTitles::isDiscId(const QString &discId)
{
    // MusicBrainz IDs are 28 characters of [A-Za-z0-9._-]: safe as a file name.
    if (discId.size() != 28)
        return false;
    for (const QChar c : discId)
        if (!(c.isLetterOrNumber() && c.unicode() < 0x80) && c != QLatin1Char('.') && c != QLatin1Char('_')
            && c != QLatin1Char('-'))
            return false;
    return true;
}

QString RememberedTitles::pathFor(const QString &discId) const
{
    return m_folder + QLatin1Char('/') + discId + QStringLiteral(".json");
}

bool RememberedTitles::save(const QString &discId, const TitleCandidate &titles, QString *error) const
{
    const auto fail = [&](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    if (!isDiscId(discId))
        return fail(QStringLiteral("Identifiant de disque invalide : %1").arg(discId));
    if (!QDir().mkpath(m_folder))
        return fail(QStringLiteral("Impossible de créer le dossier %1").arg(QDir::toNativeSeparators(m_folder)));

    QJsonArray tracks;
    for (const TrackTitle &track : titles.tracks)
        tracks.append(QJsonObject{{QStringLiteral("title"), track.title}, {QStringLiteral("artist"), track.artist}});
    const QJsonObject root{
        {QStringLiteral("discId"), discId},
        {QStringLiteral("savedAt"), QDateTime::currentDateTimeUtc().toString(Qt::ISODate)},
        {QStringLiteral("artist"), titles.artist},
        {QStringLiteral("album"), titles.album},
        {QStringLiteral("year"), titles.year},
        {QStringLiteral("tracks"), tracks},
    };
    const QByteArray bytes = QJsonDocument(root).toJson();
    if (bytes.size() > LargestFile)
        return fail(QStringLiteral("ces titres sont trop longs (%1 Ko, au plus %2 Ko).")
                        .arg((bytes.size() + 1023) / 1024)
                        .arg(LargestFile / 1024));
    const QString reason = StoredFile::replace(pathFor(discId), bytes);
    if (!reason.isEmpty())
        return fail(reason);
    return true;
}

std::optional<TitleCandidate> RememberedTitles::load(const QString &discId) const
{
    if (!isDiscId(discId))
        return std::nullopt;
    const StoredFile::Contents file = StoredFile::read(pathFor(discId), LargestFile);
    if (file.status != StoredFile::Contents::Status::Read)
        return std::nullopt;
    const QJsonDocument document = QJsonDocument::fromJson(file.bytes);
    const QJsonObject root = document.object();
    if (!document.isObject() || root.value(QStringLiteral("discId")).toString() != discId
        || !root.value(QStringLiteral("tracks")).isArray())
        return std::nullopt;
    TitleCandidate candidate;
    candidate.source = TitleCandidate::Source::Remembered;
    candidate.artist = root.value(QStringLiteral("artist")).toString();
    candidate.album = root.value(QStringLiteral("album")).toString();
    candidate.year = root.value(QStringLiteral("year")).toString();
    candidate.savedAt = QDateTime::fromString(root.value(QStringLiteral("savedAt")).toString(), Qt::ISODate);
    for (const QJsonValue &value : root.value(QStringLiteral("tracks")).toArray()) {
        const QJsonObject track = value.toObject();
        candidate.tracks << TrackTitle{track.value(QStringLiteral("title")).toString(),
                                       track.value(QStringLiteral("artist")).toString()};
    }
    return candidate;
}

QString RememberedTitles::forget(const QString &discId) const
{
    if (!isDiscId(discId))
        return QStringLiteral("Identifiant de disque invalide : %1").arg(discId);
    return StoredFile::remove(pathFor(discId));
}

void RememberedTitles::sweepLeftovers() const
{
    // "<disc ID>.json.<process ID>-<6 letters>", as StoredFile::replace names its work.
    static const QRegularExpression working(
        QStringLiteral("^[A-Za-z0-9._-]{28}\\.json\\.(?<pid>[0-9]{1,10})-[A-Za-z0-9]{6}$"));
    StoredFile::sweep(m_folder, working);
}

} // namespace titles
