#include "CdText.h"

#include "CdioHandle.h"

#include <QStringDecoder>

#include <cdio/cdtext.h>

namespace titles {

namespace {

bool hasNonAscii(const QByteArray &bytes)
{
    for (const char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80)
            return true;
    return false;
}

QString field(const cdtext_t *text, cdtext_field_t key, track_t track)
{
    return decodeCdText(cdtext_get_const(text, key, track)).trimmed();
}

} // namespace

QString decodeCdText(const char *utf8)
{
    if (!utf8)
        return {};
    const QString once = QString::fromUtf8(utf8);
    for (const QChar c : once)
        if (c.unicode() > 0xFF)
            return once;
    const QByteArray latin = once.toLatin1();
    if (!hasNonAscii(latin))
        return once;
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString twice = decoder.decode(latin);
    return decoder.hasError() ? once : twice;
}

std::optional<TitleCandidate> readCdText(const QString &sourcePath)
{
    const CdioPtr cdio = openCdio(sourcePath);
    if (!cdio)
        return std::nullopt;
    cdtext_t *text = cdio_get_cdtext(cdio.get());
    if (!text)
        return std::nullopt;

    if (cdtext_lang_t *languages = cdtext_list_languages_v2(text)) {
        int chosen = -1;
        for (int i = 0; i < 8; ++i) {
            if (languages[i] == CDTEXT_LANGUAGE_BLOCK_UNUSED || languages[i] == CDTEXT_LANGUAGE_INVALID)
                continue;
            if (chosen < 0 || languages[i] == CDTEXT_LANGUAGE_FRENCH)
                chosen = i;
            if (languages[i] == CDTEXT_LANGUAGE_FRENCH)
                break;
        }
        if (chosen > 0)
            cdtext_set_language_index(text, chosen);
    }

    const track_t first = cdio_get_first_track_num(cdio.get());
    const track_t count = cdio_get_num_tracks(cdio.get());
    if (first == CDIO_INVALID_TRACK || count == CDIO_INVALID_TRACK || count == 0)
        return std::nullopt;
    int listed = count;
    const auto isData = [&](int number) {
        return cdio_get_track_format(cdio.get(), static_cast<track_t>(number)) != TRACK_FORMAT_AUDIO;
    };
    if (count >= 2 && isData(first + count - 1)) {
        bool audioBefore = true;
        for (int n = first; n < first + count - 1; ++n)
            audioBefore = audioBefore && !isData(n);
        if (audioBefore)
            listed = count - 1;
    }

    TitleCandidate candidate;
    candidate.source = TitleCandidate::Source::CdText;
    candidate.album = field(text, CDTEXT_FIELD_TITLE, 0);
    candidate.artist = field(text, CDTEXT_FIELD_PERFORMER, 0);
    bool anyTitle = !candidate.album.isEmpty();
    for (int n = first; n < first + listed; ++n) {
        TrackTitle track;
        track.title = field(text, CDTEXT_FIELD_TITLE, static_cast<track_t>(n));
        track.artist = field(text, CDTEXT_FIELD_PERFORMER, static_cast<track_t>(n));
        if (track.artist.isEmpty())
            track.artist = candidate.artist;
        anyTitle = anyTitle || !track.title.isEmpty();
        candidate.tracks << track;
    }
    if (!anyTitle)
        return std::nullopt;
    return candidate;
}

} // namespace titles
