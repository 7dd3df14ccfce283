#include "CommandLine.h"

#include "ShellTexts.h"

#include <QRegularExpression>

CommandLine CommandLine::parse(const QStringList &arguments)
{
    CommandLine line;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString &arg = arguments.at(i);
        if (arg == QStringLiteral("--help") || arg == QStringLiteral("-h")) {
            line.help = true;
        } else if (arg == QStringLiteral("--image")) {
            if (i + 1 >= arguments.size()) {
                line.error = ShellTexts::imageOptionNeedsFile();
                return line;
            }
            line.images << arguments.at(++i);
        } else if (arg.startsWith(QStringLiteral("--image="))) {
            if (arg.size() == 8) {
                line.error = ShellTexts::imageOptionNeedsFile();
                return line;
            }
            line.images << arg.mid(8);
        } else if ((arg == QStringLiteral("--convert") || arg.startsWith(QStringLiteral("--convert=")))
                   && line.convert) {
            // Two lists would leave one of them silently unused.
            line.error = ShellTexts::convertGivenTwice();
            return line;
        } else if (arg == QStringLiteral("--convert")) {
            line.convert = true;
            // The list is optional: the next argument is one unless it is an option.
            if (i + 1 < arguments.size() && !arguments.at(i + 1).startsWith(QLatin1Char('-'))) {
                line.trackList = arguments.at(++i);
                if (!parseTrackList(line.trackList)) {
                    line.error = ShellTexts::badTrackList(line.trackList);
                    return line;
                }
            }
        } else if (arg.startsWith(QStringLiteral("--convert="))) {
            line.convert = true;
            line.trackList = arg.mid(10);
            if (!parseTrackList(line.trackList)) {
                line.error = ShellTexts::badTrackList(line.trackList);
                return line;
            }
        } else if (arg == QStringLiteral("--jobs") || arg.startsWith(QStringLiteral("--jobs="))) {
            QString value;
            if (arg == QStringLiteral("--jobs")) {
                if (i + 1 >= arguments.size()) {
                    line.error = ShellTexts::jobsNeedsNumber();
                    return line;
                }
                value = arguments.at(++i);
            } else {
                value = arg.mid(7);
            }
            bool ok = false;
            line.jobs = value.toInt(&ok);
            if (!ok || line.jobs < 1 || line.jobs > 64) {
                line.error = ShellTexts::badJobCount(value);
                return line;
            }
        } else if (arg == QStringLiteral("--titres")) {
            line.titles = true;
        } else if (arg == QStringLiteral("--remplacer")) {
            line.replace = true;
        } else if (arg == QStringLiteral("--volume-egal")) {
            line.equalLoudness = true;
        } else if (arg == QStringLiteral("--couper-silence")) {
            line.cutLeadingSilence = true;
        } else if (arg == QStringLiteral("--courriel") || arg.startsWith(QStringLiteral("--courriel="))) {
            if (arg == QStringLiteral("--courriel") && i + 1 < arguments.size())
                line.email = arguments.at(++i).trimmed();
            else
                line.email = arg.mid(11).trimmed();
            if (!line.email.contains(QLatin1Char('@'))) {
                line.error = ShellTexts::emailOptionNeedsAddress();
                return line;
            }
        } else {
            line.error = ShellTexts::unknownOption(arg);
            return line;
        }
    }
    if (line.jobs > 0 && !line.convert)
        line.error = ShellTexts::onlyWith(QStringLiteral("--jobs"), QStringLiteral("--convert"));
    else if (line.replace && !line.convert)
        line.error = ShellTexts::onlyWith(QStringLiteral("--remplacer"), QStringLiteral("--convert"));
    else if (line.titles && !line.convert)
        line.error = ShellTexts::onlyWith(QStringLiteral("--titres"), QStringLiteral("--convert"));
    else if (!line.email.isEmpty() && !line.titles)
        line.error = ShellTexts::onlyWith(QStringLiteral("--courriel"), QStringLiteral("--titres"));
    else if (line.equalLoudness && !line.convert)
        line.error = ShellTexts::onlyWith(QStringLiteral("--volume-egal"), QStringLiteral("--convert"));
    else if (line.cutLeadingSilence && !line.convert)
        line.error = ShellTexts::onlyWith(QStringLiteral("--couper-silence"), QStringLiteral("--convert"));
    return line;
}

QString CommandLine::usage(const QString &program)
{
    return QStringLiteral(
               "Utilisation : %1 [--image FICHIER]... [--convert [LISTE]] [--jobs N]\n"
               "                 [--remplacer] [--titres [--courriel ADRESSE]] [--volume-egal]\n"
               "                 [--couper-silence]\n"
               "\n"
               "Convertit les pistes d'un CD audio en fichiers MP3 dans le dossier « musiques »\n"
               "placé à côté du programme.\n"
               "\n"
               "Options :\n"
               "  --image FICHIER    ajoute une image de disque (.cue, .toc, .nrg) comme lecteur ;\n"
               "                     l'option peut être répétée.\n"
               "  --convert [LISTE]  convertit sans fenêtre les pistes de la liste (par exemple\n"
               "                     1,3-5), ou toutes les pistes, de la première image donnée\n"
               "                     (sinon du lecteur enregistré), avec les paramètres enregistrés.\n"
               "                     Code de sortie 0 seulement si chaque piste a donné son fichier.\n"
               "  --jobs N           avec --convert : nombre d'encodages simultanés\n"
               "                     (par défaut, le nombre de processeurs).\n"
               "  --remplacer        avec --convert : une piste remplace le fichier du même nom\n"
               "                     déjà présent dans « musiques » (sans cette option, le fichier\n"
               "                     est gardé et la piste n'est pas convertie).\n"
               "  --titres           avec --convert : cherche d'abord les titres du disque (titres\n"
               "                     enregistrés, CD-Text, MusicBrainz, puis CDDB) et prend le\n"
               "                     premier trouvé ; sans réponse, les pistes gardent « Piste n ».\n"
               "  --courriel ADRESSE avec --titres : l'adresse électronique que le serveur CDDB\n"
               "                     demande, pour cette fois (sinon celle du réglage « Courriel »).\n"
               "  --volume-egal      avec --convert : toutes les pistes au même volume perçu\n"
               "                     (-18 LUFS, un gain constant par piste, crêtes sous -1 dBTP),\n"
               "                     pour cette fois (sinon selon le menu Options).\n"
               "  --couper-silence   avec --convert : coupe le silence au début des pistes\n"
               "                     (en gardant 0,2 s avant le premier son), pour cette fois.\n"
               "  --help             affiche cette aide.\n"
               "\n"
               "Codes de sortie de --convert : 0 tout est converti ; 1 une piste au moins\n"
               "n'a pas donné son fichier ; 2 argument incorrect ; 128 + numéro du signal\n"
               "si la conversion est interrompue (130 pour Ctrl+C, 131 pour Ctrl+\\).\n"
               "\n"
               "Variable d'environnement : SONALBURY_MUSICBRAINZ_URL, une autre adresse de base\n"
               "pour MusicBrainz (par défaut https://musicbrainz.org).\n")
        .arg(program);
}

std::optional<std::set<int>> CommandLine::parseTrackList(const QString &text)
{
    static const QRegularExpression item(QStringLiteral("^(\\d{1,2})(?:-(\\d{1,2}))?$"));
    std::set<int> tracks;
    if (text.isEmpty())
        return std::nullopt;
    for (const QString &part : text.split(QLatin1Char(','))) {
        const auto match = item.match(part.trimmed());
        if (!match.hasMatch())
            return std::nullopt;
        const int from = match.captured(1).toInt();
        const int to = match.captured(2).isEmpty() ? from : match.captured(2).toInt();
        if (from < 1 || to < from)
            return std::nullopt;
        for (int t = from; t <= to; ++t)
            tracks.insert(t);
    }
    return tracks;
}
