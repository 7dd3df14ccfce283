#pragma once

#include <QDir>
#include <QString>
#include <cstdint>

// The French texts of the window and the terminal that are theirs alone; what both show
// for the same failure comes from CoreTexts. Paths are shown as the user's system writes
// them.
namespace ShellTexts {

// --- The window -------------------------------------------------------------------------

inline QString cannotStop()
{
    return QStringLiteral("Impossible d'arrêter la lecture du CD");
}

inline QString cannotEject(const QString &driveLabel)
{
    return QStringLiteral("Impossible d'éjecter le disque du lecteur %1").arg(driveLabel);
}

inline QString busy()
{
    return QStringLiteral("Il y a déjà une lecture en cours");
}

inline QString nothingSelected()
{
    return QStringLiteral("Aucun fichier n'est sélectionné");
}

inline QString chooseFile()
{
    return QStringLiteral("Choisissez un fichier");
}

inline QString noDiscForTitles()
{
    return QStringLiteral("Aucun disque lisible : ses titres ne peuvent pas être recherchés.");
}

inline QString searchingTitles()
{
    return QStringLiteral("Recherche des titres...");
}

inline QString yes()
{
    return QStringLiteral("&Oui");
}

inline QString no()
{
    return QStringLiteral("&Non");
}

inline QString confirmTrash(const QString &name)
{
    return QStringLiteral("Voulez-vous vraiment envoyer « %1 » dans la corbeille ?").arg(name);
}

inline QString trashFailed(const QString &name, const QString &reason)
{
    return QStringLiteral("Impossible d'envoyer « %1 » dans la corbeille : %2.").arg(name, reason);
}

inline QString settingsFailed(const QString &where, const QString &reason)
{
    const QString text = QStringLiteral("Impossible d'enregistrer les paramètres dans « %1 »")
                             .arg(QDir::toNativeSeparators(where));
    return reason.isEmpty() ? text + QLatin1Char('.') : QStringLiteral("%1 : %2.").arg(text, reason);
}

// The second panel of the status bar during a batch: "Piste 3 sur 12".
inline QString batchTrack(std::int32_t current, std::int32_t total)
{
    return QStringLiteral("Piste %1 sur %2").arg(current).arg(total);
}

// Appended to batchTrack: " — 2 min 10 s restantes"; seconds is at least 1.
inline QString batchTimeLeft(std::int64_t seconds)
{
    const std::int64_t hours = seconds / 3600;
    const std::int64_t minutes = seconds % 3600 / 60;
    const std::int64_t rest = seconds % 60;
    QString left;
    bool one = false; // the number that agrees with "restante(s)"
    if (hours > 0) {
        left = QStringLiteral("%1 h %2 min").arg(hours).arg(minutes);
    } else if (minutes > 0 && rest > 0) {
        left = QStringLiteral("%1 min %2 s").arg(minutes).arg(rest);
    } else if (minutes > 0) {
        left = QStringLiteral("%1 min").arg(minutes);
        one = minutes == 1;
    } else {
        left = QStringLiteral("%1 s").arg(rest);
        one = rest == 1;
    }
    return QStringLiteral(" — %1 %2").arg(left, one ? QStringLiteral("restante") : QStringLiteral("restantes"));
}

inline QString unexpectedBatchError()
{
    return QStringLiteral("Erreur inattendue pendant la conversion.");
}

inline QString readerCannotStart(const QString &reason)
{
    return QStringLiteral("Le lecteur de CD ne peut pas démarrer : %1").arg(reason);
}

// --- The terminal -----------------------------------------------------------------------

// The command line's mistakes (the help page itself is CommandLine::usage).
inline QString imageOptionNeedsFile()
{
    return QStringLiteral("--image demande un fichier image de disque.");
}

inline QString convertGivenTwice()
{
    return QStringLiteral("--convert ne peut être donné qu'une fois.");
}

inline QString badTrackList(const QString &list)
{
    return QStringLiteral("Liste de pistes incorrecte : %1").arg(list);
}

inline QString jobsNeedsNumber()
{
    return QStringLiteral("--jobs demande un nombre.");
}

inline QString badJobCount(const QString &value)
{
    return QStringLiteral("Nombre de tâches incorrect : %1").arg(value);
}

inline QString emailOptionNeedsAddress()
{
    return QStringLiteral("--courriel demande une adresse électronique.");
}

inline QString unknownOption(const QString &option)
{
    return QStringLiteral("Option inconnue : %1").arg(option);
}

// option means something only with other.
inline QString onlyWith(const QString &option, const QString &other)
{
    return QStringLiteral("%1 ne s'emploie qu'avec %2.").arg(option, other);
}

inline QString seeHelp(const QString &program)
{
    return QStringLiteral("\nEssayez « %1 --help » pour en savoir plus.\n").arg(program);
}

inline QString imageNotFound(const QString &path)
{
    return QStringLiteral("Fichier image introuvable : « %1 »").arg(QDir::toNativeSeparators(path));
}

inline QString noSuchTrack(int track, std::int32_t first, std::int32_t last)
{
    return QStringLiteral("Le disque n'a pas de piste %1 (pistes %2 à %3).").arg(track).arg(first).arg(last);
}

inline QString converting(std::int32_t count, const QString &discLabel, const QString &folder)
{
    return QStringLiteral("Conversion de %1 piste(s) de « %2 » vers %3\n")
        .arg(count)
        .arg(discLabel, QDir::toNativeSeparators(folder));
}

inline QString interrupted()
{
    return QStringLiteral("Conversion interrompue.\n");
}

inline QString tracksWithoutFile(std::int32_t missing, std::int32_t chosen)
{
    return QStringLiteral("%1 piste(s) sur %2 n'ont pas donné de fichier.\n").arg(missing).arg(chosen);
}

// Where the terminal takes the e-mail address CDDB asks for.
inline QString emailOption()
{
    return QStringLiteral("option --courriel ADRESSE");
}

inline QString noTitlesFound()
{
    return QStringLiteral("Aucun titre n'a été trouvé pour ce disque : les pistes gardent leur nom « Piste n ».\n");
}

inline QString titlesTaken(const QString &description)
{
    return QStringLiteral("Titres : %1\n").arg(description);
}

inline QString otherAnswer(const QString &description)
{
    return QStringLiteral("Autre réponse : %1\n").arg(description);
}

} // namespace ShellTexts
