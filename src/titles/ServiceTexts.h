#pragma once

#include <QString>
#include <QtGlobal>

class QNetworkReply;
class QNetworkRequest;

namespace titles {

// Why a title service gave nothing, in the words the chooser shows after "Source : ".
struct ServiceTexts
{
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
