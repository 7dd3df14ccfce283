// make-disc-image: writes a BIN/CUE audio CD image with synthetic audio.

#include "DiscImage.h"

#include <QCoreApplication>
#include <QDir>
#include <QStringList>
#include <QTextStream>

#include <cstdio>
#include <exception>
#include <optional>
#include <stdexcept>

namespace {

constexpr std::int32_t EnhancedCdGap = 11400;

const char Usage[] =
    "Usage: make-disc-image [--audio pattern|tones|music] --tracks L1,L2,... [--pregap N]\n"
    "                       [--data-track L] [--data-gap N] [--title T] [--performer P]\n"
    "                       [--track-titles T1|T2|...] [--latin1] [--loudness L1,L2,...]\n"
    "                       BASE\n"
    "\n"
    "Writes BASE.cue and BASE.bin, an audio CD image, and prints the path of the CUE file.\n"
    "Lengths and gaps are in frames (75 per second).\n"
    "\n"
    "  --audio STYLE     pattern: samples derived from their position (default)\n"
    "                    tones: a soft tone per track; music: richer synthetic music\n"
    "  --tracks LIST     lengths of the audio tracks, comma-separated\n"
    "  --pregap N        INDEX 00 before every audio track but the first (default 0)\n"
    "  --data-track L    adds a trailing MODE1 data track of L frames (enhanced CD)\n"
    "  --data-gap N      frames between the audio and the data track (default 11400)\n"
    "  --title T         CD-Text: the disc's title (TITLE line of the CUE sheet)\n"
    "  --performer P     CD-Text: the disc's performer (PERFORMER line)\n"
    "  --track-titles L  CD-Text: track titles separated by '|', each optionally\n"
    "                    \"title=performer\"\n"
    "  --latin1          writes the CUE sheet's texts in Latin-1 instead of UTF-8\n"
    "  --loudness LIST   tones or music: the integrated loudness (LUFS) of each audio\n"
    "                    track, comma-separated; an empty entry leaves a track as made\n"
    "  --help            shows this text\n";

struct UsageError : std::runtime_error
{
    using std::runtime_error::runtime_error;
};

struct HelpRequested
{
};

std::int32_t number(const QString &option, const QString &text, std::int32_t minimum)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < minimum)
        throw UsageError(QStringLiteral("%1 expects a whole number of at least %2, not \"%3\"")
                             .arg(option)
                             .arg(minimum)
                             .arg(text)
                             .toStdString());
    return value;
}

struct Options
{
    discimage::DiscLayout discLayout;
    QString base;
};

Options parse(QStringList args)
{
    Options options;
    std::vector<std::int32_t> lengths;
    std::int32_t pregap = 0;
    std::optional<std::int32_t> dataTrack;
    std::optional<std::int32_t> dataGap;
    std::vector<std::optional<double>> loudness;

    while (!args.isEmpty()) {
        QString arg = args.takeFirst();
        if (!arg.startsWith(QLatin1String("--")) || arg == QLatin1String("--")) {
            if (arg == QLatin1String("--")) {
                if (args.isEmpty())
                    throw UsageError("missing BASE");
                arg = args.takeFirst();
            }
            if (!options.base.isEmpty())
                throw UsageError(QStringLiteral("unexpected argument \"%1\"").arg(arg).toStdString());
            options.base = arg;
            continue;
        }
        QString value;
        const qsizetype equals = arg.indexOf(QLatin1Char('='));
        if (equals > 0) {
            value = arg.mid(equals + 1);
            arg.truncate(equals);
        }
        if (arg == QLatin1String("--help"))
            throw HelpRequested{};
        const auto takeValue = [&]() {
            if (equals > 0)
                return value;
            if (args.isEmpty())
                throw UsageError(QStringLiteral("%1 needs a value").arg(arg).toStdString());
            return args.takeFirst();
        };
        if (arg == QLatin1String("--audio")) {
            const QString style = takeValue();
            if (style == QLatin1String("pattern"))
                options.discLayout.audio = discimage::Audio::Pattern;
            else if (style == QLatin1String("tones"))
                options.discLayout.audio = discimage::Audio::Tones;
            else if (style == QLatin1String("music"))
                options.discLayout.audio = discimage::Audio::Music;
            else
                throw UsageError(QStringLiteral("unknown audio style \"%1\"").arg(style).toStdString());
        } else if (arg == QLatin1String("--tracks")) {
            lengths.clear();
            for (const QString &part : takeValue().split(QLatin1Char(',')))
                lengths.push_back(number(arg, part.trimmed(), 1));
        } else if (arg == QLatin1String("--pregap")) {
            pregap = number(arg, takeValue(), 0);
        } else if (arg == QLatin1String("--data-track")) {
            dataTrack = number(arg, takeValue(), 1);
        } else if (arg == QLatin1String("--data-gap")) {
            dataGap = number(arg, takeValue(), 0);
        } else if (arg == QLatin1String("--title")) {
            options.discLayout.title = takeValue();
        } else if (arg == QLatin1String("--performer")) {
            options.discLayout.performer = takeValue();
        } else if (arg == QLatin1String("--track-titles")) {
            options.discLayout.trackTexts.clear();
            for (const QString &part : takeValue().split(QLatin1Char('|'))) {
                const qsizetype at = part.indexOf(QLatin1Char('='));
                options.discLayout.trackTexts.push_back(
                    at < 0 ? discimage::TrackText{part, {}} : discimage::TrackText{part.left(at), part.mid(at + 1)});
            }
        } else if (arg == QLatin1String("--loudness")) {
            loudness.clear();
            for (const QString &part : takeValue().split(QLatin1Char(','))) {
                if (part.trimmed().isEmpty()) {
                    loudness.emplace_back();
                    continue;
                }
                bool ok = false;
                const double lufs = part.trimmed().toDouble(&ok);
                if (!ok || lufs >= 0.0 || lufs < -70.0)
                    throw UsageError(QStringLiteral("--loudness expects LUFS between -70 and 0, not \"%1\"")
                                         .arg(part)
                                         .toStdString());
                loudness.emplace_back(lufs);
            }
        } else if (arg == QLatin1String("--latin1")) {
            if (equals > 0)
                throw UsageError("--latin1 takes no value");
            options.discLayout.textEncoding = discimage::TextEncoding::Latin1;
        } else {
            throw UsageError(QStringLiteral("unknown option \"%1\"").arg(arg).toStdString());
        }
    }

    if (lengths.empty())
        throw UsageError("--tracks is required");
    if (options.base.isEmpty())
        throw UsageError("missing BASE");
    if (dataGap && !dataTrack)
        throw UsageError("--data-gap needs --data-track");

    if (loudness.size() > lengths.size())
        throw UsageError("--loudness names more tracks than --tracks");
    for (std::size_t i = 0; i < lengths.size(); ++i)
        options.discLayout.tracks.push_back(discimage::Track{lengths[i], i == 0 ? 0 : pregap, false});
    for (const std::optional<double> &lufs : loudness) {
        discimage::Shape shape;
        shape.loudness = lufs;
        options.discLayout.shapes.push_back(shape);
    }
    if (dataTrack) {
        options.discLayout.tracks.push_back(discimage::Track{*dataTrack, 0, true});
        options.discLayout.dataGap = dataGap.value_or(EnhancedCdGap);
    }
    return options;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();
    try {
        const Options options = parse(args);
        const QString cue = discimage::write(options.base, options.discLayout);
        QTextStream(stdout) << QDir::toNativeSeparators(cue) << Qt::endl;
        return 0;
    } catch (const HelpRequested &) {
        std::fputs(Usage, stdout);
        return 0;
    } catch (const UsageError &error) {
        std::fprintf(stderr, "make-disc-image: %s\n\n%s", error.what(), Usage);
        return 2;
    } catch (const std::invalid_argument &error) {
        std::fprintf(stderr, "make-disc-image: %s\n\n%s", error.what(), Usage);
        return 2;
    } catch (const std::exception &error) {
        std::fprintf(stderr, "make-disc-image: %s\n", error.what());
        return 1;
    }
}
