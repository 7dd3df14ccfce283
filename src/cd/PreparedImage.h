#pragma once

#include <QString>

#include <cstdint>
#include <memory>

class QTemporaryDir;

// A disc image made ready for libcdio, or the reason it cannot be read.
//
// libcdio's BIN/CUE driver opens "<cue name>.bin" whatever the sheet's FILE line says and
// stops at a UTF-8 byte-order mark; its cdrdao driver reads a .toc's relative FILE names
// from the working folder. Images written by other programs ("Album.cue" naming
// "Album (Track 1).bin", a BOM added by an editor, a .toc opened from elsewhere) are
// therefore read here first: when libcdio would not find the named data, it is handed an
// equivalent sheet in a private temporary folder that reaches the data through links.
// The folder goes away with this object, so it must live as long as the opened disc.
class PreparedImage
{
public:
    // Largest data file a CD image can have: 100 minutes of 2352-byte sectors. Anything
    // larger is no CD, and past 2 GiB libcdio's 32-bit offsets wrap.
    static constexpr std::int64_t MaxDataBytes = std::int64_t{100} * 60 * 75 * 2352;
    // Highest first track number libcdio's cue parser survives.
    static constexpr int MaxFirstTrack = 65;
    // A cue sheet or a .toc is a few kilobytes; a larger file is no sheet at all.
    static constexpr std::int64_t MaxSheetBytes = 1024 * 1024;

    // Reads the sheet at imagePath (.cue, .toc; anything else is passed on unchanged).
    static PreparedImage prepare(const QString &imagePath);

    // Removes the private folders of runs that were killed: only ours (by their name), and
    // only those whose process is gone.
    static void sweepLeftovers();

    PreparedImage(PreparedImage &&) noexcept;
    PreparedImage &operator=(PreparedImage &&) noexcept;
    ~PreparedImage();

    // False when the image is refused; failure() then says why, in French.
    bool ok() const { return m_failure.isEmpty(); }
    QString failure() const { return m_failure; }
    // The file to give libcdio: the image itself or its stand-in in the private folder.
    QString openPath() const { return m_openPath; }
    // True when openPath() is a stand-in written here.
    bool rewritten() const { return m_folder != nullptr; }

private:
    PreparedImage() = default;
    static PreparedImage refused(QString reason);
    static PreparedImage prepareCue(const QString &cuePath, const QByteArray &sheet);
    static PreparedImage prepareToc(const QString &tocPath, const QByteArray &sheet);

    QString m_openPath;
    QString m_failure;
    std::unique_ptr<QTemporaryDir> m_folder;
};
