#pragma once

#include <QDir>
#include <QString>

// The French texts of the CD layer: why a drive or a disc image cannot be opened. The
// front ends show them under CoreTexts::cannotReadDisc.
namespace CdTexts {

// How a sheet is named in a sentence that starts with it.
inline QString sheetKind(bool cue)
{
    return cue ? QStringLiteral("La feuille CUE") : QStringLiteral("Le fichier TOC");
}

inline QString sheetTooLarge(bool cue, const QString &path)
{
    return (cue ? QStringLiteral("Le fichier « %1 » est trop grand pour être une feuille CUE.")
                : QStringLiteral("Le fichier « %1 » est trop grand pour être un fichier TOC."))
        .arg(QDir::toNativeSeparators(path));
}

inline QString cannotReadFile(const QString &path, const QString &reason)
{
    return QStringLiteral("Impossible de lire le fichier « %1 » : %2").arg(QDir::toNativeSeparators(path), reason);
}

inline QString cueNamesNoData()
{
    return QStringLiteral("La feuille CUE ne nomme aucun fichier de données.");
}

inline QString cueBadTrackNumber(const QString &number)
{
    return QStringLiteral("La feuille CUE porte un numéro de piste invalide : « %1 ».").arg(number);
}

inline QString cueFirstTrackTooHigh(int track, int highest)
{
    return QStringLiteral("La feuille CUE commence à la piste %1 : une image dont la première piste "
                          "porte un numéro au-delà de %2 ne peut pas être lue.")
        .arg(track)
        .arg(highest);
}

inline QString cueNamesSeveralFiles()
{
    return QStringLiteral("La feuille CUE nomme plusieurs fichiers (un par piste) : seules les images "
                          "en un seul fichier BIN peuvent être lues.");
}

inline QString cueNamesNonBinary(const QString &type, const QString &name)
{
    return QStringLiteral("La feuille CUE nomme un fichier %1 (« %2 ») : seules les images BIN peuvent "
                          "être lues.")
        .arg(type, name);
}

inline QString sheetNamesMissingFile(bool cue, const QString &name)
{
    return QStringLiteral("%1 nomme un fichier introuvable : « %2 ».").arg(sheetKind(cue), name);
}

inline QString sheetNamesNonFile(bool cue, const QString &name)
{
    return QStringLiteral("%1 nomme « %2 », qui n'est pas un fichier.").arg(sheetKind(cue), name);
}

inline QString imageTooLarge(const QString &name)
{
    return QStringLiteral("L'image « %1 » dépasse ce qu'un CD peut contenir (100 minutes) : elle ne "
                          "peut pas être lue.")
        .arg(name);
}

inline QString preparationFailure(const QString &imagePath, const QString &reason)
{
    return QStringLiteral("Impossible de préparer la lecture de l'image « %1 » : %2")
        .arg(QDir::toNativeSeparators(imagePath), reason);
}

inline QString noTemporaryFolder()
{
    return QStringLiteral("dossier temporaire impossible à créer");
}

inline QString cannotWriteTemporaryFolder()
{
    return QStringLiteral("écriture impossible dans le dossier temporaire");
}

inline QString imageNotFound(const QString &shownPath)
{
    return QStringLiteral("Le fichier image est introuvable : « %1 ».").arg(shownPath);
}

inline QString notAnImageFile(const QString &shownPath)
{
    return QStringLiteral("« %1 » n'est pas un fichier image.").arg(shownPath);
}

inline QString unreadableImage(const QString &shownPath)
{
    return QStringLiteral("Le fichier « %1 » n'est pas une image de disque lisible.").arg(shownPath);
}

inline QString noAudioTrack()
{
    return QStringLiteral("Le disque ne contient aucune piste audio lisible.");
}

} // namespace CdTexts
