#include "MusicFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <algorithm>
#include <filesystem>
#include <system_error>

QString MusicFolder::path(const QString &programFolder)
{
    QString folder = programFolder;
    if (!folder.endsWith(QLatin1Char('/')) && !folder.endsWith(QLatin1Char('\\')))
        folder += QLatin1Char('/');
    return folder + QStringLiteral("musiques/");
}

QString MusicFolder::prepare(const QString &folder)
{
    const QString shown = QDir::toNativeSeparators(QDir::cleanPath(QDir(folder).absolutePath()));
    const QString advice = QStringLiteral(
        "\nSonalbury CD-MP3 écrit les fichiers MP3 dans ce dossier, à côté du programme. "
        "Placez le programme dans un dossier où vous pouvez écrire (par exemple à côté du "
        "quiz, si vous pouvez écrire dans le dossier du quiz), ou demandez à un administrateur "
        "le droit d'écrire dans ce dossier.");
    std::error_code error;
    // UTF-16 in, the system's spelling out (UTF-16 on Windows, UTF-8 elsewhere).
    const std::filesystem::path native(folder.toStdU16String());
    if (!std::filesystem::is_directory(native, error)) {
        std::filesystem::create_directories(native, error);
        if (error || !QFileInfo(folder).isDir()) {
            const QString reason = error ? QString::fromLocal8Bit(error.message())
                                         : QStringLiteral("un fichier porte déjà ce nom");
            return QStringLiteral("Impossible de créer le dossier des musiques « %1 » : %2.")
                       .arg(shown, reason)
                   + advice;
        }
    }
    // The folder may exist and still refuse new files: under Program Files, only an
    // administrator may write.
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral(".sonalbury-XXXXXX")));
    if (!probe.open())
        return QStringLiteral("Impossible d'écrire dans le dossier des musiques « %1 » : %2.")
                   .arg(shown, probe.errorString())
               + advice;
    return {};
}

QStringList MusicFolder::list(const QString &folder)
{
    QStringList names = QDir(folder).entryList(QDir::Files | QDir::NoDotAndDotDot
                                                | QDir::NoSymLinks, QDir::NoSort);
    // Symbolic links to files are listed too: to the user they are files of the folder.
    const QStringList links = QDir(folder).entryList(QDir::Files | QDir::System, QDir::NoSort);
    for (const QString &name : links) {
        const QFileInfo info(QDir(folder).filePath(name));
        if (info.isSymLink() && info.isFile() && !info.isHidden() && !names.contains(name))
            names << name;
    }
    std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
        const int c = a.compare(b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
    return names;
}

bool MusicFolder::moveToTrash(const QString &filePath, QString *error)
{
    const QFileInfo info(filePath);
    if (!info.exists() && !info.isSymLink()) {
        if (error)
            *error = QStringLiteral("le fichier n'existe plus");
        return false;
    }
    // Qt 6.4 "succeeds" into the current directory when the data folder is missing:
    // make sure it exists first, and never take a relative trash path for success.
    QDir().mkpath(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
    QFile file(filePath);
    if (!file.moveToTrash()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    const QString pathInTrash = file.fileName();
    if (QFileInfo(pathInTrash).isRelative()) {
        // Put the file back where the user had it.
        const bool restored = QFile::rename(pathInTrash, filePath);
        if (error)
            *error = restored ? QStringLiteral("la corbeille est introuvable")
                              : QStringLiteral("la corbeille est introuvable ; le fichier est maintenant « %1 »")
                                    .arg(QDir::toNativeSeparators(QFileInfo(pathInTrash).absoluteFilePath()));
        return false;
    }
    return true;
}
