#pragma once

#include <QString>
#include <QtGlobal>

class QNetworkReply;
class QNetworkRequest;

namespace titles {

// The French texts of the title lookup: the sources' names, and why a source gave
// nothing, in the words the chooser shows after "Source : ".
struct ServiceTexts
{
    static QString rememberedSource() { return QStringLiteral("Titres enregistrés"); }
    static QString cdTextSource() { return QStringLiteral("CD-Text"); }
    static QString musicBrainzSource() { return QStringLiteral("MusicBrainz"); }
    static QString cddbSource() { return QStringLiteral("CDDB"); }
    static QString inexactCddbSource() { return QStringLiteral("CDDB approché"); }
    static QString inexactMusicBrainzSource() { return QStringLiteral("MusicBrainz (approchant)"); }
    static QString untitled() { return QStringLiteral("Sans titre"); }
    // Where the window takes the e-mail address CDDB asks for.
    static QString emailField() { return QStringLiteral("champ « Adresse électronique »"); }
    // "Source : reason", one line of the failures.
    static QString failure(const QString &source, const QString &reason)
    {
        return source + QStringLiteral(" : ") + reason;
    }
    // The line of a source still awaited: "MusicBrainz : recherche…".
    static QString searching() { return QStringLiteral("recherche…"); }
    static QString tocUnusable() { return QStringLiteral("la table des matières du disque est inutilisable."); }
    static QString serverUnusable(const QString &server)
    {
        return QStringLiteral("l'adresse du serveur (« %1 ») est inutilisable.").arg(server);
    }
    static QString emailNeeded(const QString &where)
    {
        return QStringLiteral("non consulté, le serveur demande une adresse électronique (%1).").arg(where);
    }
    static QString noAnswerFits(int trackCount)
    {
        return QStringLiteral("aucune réponse ne compte %1 pistes comme ce disque.").arg(trackCount);
    }

    static QString noAnswer() { return QStringLiteral("le serveur ne répond pas."); }
    static QString busy() { return QStringLiteral("service occupé, réessayez plus tard."); }
    static QString unreadable() { return QStringLiteral("réponse illisible."); }
    static QString tooLarge() { return QStringLiteral("réponse trop volumineuse, abandonnée."); }
    static QString notFound() { return QStringLiteral("ce disque n'est pas connu."); }
    // A transport failure, a refused redirect, a reply too large once decompressed, or an
    // HTTP status other than the ones the client handles.
    static QString networkFailure(const QNetworkReply &reply);
    // "Sonalbury-CD-MP3/1.0 ( https://www.sonalbury.example )"
    static QByteArray userAgent();
    static QString version();
    // No title service sends this much for one disc: a reply that does is aborted
    // rather than held in memory.
    static constexpr qint64 LargestReply = 4 * 1024 * 1024;
    // Before a request goes: redirects wait for watch() to allow them.
    static void prepare(QNetworkRequest &request);
    // Aborts reply as soon as it announces or passes LargestReply (wasTooLarge tells
    // after), and follows a redirect only on the same server (http to https allowed): a
    // title service has no business sending the program elsewhere.
    static void watch(QNetworkReply *reply);
    static bool wasTooLarge(const QNetworkReply &reply);
};

} // namespace titles
