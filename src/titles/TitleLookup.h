#pragma once

#include "DiscToc.h"
#include "TitleCandidate.h"

#include <QObject>
#include <QStringList>
#include <QUrl>
#include <chrono>
#include <optional>

class QNetworkAccessManager;

namespace titles {

class CddbClient;
class MusicBrainzClient;

struct TitleLookupRequest
{
    DiscToc toc;
    QString sourcePath;      // device or image for the CD-Text; empty = no CD-Text
    QString cddbServer;      // the "Serveur" setting
    QString cddbCgi;         // the "Cgi" setting
    QString email;           // the "Courriel" setting: CDDB is skipped without it
    // Where the user gives that address, named when CDDB is skipped for want of it.
    QString emailWhere = QStringLiteral("champ « Adresse électronique »");
    QString rememberedFolder; // empty = the user's data folder
};

// Asks every source in turn (remembered titles, CD-Text, MusicBrainz, CDDB) on the
// event loop and collects what fits the disc; a source that fails leaves one French
// line ("MusicBrainz : le serveur ne répond pas.") and the next one is asked.
class TitleLookup : public QObject
{
    Q_OBJECT

public:
    explicit TitleLookup(QObject *parent = nullptr);
    ~TitleLookup() override;

    // Defaults: SONALBURY_MUSICBRAINZ_URL or https://musicbrainz.org; 15 s per request.
    void setMusicBrainzUrl(const QUrl &url);
    void setTimeout(std::chrono::milliseconds timeout);

    // Returns at once; finished() follows, unless cancel() comes first.
    void start(const TitleLookupRequest &request);
    // Drops the requests under way; finished() is not emitted.
    void cancel();
    bool isRunning() const { return m_running; }

    QList<TitleCandidate> candidates() const { return m_candidates; }
    QStringList failures() const { return m_failures; }
    QString musicBrainzDiscId() const { return m_discId; }

    // The candidate a run without a window takes: the first remembered, else CD-Text,
    // else MusicBrainz, else an exact CDDB match; never a close match. Remembered titles
    // that leave a track unnamed take that track's title from the next of these.
    static std::optional<TitleCandidate> headlessPick(const QList<TitleCandidate> &candidates);

signals:
    void finished();

private:
    void askMusicBrainz();
    void askCddb();
    void take(const QString &sourceName, const QList<TitleCandidate> &found, const QString &failure);
    void end();

    QNetworkAccessManager *m_network;
    MusicBrainzClient *m_musicBrainz;
    CddbClient *m_cddb;
    TitleLookupRequest m_request;
    QString m_discId;
    QList<TitleCandidate> m_candidates;
    QStringList m_failures;
    bool m_running = false;
    int m_generation = 0;
};

} // namespace titles
