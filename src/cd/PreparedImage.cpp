#include "PreparedImage.h"

#include "CdioHandle.h"
#include "CdTexts.h"
#include "FileSystem.h"
#include "StoredFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTemporaryDir>

#include <filesystem>
#include <system_error>
#include <vector>

namespace {

// Where a sheet names a data file: the line, the name as written and its type word.
struct FileReference
{
    qsizetype line = 0;
    QByteArray name;
    QByteArray type;
    qsizetype nameStart = 0; // offsets of the quoted name in the line (quotes included)
    qsizetype nameEnd = 0;
};

// Names in a sheet are bytes: UTF-8 when they decode as such, else an old Windows sheet
// in Latin-1. On POSIX the bytes are the file name itself.
QString decodeName(const QByteArray &bytes)
{
#ifdef Q_OS_WIN
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8(bytes);
    return utf8.hasError() ? QString::fromLatin1(bytes) : text;
#else
    return QFile::decodeName(bytes);
#endif
}

QString shownName(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8(bytes);
    return utf8.hasError() ? QString::fromLatin1(bytes) : text;
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

// The sheet without its byte-order mark, as UTF-8. Editors on Windows write either a
// UTF-8 mark or UTF-16 ("Unicode"); libcdio reads neither.
QByteArray withoutMark(const QByteArray &raw, bool &changed)
{
    changed = false;
    if (raw.startsWith("\xEF\xBB\xBF")) {
        changed = true;
        return raw.mid(3);
    }
    const bool little = raw.startsWith("\xFF\xFE");
    if (little || raw.startsWith("\xFE\xFF")) {
        changed = true;
        QStringDecoder decoder(little ? QStringDecoder::Utf16LE : QStringDecoder::Utf16BE);
        return QString(decoder(raw.mid(2))).toUtf8();
    }
    return raw;
}

// The lines of a sheet, each with its own ending, so that a rewrite changes one line only.
std::vector<QByteArray> splitLines(const QByteArray &sheet)
{
    std::vector<QByteArray> lines;
    qsizetype start = 0;
    while (start < sheet.size()) {
        qsizetype end = sheet.indexOf('\n', start);
        end = end < 0 ? sheet.size() : end + 1;
        lines.push_back(sheet.mid(start, end - start));
        start = end;
    }
    return lines;
}

// The first word of a line and where the rest begins.
QByteArray firstWord(const QByteArray &line, qsizetype &after)
{
    qsizetype at = 0;
    while (at < line.size() && isBlank(line[at]))
        ++at;
    const qsizetype start = at;
    while (at < line.size() && !isBlank(line[at]) && line[at] != '\n')
        ++at;
    after = at;
    return line.mid(start, at - start);
}

// Reads `"name" TYPE` or `name TYPE` from offset at.
bool readNameAndType(const QByteArray &line, qsizetype at, FileReference &reference)
{
    while (at < line.size() && isBlank(line[at]))
        ++at;
    if (at >= line.size() || line[at] == '\n')
        return false;
    reference.nameStart = at;
    if (line[at] == '"') {
        const qsizetype close = line.indexOf('"', at + 1);
        const qsizetype stop = close < 0 ? line.size() : close;
        reference.name = line.mid(at + 1, stop - at - 1);
        at = close < 0 ? line.size() : close + 1;
    } else {
        const qsizetype start = at;
        while (at < line.size() && !isBlank(line[at]) && line[at] != '\n')
            ++at;
        reference.name = line.mid(start, at - start);
    }
    reference.nameEnd = at;
    while (reference.name.endsWith('\r') || reference.name.endsWith('\n'))
        reference.name.chop(1);
    qsizetype rest = 0;
    reference.type = firstWord(line.mid(at), rest).toUpper();
    return !reference.name.isEmpty();
}

// The file a sheet names: relative names count from the sheet's folder. Sheets written on
// another machine often carry its absolute path ("C:\Musique\Album.bin"): when that does
// not exist, the same file name beside the sheet is taken.
QString resolve(const QString &sheetPath, const QByteArray &name)
{
    const QString written = decodeName(name);
    const QDir folder = QFileInfo(sheetPath).absoluteDir();
    const QString direct = QDir::isAbsolutePath(written) ? written : folder.filePath(written);
    if (QFileInfo::exists(direct))
        return direct;
    const qsizetype cut = std::max(written.lastIndexOf(QLatin1Char('/')),
                                   written.lastIndexOf(QLatin1Char('\\')));
    if (cut >= 0) {
        const QString beside = folder.filePath(written.mid(cut + 1));
        if (QFileInfo::exists(beside))
            return beside;
    }
    return direct;
}

// The data file libcdio's BIN/CUE driver opens for a sheet: the sheet's name with its
// last three letters "cue" or "CUE" turned into "bin" or "BIN"; nothing for other names.
QString binNameLibcdioOpens(const QString &cuePath)
{
    if (cuePath.endsWith(QLatin1String("cue")))
        return cuePath.chopped(3) + QStringLiteral("bin");
    if (cuePath.endsWith(QLatin1String("CUE")))
        return cuePath.chopped(3) + QStringLiteral("BIN");
    return {};
}

// Links link to target: a symbolic link, or where those need a privilege (Windows), a
// hard link. Returns the system's reason on failure.
QString makeLink(const QString &target, const QString &link)
{
    std::error_code error;
    std::filesystem::create_symlink(FileSystem::fsPath(target), FileSystem::fsPath(link), error);
    if (!error)
        return {};
    std::error_code hardError;
    std::filesystem::create_hard_link(FileSystem::fsPath(target), FileSystem::fsPath(link), hardError);
    if (!hardError)
        return {};
    return QString::fromLocal8Bit(error.message());
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    // The folder is our own fresh one: nothing else can have planted a name in it.
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return false;
    return file.write(bytes) == bytes.size() && file.flush();
}

// "sonalbury-image-<process ID>-XXXXXX": a run that was killed leaves its folder, which
// the next start recognises as ours and as no running process's.
const QString FolderPrefix = QStringLiteral("sonalbury-image-");

std::unique_ptr<QTemporaryDir> privateFolder()
{
    auto folder = std::make_unique<QTemporaryDir>(
        QDir::tempPath() + QLatin1Char('/') + FolderPrefix
        + QString::number(QCoreApplication::applicationPid()) + QStringLiteral("-XXXXXX"));
    if (!folder->isValid())
        return nullptr;
    return folder;
}

} // namespace

void PreparedImage::sweepLeftovers()
{
    static const QRegularExpression leftover(QStringLiteral("^") + FolderPrefix
                                             + QStringLiteral("(?<pid>[0-9]{1,10})-[A-Za-z0-9]{6}$"));
    StoredFile::sweep(QDir::tempPath(), leftover);
}

PreparedImage::PreparedImage(PreparedImage &&) noexcept = default;
PreparedImage &PreparedImage::operator=(PreparedImage &&) noexcept = default;
PreparedImage::~PreparedImage() = default;

PreparedImage PreparedImage::refused(QString reason)
{
    PreparedImage image;
    image.m_failure = std::move(reason);
    return image;
}

PreparedImage PreparedImage::prepare(const QString &imagePath)
{
    const QFileInfo info(imagePath);
    const QString suffix = info.suffix().toLower();
    const bool cue = suffix == QLatin1String("cue");
    const bool toc = suffix == QLatin1String("toc");
    if (!cue && !toc) {
        PreparedImage image;
        image.m_openPath = imagePath;
        return image;
    }
    if (info.size() > MaxSheetBytes) {
        return refused(CdTexts::sheetTooLarge(cue, imagePath));
    }
    QFile file(imagePath);
    if (!file.open(QIODevice::ReadOnly))
        return refused(CdTexts::cannotReadFile(imagePath, file.errorString()));
    const QByteArray sheet = file.read(MaxSheetBytes + 1);
    return cue ? prepareCue(imagePath, sheet) : prepareToc(imagePath, sheet);
}

namespace {

// The lines that name a file (those whose first word isFileWord accepts), with the name and
// type each one gives.
template <typename IsFileWord>
std::vector<FileReference> fileReferences(const std::vector<QByteArray> &lines, IsFileWord isFileWord)
{
    std::vector<FileReference> files;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        qsizetype after = 0;
        if (!isFileWord(firstWord(lines[i], after)))
            continue;
        FileReference reference;
        reference.line = static_cast<qsizetype>(i);
        if (readNameAndType(lines[i], after, reference))
            files.push_back(reference);
    }
    return files;
}

} // namespace

PreparedImage PreparedImage::prepareCue(const QString &cuePath, const QByteArray &raw)
{
    bool marked = false;
    const QByteArray sheet = withoutMark(raw, marked);
    std::vector<QByteArray> lines = splitLines(sheet);

    const std::vector<FileReference> files = fileReferences(lines, [](const QByteArray &word) {
        return word.compare("FILE", Qt::CaseInsensitive) == 0;
    });
    if (files.empty())
        return refused(CdTexts::cueNamesNoData());
    // libcdio 2.1 reads past its own table when the first track number is high (found by
    // fuzzing, seen by valgrind from 66 on): such a sheet never reaches it.
    for (const QByteArray &line : lines) {
        qsizetype after = 0;
        if (firstWord(line, after).compare("TRACK", Qt::CaseInsensitive) != 0)
            continue;
        qsizetype rest = 0;
        const QByteArray number = firstWord(line.mid(after), rest);
        bool isNumber = false;
        const int track = number.toInt(&isNumber);
        if (!isNumber || track < 1 || track > 99) {
            return refused(CdTexts::cueBadTrackNumber(shownName(number)));
        }
        if (track > MaxFirstTrack) {
            return refused(CdTexts::cueFirstTrackTooHigh(track, MaxFirstTrack));
        }
        break;
    }
    if (files.size() > 1) {
        return refused(CdTexts::cueNamesSeveralFiles());
    }
    const FileReference &data = files.front();
    const QString name = shownName(data.name);
    // libcdio reads the sectors of any named file as raw CD audio: a WAVE or MP3 file would
    // come out as noise, big-endian samples byte-swapped.
    if (!data.type.isEmpty() && data.type != "BINARY") {
        return refused(CdTexts::cueNamesNonBinary(QString::fromLatin1(data.type), name));
    }
    const QString binPath = resolve(cuePath, data.name);
    const QFileInfo bin(binPath);
    if (!bin.exists())
        return refused(CdTexts::sheetNamesMissingFile(true, name));
    // A FIFO or a device would block the reader or never end.
    if (!bin.isFile())
        return refused(CdTexts::sheetNamesNonFile(true, name));
    if (bin.size() > MaxDataBytes) {
        return refused(CdTexts::imageTooLarge(name));
    }

    const QString expected = binNameLibcdioOpens(cuePath);
    if (!marked && !expected.isEmpty() && QFileInfo(expected).isFile()
        && QFileInfo(expected).canonicalFilePath() == bin.canonicalFilePath()) {
        PreparedImage image;
        image.m_openPath = cuePath;
        return image;
    }

    // The stand-in: the same sheet, without its mark, naming a link that sits where libcdio
    // looks. A stray "<cue name>.bin" beside the original is thereby never read.
    PreparedImage image;
    image.m_folder = privateFolder();
    if (!image.m_folder)
        return refused(CdTexts::preparationFailure(cuePath, CdTexts::noTemporaryFolder()));
    const QDir folder(image.m_folder->path());
    const QString link = folder.filePath(QStringLiteral("image.bin"));
    const QString reason = makeLink(bin.canonicalFilePath(), link);
    if (!reason.isEmpty())
        return refused(CdTexts::preparationFailure(cuePath, reason));
    QByteArray &line = lines[static_cast<std::size_t>(data.line)];
    const QByteArray ending = line.endsWith("\r\n") ? QByteArray("\r\n") : line.endsWith('\n') ? QByteArray("\n") : QByteArray();
    line = "FILE \"image.bin\" BINARY" + ending;
    QByteArray rewritten;
    for (const QByteArray &each : lines)
        rewritten += each;
    image.m_openPath = folder.filePath(QStringLiteral("image.cue"));
    if (!writeFile(image.m_openPath, rewritten))
        return refused(CdTexts::preparationFailure(cuePath, CdTexts::cannotWriteTemporaryFolder()));
    return image;
}

PreparedImage PreparedImage::prepareToc(const QString &tocPath, const QByteArray &raw)
{
    bool marked = false;
    const QByteArray sheet = withoutMark(raw, marked);
    std::vector<QByteArray> lines = splitLines(sheet);

    const std::vector<FileReference> files = fileReferences(lines, [](const QByteArray &word) {
        return word == "FILE" || word == "AUDIOFILE" || word == "DATAFILE";
    });
    bool relative = false;
    for (const FileReference &reference : files) {
        const QString name = shownName(reference.name);
        const QFileInfo data(resolve(tocPath, reference.name));
        if (!data.exists())
            return refused(CdTexts::sheetNamesMissingFile(false, name));
        if (!data.isFile())
            return refused(CdTexts::sheetNamesNonFile(false, name));
        if (data.size() > MaxDataBytes) {
            return refused(CdTexts::imageTooLarge(name));
        }
        relative = relative || !QDir::isAbsolutePath(decodeName(reference.name));
    }
    if (!relative && !marked) {
        PreparedImage image;
        image.m_openPath = tocPath;
        return image;
    }

    // libcdio opens relative names from the working folder: the stand-in names every file by
    // an absolute link in the private folder, whose path holds no character to escape.
    PreparedImage image;
    image.m_folder = privateFolder();
    if (!image.m_folder || image.m_folder->path().contains(QLatin1Char('"')))
        return refused(CdTexts::preparationFailure(tocPath, CdTexts::noTemporaryFolder()));
    const QDir folder(image.m_folder->path());
    // Replaced from the last reference so that earlier offsets stay valid on a shared line.
    for (std::size_t k = files.size(); k-- > 0;) {
        const FileReference &reference = files[k];
        const QString link = folder.filePath(QStringLiteral("data%1.bin").arg(k + 1));
        const QString reason = makeLink(QFileInfo(resolve(tocPath, reference.name)).canonicalFilePath(), link);
        if (!reason.isEmpty())
            return refused(CdTexts::preparationFailure(tocPath, reason));
        QByteArray &line = lines[static_cast<std::size_t>(reference.line)];
        line.replace(reference.nameStart, reference.nameEnd - reference.nameStart,
                     '"' + cdioPath(link) + '"');
    }
    QByteArray rewritten;
    for (const QByteArray &each : lines)
        rewritten += each;
    image.m_openPath = folder.filePath(QStringLiteral("image.toc"));
    if (!writeFile(image.m_openPath, rewritten))
        return refused(CdTexts::preparationFailure(tocPath, CdTexts::cannotWriteTemporaryFolder()));
    return image;
}
