#include "ServiceTexts.h"

#include <QNetworkReply>

namespace titles {

namespace {
constexpr char TooLargeProperty[] = "sonalburyTooLarge";
constexpr char RefusedRedirectProperty[] = "sonalburyRefusedRedirect";

QString refusedRedirect(const QUrl &target)
{
    return QStringLiteral("redirection refusée vers « %1 ».")
        .arg(target.toDisplayString(QUrl::RemoveUserInfo | QUrl::FullyEncoded));
}
} // namespace

QString ServiceTexts::networkFailure(const QNetworkReply &reply)
{
    const int status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QVariant refused = reply.property(RefusedRedirectProperty);
    if (refused.isValid())
        return refusedRedirect(refused.toUrl());
    switch (reply.error()) {
    case QNetworkReply::NoError:
        break;
    case QNetworkReply::InsecureRedirectError:
    case QNetworkReply::TooManyRedirectsError:
    case QNetworkReply::ProtocolUnknownError:
        // Qt refused it itself (another scheme than HTTP's): the target is in the reply's header.
        if (status >= 300 && status < 400)
            return refusedRedirect(reply.url().resolved(QUrl::fromEncoded(reply.rawHeader("Location"))));
        break;
    case QNetworkReply::UnknownContentError:
    case QNetworkReply::ProtocolFailure:
        // Qt stops a reply that decompresses into far more than it weighs (a gzip bomb).
        if (status == 200)
            return tooLarge();
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

void ServiceTexts::prepare(QNetworkRequest &request)
{
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::UserVerifiedRedirectPolicy);
}

void ServiceTexts::watch(QNetworkReply *reply)
{
    QObject::connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64 total) {
        if (received > LargestReply || total > LargestReply) {
            reply->setProperty(TooLargeProperty, true);
            reply->abort();
        }
    });
    QObject::connect(reply, &QNetworkReply::redirected, reply, [reply](const QUrl &target) {
        // The reply's url() is already the target here: compare with what was asked.
        const QUrl from = reply->request().url();
        const auto port = [](const QUrl &url) { return url.port(url.scheme() == QLatin1String("https") ? 443 : 80); };
        const bool sameHost = target.host().compare(from.host(), Qt::CaseInsensitive) == 0;
        const bool sameServer = target.scheme() == from.scheme() && port(target) == port(from);
        const bool madeSecure = from.scheme() == QLatin1String("http") && target.scheme() == QLatin1String("https");
        if (sameHost && (sameServer || madeSecure)) {
            emit reply->redirectAllowed();
            return;
        }
        reply->setProperty(RefusedRedirectProperty, target);
        reply->abort();
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
