#pragma once

#include "DiscToc.h"
#include "ServiceTexts.h"
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
    QString emailWhere = ServiceTexts::emailField();
    QString rememberedFolder; // empty = the user's data folder
    // The terminal: remembered titles or the disc's CD-Text are enough, the network is
    // asked only without them.
    bool offlineAnswersSuffice = false;
};

// Asks every source (remembered titles and CD-Text at once, then MusicBrainz and CDDB
// side by side, each with its own time-out) on the event loop and collects what fits the
// disc; a source that fails leaves one French line ("MusicBrainz : le serveur ne répond
// pas.") and the others still count. changed() tells each step, so that a window can show
// the offline answers at once and the network's as they come.
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

    // In a fixed order whatever the order of the answers: by source (remembered, CD-Text,
    // MusicBrainz, CDDB), exact matches before close ones.
    QList<TitleCandidate> candidates() const { return m_candidates; }
    QStringList failures() const;
    // The network sources still awaited ("MusicBrainz", "CDDB").
    QStringList pendingSources() const { return m_pending; }
    // One line per source that failed or is still awaited ("MusicBrainz : recherche…"),
    // in the order of the sources.
    QStringList statusLines() const;
    QString musicBrainzDiscId() const { return m_discId; }

    // The candidate a run without a window takes: the first remembered, else CD-Text,
    // else MusicBrainz, else an exact CDDB match; never a close match. Remembered titles
    // that leave a track unnamed take that track's title from the next of these.
    static std::optional<TitleCandidate> headlessPick(const QList<TitleCandidate> &candidates);

signals:
    // Candidates, failures or pending sources changed.
    void changed();
    void finished();

private:
    void askMusicBrainz();
    void askCddb();
    void take(const QString &sourceName, const QList<TitleCandidate> &found, const QString &failure);
    void fail(const QString &sourceName, const QString &text);
    void answered(const QString &sourceName);
    void end();

    QNetworkAccessManager *m_network;
    MusicBrainzClient *m_musicBrainz;
    CddbClient *m_cddb;
    TitleLookupRequest m_request;
    QString m_discId;
    QList<TitleCandidate> m_candidates;
    QList<std::pair<int, QString>> m_failures; // source rank, text
    QStringList m_pending;
    bool m_running = false;
    int m_generation = 0;
};

} // namespace titles
