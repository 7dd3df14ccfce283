#pragma once

#include <QDir>
#include <QString>
#include <cstdint>

// The French texts that both front ends show: the opening of a disc, the extraction, the
// conversion of one track, the batch, and the failures they share. Each other module keeps
// its own texts in one header of its own (CdTexts, ConvertTexts, ShellTexts, ServiceTexts).
namespace CoreTexts {

inline QString noDrive()
{
    return QStringLiteral("Vous ne possédez pas de lecteur de CDRom");
}

// reason: why the reader could not open it, on a line of its own, when the reader knows.
inline QString cannotReadDisc(const QString &driveLabel, const QString &reason = QString())
{
    QString text = QStringLiteral("Impossible de lire le CD sur le lecteur ") + driveLabel;
    if (!reason.isEmpty())
        text += QLatin1Char('\n') + reason;
    return text;
}

inline QString tracksReadError()
{
    return QStringLiteral("Erreur lors de la lecture des pistes");
}

// What every status text starts with.
inline QString statusPrefix()
{
    return QStringLiteral("Etat : ");
}

inline QString statusExtraction(const QString &name)
{
    return statusPrefix() + QStringLiteral("Extraction de ") + name;
}

inline QString statusEncoding(const QString &name)
{
    return statusPrefix() + QStringLiteral("Encodage de ") + name;
}

// A track read while every encoder is busy (the terminal's line of that track).
inline QString statusWaitingForEncoder(const QString &name)
{
    return statusPrefix() + QStringLiteral("En attente d'encodage de ") + name;
}

inline QString statusIdle()
{
    return statusPrefix() + QStringLiteral("En attente");
}

inline QString ripFinished()
{
    return QStringLiteral("Rip du CD terminé");
}

inline QString encodedByComment()
{
    return QStringLiteral("Encodé par Sonalbury CD-MP3");
}

inline QString readError(const QString &name)
{
    return QStringLiteral("Erreur lors de la lecture de ") + name;
}

inline QString writeError(const QString &path)
{
    return QStringLiteral("Erreur lors de l'ecriture du fichier ") + QDir::toNativeSeparators(path);
}

inline QString notAudio(const QString &name)
{
    return QStringLiteral("%1 n'est pas une piste audio (elle contient des données) : elle ne donne aucun fichier.")
        .arg(name);
}

inline QString duplicateName(const QString &name)
{
    return QStringLiteral("Une piste du même nom a déjà été convertie : ") + name;
}

inline QString encodeError(const QString &name, const QString &reason)
{
    return QStringLiteral("Erreur lors de l'encodage de ") + name + QLatin1Char('\n') + reason;
}

inline QString conversionError(const QString &name, const QString &reason)
{
    return QStringLiteral("Erreur lors de la conversion de ") + name + QLatin1Char('\n') + reason;
}

inline QString cannotDelete(const QString &path, const QString &reason)
{
    return QStringLiteral("Impossible de supprimer le fichier ") + QDir::toNativeSeparators(path)
           + QLatin1Char('\n') + reason;
}

// Why an entry that is a folder is not removed in its place.
inline QString entryIsFolder()
{
    return QStringLiteral("un dossier porte ce nom");
}

inline QString tocOverflow()
{
    return QStringLiteral("La table des matières du CD donne des positions hors limites.");
}

inline QString unexpectedError()
{
    return QStringLiteral("Erreur inattendue.");
}

// The album box as the window opens: the album tag when nothing else is given.
inline QString defaultAlbum()
{
    return QStringLiteral("titre");
}

// Base name of a track whose title leaves nothing usable for a file name.
inline QString defaultTrackName(std::int32_t trackNumber)
{
    return QStringLiteral("Piste ") + QString::number(trackNumber);
}

} // namespace CoreTexts
