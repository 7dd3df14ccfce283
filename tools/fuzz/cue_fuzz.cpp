// Feeds mutated CUE sheets to the CD reader, each in a child process: open the image, read
// its table of contents, read a few sectors of every track into a WAV file. Counts the cases
// that crash, that hang (no end within the alarm), and the files written anywhere but the
// case's own folder (the BIN is shared and read-only; stand-in folders must go away).
//
//   cue-fuzz [--seconds N] [--seed S]     mutated sheets for N seconds
//   cue-fuzz --replay SHEET               one kept sheet again, raw then secure, in this process
#include "DiscImage.h"
#include "LibcdioReader.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int HangSeconds = 20;

using discimage::DiscLayout;
using discimage::Track;

DiscLayout layout(std::vector<Track> tracks, std::int32_t gap = 0)
{
    DiscLayout disc;
    disc.tracks = std::move(tracks);
    disc.dataGap = gap;
    return disc;
}

const std::vector<QByteArray> &dictionary()
{
    static const std::vector<QByteArray> words{
        "FILE", "TRACK", "INDEX", "BINARY", "WAVE", "MP3", "MOTOROLA", "AUDIO", "MODE1/2352",
        "MODE2/2352", "MODE1/2048", "PREGAP", "POSTGAP", "REM", "TITLE", "PERFORMER", "FLAGS DCP",
        "CATALOG 0000000000000", "ISRC ABCDE1234567", "00", "01", "02", "99", "100", "0/",
        "00:00:00", "00:02:00", "99:59:74", "120:00:00", "-1:00:00", "00:00:75", "4294967295",
        "\"", "\"\"", "\"disc.bin\"", "\"../outside.bin\"", "\"/etc/passwd\"", "\"disc.wav\"",
        "\xEF\xBB\xBF", "\r\n", "\n", "\t", " ", "\0", "\xFF\xFE", "CDTEXTFILE \"x.cdt\"",
        "SONGWRITER \"\xC3\xA9\"", "TRACK 99 AUDIO", "INDEX 01 00:00:00",
    };
    return words;
}

QByteArray mutate(QByteArray sheet, std::mt19937_64 &random)
{
    const auto pick = [&](std::size_t n) { return static_cast<std::size_t>(random() % std::max<std::size_t>(n, 1)); };
    const int rounds = 1 + static_cast<int>(pick(6));
    for (int r = 0; r < rounds; ++r) {
        const auto at = static_cast<qsizetype>(pick(static_cast<std::size_t>(sheet.size()) + 1));
        QList<QByteArray> lines = sheet.split('\n');
        switch (pick(9)) {
        case 0: // flip a byte
            if (!sheet.isEmpty())
                sheet[std::min(at, sheet.size() - 1)] = static_cast<char>(random() & 0xFF);
            break;
        case 1: // insert a word
            sheet.insert(at, dictionary()[pick(dictionary().size())]);
            break;
        case 2: // delete a span
            sheet.remove(at, static_cast<qsizetype>(pick(12)));
            break;
        case 3: // duplicate a line
            if (!lines.isEmpty()) {
                const auto i = static_cast<qsizetype>(pick(static_cast<std::size_t>(lines.size())));
                lines.insert(i, lines[i]);
                sheet = lines.join('\n');
            }
            break;
        case 4: // drop a line
            if (!lines.isEmpty()) {
                lines.removeAt(static_cast<qsizetype>(pick(static_cast<std::size_t>(lines.size()))));
                sheet = lines.join('\n');
            }
            break;
        case 5: // swap two lines
            if (lines.size() > 1) {
                lines.swapItemsAt(static_cast<qsizetype>(pick(static_cast<std::size_t>(lines.size()))),
                                  static_cast<qsizetype>(pick(static_cast<std::size_t>(lines.size()))));
                sheet = lines.join('\n');
            }
            break;
        case 6: // change a digit
            for (qsizetype i = at; i < sheet.size(); ++i) {
                if (sheet[i] >= '0' && sheet[i] <= '9') {
                    sheet[i] = static_cast<char>('0' + pick(10));
                    break;
                }
            }
            break;
        case 7: // truncate
            sheet.truncate(at);
            break;
        default: // a line of words
        {
            QByteArray line = "  ";
            for (std::size_t w = 0, n = 1 + pick(4); w < n; ++w)
                line += dictionary()[pick(dictionary().size())] + ' ';
            lines.insert(static_cast<qsizetype>(pick(static_cast<std::size_t>(lines.size()) + 1)), line);
            sheet = lines.join('\n');
            break;
        }
        }
    }
    return sheet;
}

// The child: what a user's conversion does with the image, in small.
int runCase(const QString &cue, const QString &folder, bool secure)
{
    alarm(HangSeconds);
    LibcdioReader reader({cue});
    reader.ScanDrives();
    const std::int32_t handle = reader.OpenDrive(reader.GetDriveAddress(reader.GetDriveCount() - 1));
    if (handle == 0)
        return reader.lastOpenFailure().isEmpty() ? 10 : 11;
    if (reader.ReadToc(handle) != 1)
        return 12;
    reader.SetDriveParam(handle, CdReader::ParamSecureRead, secure ? -1 : 0);
    const auto address = [](const TocTime &t) { return (t.minutes * 60 + t.seconds) * 75 + t.frames; };
    const std::int32_t entry0 = address(reader.GetTocEntry(0));
    for (std::int32_t track = reader.GetFirstTrack(); track <= reader.GetLastTrack() && track < 200; ++track) {
        const std::int32_t k = track - reader.GetFirstTrack() + 1;
        const std::int32_t begin = address(reader.GetTocEntry(k - 1)) - entry0;
        const std::int32_t end = address(reader.GetTocEntry(k)) - entry0;
        reader.OpenWaveFile(folder + QStringLiteral("/track%1.wav").arg(track));
        // A few chunks at the start and at the end of the track, as any track is read.
        for (const std::int32_t from : {begin, begin + 25, end - 25, end - 3})
            reader.ReadSectors(handle, from, 25);
        reader.CloseWaveFile();
    }
    reader.CloseDrive(handle);
    return 0;
}

QByteArray digest(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&file);
    return hash.result();
}

QStringList entriesUnder(const QString &root)
{
    QStringList names;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        names << it.next();
    names.sort();
    return names;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("sonalbury.cd.libcdio=false"));
    int seconds = 120;
    std::uint64_t seed = 1;
    QString replay;
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QStringLiteral("--seconds"))
            seconds = args[i + 1].toInt();
        else if (args[i] == QStringLiteral("--seed"))
            seed = args[i + 1].toULongLong();
        else if (args[i] == QStringLiteral("--replay"))
            replay = QFileInfo(args[i + 1]).absoluteFilePath();
    }

    QTemporaryDir root;
    const QString shared = root.filePath(QStringLiteral("shared"));
    const QString cases = root.filePath(QStringLiteral("cases"));
    const QString temp = root.filePath(QStringLiteral("tmp"));
    QDir().mkpath(shared);
    QDir().mkpath(cases);
    QDir().mkpath(temp);
    // Stand-in folders land here, where every one left behind is seen.
    qputenv("TMPDIR", temp.toLocal8Bit());

    const std::vector<DiscLayout> layouts{
        layout({Track{300, 0, false}, Track{200, 150, false}, Track{250, 75, false}}),
        layout({Track{300, 0, false}, Track{200, 0, false}, Track{400, 0, true}}, 11400),
        layout({Track{300, 0, true}, Track{200, 150, false}, Track{250, 0, false}}),
        layout({Track{120, 0, false}}),
    };
    std::vector<QByteArray> seeds;
    std::vector<QString> bins;
    for (std::size_t i = 0; i < layouts.size(); ++i) {
        const QString base = shared + QStringLiteral("/seed%1").arg(i);
        const QString cue = discimage::write(base, layouts[i]);
        QFile file(cue);
        file.open(QIODevice::ReadOnly);
        seeds.push_back(file.readAll());
        bins.push_back(base + QStringLiteral(".bin"));
        QFile::setPermissions(bins.back(), QFileDevice::ReadOwner);
    }
    std::vector<QByteArray> binDigests;
    for (const QString &bin : bins)
        binDigests.push_back(digest(bin));
    const QStringList sharedBefore = entriesUnder(shared);

    if (!replay.isEmpty()) {
        const QString folder = cases + QStringLiteral("/replay");
        QDir().mkpath(folder);
        QFile::copy(replay, folder + QStringLiteral("/disc.cue"));
        QFile sheet(replay);
        sheet.open(QIODevice::ReadOnly);
        const QByteArray text = sheet.readAll();
        std::size_t which = 0;
        for (std::size_t i = 0; i < bins.size(); ++i) {
            QFile::link(bins[i], folder + QStringLiteral("/seed%1.bin").arg(i));
            if (text.contains("seed" + QByteArray::number(static_cast<qulonglong>(i)) + ".bin"))
                which = i;
        }
        QFile::link(bins[which], folder + QStringLiteral("/disc.bin"));
        for (const bool secure : {false, true})
            std::printf("%s: %d\n", secure ? "secure" : "raw", runCase(folder + QStringLiteral("/disc.cue"), folder, secure));
        return 0;
    }

    std::mt19937_64 random(seed);
    long total = 0, crashes = 0, hangs = 0, outside = 0, refusedWithReason = 0, refusedSilently = 0,
         opened = 0, leftovers = 0;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < until) {
        ++total;
        const std::size_t which = random() % seeds.size();
        const QString folder = cases + QStringLiteral("/case");
        QDir(folder).removeRecursively();
        QDir().mkpath(folder);
        // The sheet beside its BIN (a link to the shared, read-only one) under both names
        // libcdio or the sheet may look for.
        const QString cue = folder + QStringLiteral("/disc.cue");
        QFile::link(bins[which], folder + QStringLiteral("/disc.bin"));
        QFile::link(bins[which], folder + QStringLiteral("/seed%1.bin").arg(which));
        // Half the sheets name the BIN libcdio opens anyway, half another one: both the
        // direct way and the stand-in sheet are exercised.
        QByteArray sheet = seeds[which];
        if ((random() & 1) != 0)
            sheet.replace("seed" + QByteArray::number(static_cast<qulonglong>(which)) + ".bin", "disc.bin");
        sheet = mutate(sheet, random);
        {
            QFile file(cue);
            file.open(QIODevice::WriteOnly);
            file.write(sheet);
        }
        const bool secure = (random() & 1) != 0;
        std::fflush(nullptr);
        const pid_t child = fork();
        if (child == 0)
            _exit(runCase(cue, folder, secure));
        int status = 0;
        waitpid(child, &status, 0);
        bool bad = false;
        if (WIFSIGNALED(status)) {
            bad = true;
            if (WTERMSIG(status) == SIGALRM)
                ++hangs;
            else
                ++crashes;
        } else if (WEXITSTATUS(status) == 0) {
            ++opened;
        } else if (WEXITSTATUS(status) == 11) {
            ++refusedWithReason;
        } else if (WEXITSTATUS(status) == 10 || WEXITSTATUS(status) == 12) {
            ++refusedSilently;
        } else {
            bad = true;
            ++crashes; // a sanitizer report ends the child with its own status
        }
        // Only the case folder may have changed; stand-in folders must be gone.
        if (entriesUnder(shared) != sharedBefore) {
            ++outside;
            bad = true;
        }
        if (!QDir(temp).isEmpty()) {
            ++leftovers;
            bad = true;
            QDir(temp).removeRecursively();
            QDir().mkpath(temp);
        }
        for (const QFileInfo &entry : QDir(folder).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
            const QString name = entry.fileName();
            if (name != QStringLiteral("disc.cue") && !name.endsWith(QStringLiteral(".bin"))
                && !(name.startsWith(QStringLiteral("track")) && name.endsWith(QStringLiteral(".wav")))) {
                ++outside;
                bad = true;
            }
        }
        if (bad) {
            // Kept in the working folder, to be replayed.
            QFile::copy(cue, QDir::current().filePath(QStringLiteral("cue-fuzz-bad%1.cue").arg(total)));
            std::fprintf(stderr, "case %ld: status %d, sheet kept as cue-fuzz-bad%ld.cue\n", total, status, total);
        }
    }
    for (std::size_t i = 0; i < bins.size(); ++i) {
        if (digest(bins[i]) != binDigests[i])
            ++outside;
    }
    std::printf("cases %ld: opened and read %ld, refused with a reason %ld, refused without one %ld\n"
                "crashes %ld, hangs %ld, files written outside %ld, stand-in folders left %ld\n",
                total, opened, refusedWithReason, refusedSilently, crashes, hangs, outside, leftovers);
    return crashes + hangs + outside + leftovers == 0 ? 0 : 1;
}
