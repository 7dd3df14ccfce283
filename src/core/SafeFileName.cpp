#include "SafeFileName.h"

#include "CoreTexts.h"

#include <array>

namespace {

// 255 bytes is the usual limit of one name; room is left for ".wav" / ".mp3" and a "_".
constexpr qsizetype MaxBaseNameBytes = 250;

bool isForbidden(QChar c)
{
    static const QString forbidden = QStringLiteral("\\/:*?\"<>|");
    return c.category() == QChar::Other_Control || forbidden.contains(c);
}

bool isTrailingJunk(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('.');
}

void dropTrailingJunk(QString &name)
{
    qsizetype end = name.size();
    while (end > 0 && isTrailingJunk(name.at(end - 1)))
        --end;
    name.truncate(end);
}

qsizetype utf8Length(char32_t c)
{
    return c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
}

// Windows refuses these names for files, with or without an extension.
bool isReservedDeviceName(const QString &name)
{
    QString stem = name.section(QLatin1Char('.'), 0, 0);
    while (stem.endsWith(QLatin1Char(' ')))
        stem.chop(1);
    static const std::array<QString, 6> plain = {
        QStringLiteral("CON"), QStringLiteral("PRN"),    QStringLiteral("AUX"),
        QStringLiteral("NUL"), QStringLiteral("CONIN$"), QStringLiteral("CONOUT$"),
    };
    for (const QString &reserved : plain) {
        if (stem.compare(reserved, Qt::CaseInsensitive) == 0)
            return true;
    }
    if (stem.size() == 4
        && (stem.startsWith(QStringLiteral("COM"), Qt::CaseInsensitive)
            || stem.startsWith(QStringLiteral("LPT"), Qt::CaseInsensitive))) {
        const QChar last = stem.at(3);
        return (last >= QLatin1Char('0') && last <= QLatin1Char('9')) || last == QChar(u'\u00B9')
               || last == QChar(u'\u00B2') || last == QChar(u'\u00B3');
    }
    return false;
}

} // namespace

QString safeFileName(const QString &title, std::int32_t trackNumber)
{
    QString name;
    name.reserve(title.size());
    qsizetype bytes = 0;
    for (qsizetype i = 0; i < title.size(); ++i) {
        const QChar c = title.at(i);
        char32_t codePoint = c.unicode();
        QString piece(c);
        if (c.isHighSurrogate() && i + 1 < title.size() && title.at(i + 1).isLowSurrogate()) {
            codePoint = QChar::surrogateToUcs4(c, title.at(i + 1));
            piece.append(title.at(i + 1));
            ++i;
        } else if (c.isSurrogate() || isForbidden(c)) {
            // A lone surrogate has no file-system spelling either.
            codePoint = U'_';
            piece = QStringLiteral("_");
        }
        bytes += utf8Length(codePoint);
        if (bytes > MaxBaseNameBytes)
            break;
        name += piece;
    }

    dropTrailingJunk(name);
    // A leading dot hides the file from the folder list (and from the quiz).
    if (name.startsWith(QLatin1Char('.')))
        name[0] = QLatin1Char('_');
    if (name.isEmpty())
        return CoreTexts::defaultTrackName(trackNumber);
    if (isReservedDeviceName(name))
        name.prepend(QLatin1Char('_'));
    return name;
}
