#pragma once

#include <QDir>
#include <QLocale>
#include <QString>

#include <cmath>

// The French texts of the encoder: the reasons an encoding fails, which the conversion
// shows after "Erreur lors de l'encodage de <track>", and what equal loudness could not
// do. Paths are shown as the user's system writes them.
namespace ConvertTexts {

inline QString shown(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

// The one message of every failed write of the MP3 file, whatever step failed.
inline QString cannotWriteMp3(const QString &path, const QString &reason)
{
    return QStringLiteral("Impossible d'écrire le fichier MP3 « %1 » : %2").arg(shown(path), reason);
}

inline QString cannotCreateMp3(const QString &path, const QString &reason)
{
    return QStringLiteral("Impossible de créer le fichier MP3 « %1 » : %2").arg(shown(path), reason);
}

inline QString mp3NameTakenByFolder(const QString &path)
{
    return cannotWriteMp3(path, QStringLiteral("un dossier ou un périphérique porte déjà ce nom."));
}

inline QString mp3WouldReplaceItsWav(const QString &path)
{
    return QStringLiteral("Le fichier MP3 « %1 » ne peut pas remplacer le fichier WAV qu'il encode.")
        .arg(shown(path));
}

inline QString cannotReadWav(const QString &path, const QString &reason)
{
    return QStringLiteral("Impossible de lire le fichier WAV « %1 » : %2").arg(shown(path), reason);
}

inline QString wavShorterThanHeader()
{
    return QStringLiteral("le fichier est plus court que ne l'annonce son en-tête");
}

inline QString notAudio(const QString &path, const QString &reason)
{
    return QStringLiteral("Le fichier « %1 » n'est pas un fichier audio lisible : %2").arg(shown(path), reason);
}

inline QString unsupportedChannels(const QString &path, int channels)
{
    return QStringLiteral("Le fichier WAV « %1 » a %2 canaux : seuls les fichiers mono et stéréo "
                          "peuvent être encodés.")
        .arg(shown(path), QString::number(channels));
}

inline QString encoderOutOfMemory()
{
    return QStringLiteral("Impossible de préparer l'encodeur MP3 : mémoire insuffisante.");
}

inline QString encoderRefuses(const QString &path, const QString &reason)
{
    return QStringLiteral("L'encodeur MP3 refuse de traiter « %1 » : %2").arg(shown(path), reason);
}

inline QString encoderFailed(const QString &path, int code)
{
    return QStringLiteral("L'encodeur MP3 a échoué sur « %1 » (code %2).").arg(shown(path), QString::number(code));
}

inline QString encoderCannotFinish(const QString &path, const QString &reason)
{
    return QStringLiteral("L'encodeur MP3 n'a pas pu terminer « %1 » : %2").arg(shown(path), reason);
}

inline QString unknownEncoderError()
{
    return QStringLiteral("erreur inconnue");
}

inline QString valueRefused(const QString &property, const QString &value)
{
    return QStringLiteral("Valeur refusée pour %1 : %2").arg(property, value);
}

inline QString encodingCancelled()
{
    return QStringLiteral("Encodage annulé");
}

inline QString alreadyEncoding()
{
    return QStringLiteral("Un encodage est déjà en cours.");
}

inline QString noInputFile()
{
    return QStringLiteral("Aucun fichier WAV à encoder n'est indiqué.");
}

inline QString noOutputFile()
{
    return QStringLiteral("Aucun fichier MP3 à écrire n'est indiqué.");
}

// "« a.mp3 »" or "« a.mp3 » et « a.wav »": the files of the music folder a track would replace.
inline QString fileNames(const QStringList &names)
{
    QStringList quoted;
    for (const QString &name : names)
        quoted << QStringLiteral("« %1 »").arg(name);
    return quoted.join(QStringLiteral(" et "));
}

inline QString replaceExistingQuestion(const QStringList &names, const QString &track)
{
    return QStringLiteral("Le dossier musiques contient déjà %1.\n\nLe remplacer par la piste « %2 » ?")
        .arg(fileNames(names), track);
}

inline QString replaceButton()
{
    return QStringLiteral("&Remplacer");
}

inline QString keepButton()
{
    return QStringLiteral("&Garder");
}

inline QString sameForTheRest()
{
    return QStringLiteral("Faire de même pour les autres pistes de cette conversion");
}

// What the terminal says of a file it keeps (it keeps them unless told otherwise).
inline QString existingKept(const QStringList &names, const QString &track)
{
    return QStringLiteral("Le dossier musiques contient déjà %1 : gardé, la piste « %2 » n'est pas convertie "
                          "(option --remplacer pour remplacer les fichiers existants).")
        .arg(fileNames(names), track);
}

// A track that equal loudness left below the others: its peaks allowed no more gain. The
// loudness reached to one decimal, as French writes it, with the typographic minus.
inline QString limitedByPeaks(const QString &name, double lufs)
{
    const QString figure = QLocale(QLocale::French).toString(std::abs(lufs), 'f', 1);
    const bool negative = lufs < 0.0 && figure != QStringLiteral("0,0");
    return QStringLiteral("%1 : limitée à %2%3 LUFS par ses crêtes")
        .arg(name, negative ? QStringLiteral("−") : QString(), figure);
}

} // namespace ConvertTexts
