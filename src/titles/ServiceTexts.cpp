#include "ServiceTexts.h"

#include <QNetworkReply>

namespace titles {

QString ServiceTexts::networkFailure(const QNetworkReply &reply)
{
    const int status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    switch (reply.error()) {
    case QNetworkReply::NoError:
        break;
    case QNetworkReply::HostNotFoundError:
        return QStringLiteral("serveur introuvable (%1).").arg(reply.url().host());
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::RemoteHostClosedError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::UnknownNetworkError:
        return QStringLiteral("connexion impossible (%1).").arg(reply.errorString());
    case QNetworkReply::SslHandshakeFailedError:
        return QStringLiteral("connexion sécurisée impossible (%1).").arg(reply.errorString());
    case QNetworkReply::TimeoutError:
    case QNetworkReply::OperationCanceledError:
        return noAnswer();
    default:
        if (status == 0)
            return QStringLiteral("erreur réseau (%1).").arg(reply.errorString());
        break;
    }
    return QStringLiteral("erreur HTTP %1.").arg(status);
}

namespace {
constexpr char TooLargeProperty[] = "sonalburyTooLarge";
}

void ServiceTexts::limitSize(QNetworkReply *reply)
{
    QObject::connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64 total) {
        if (received > LargestReply || total > LargestReply) {
            reply->setProperty(TooLargeProperty, true);
            reply->abort();
        }
    });
}

bool ServiceTexts::wasTooLarge(const QNetworkReply &reply)
{
    return reply.property(TooLargeProperty).toBool();
}

QString ServiceTexts::version()
{
    return QStringLiteral(SONALBURY_VERSION);
}

QByteArray ServiceTexts::userAgent()
{
    return QByteArrayLiteral("Sonalbury-CD-MP3/") + QByteArrayLiteral(SONALBURY_VERSION)
           + QByteArrayLiteral(" ( https://www.sonalbury.example )");
}

} // namespace titles
