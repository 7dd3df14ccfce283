#pragma once

#include "CdReader.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

typedef struct _CdIo CdIo_t;

// The CD reader over libcdio: the machine's CD drives, then the disc images given to it
// (.cue, .toc, .nrg), each listed as a drive. Audio is read raw, or through
// libcdio-paranoia once SetDriveParam(handle, 36, -1) asked for it; the WAV file is
// written with libsndfile. Use it from one thread at a time (any thread).
class LibcdioReader : public CdReader
{
public:
    explicit LibcdioReader(QStringList imagePaths);
    ~LibcdioReader() override;

    LibcdioReader(const LibcdioReader &) = delete;
    LibcdioReader &operator=(const LibcdioReader &) = delete;

    std::int32_t ScanDrives() override;
    std::int32_t GetDriveCount() override;
    DriveAddress GetDriveAddress(std::int32_t driveIndex) override;
    DriveInfo GetDriveInfo(std::int32_t driveIndex) override;
    std::int32_t OpenDrive(const DriveAddress &address) override;
    bool CloseDrive(std::int32_t handle) override;
    std::int32_t ReadToc(std::int32_t handle) override;
    std::int32_t GetFirstTrack() override;
    std::int32_t GetLastTrack() override;
    TocTime GetTocEntry(std::int32_t entry) override;
    bool SetDriveParam(std::int32_t handle, std::int32_t param, std::int32_t value) override;
    void OpenWaveFile(const QString &path) override;
    bool CloseWaveFile() override;
    std::int32_t ReadSectors(std::int32_t handle, std::int32_t firstSector,
                             std::int32_t count) override;
    QString lastOpenFailure() const override { return m_lastOpenFailure; }
    QString discSource(std::int32_t handle) const override;
    bool isAudioTrack(std::int32_t handle, std::int32_t trackNumber) const override;
    void setStopCheck(std::function<bool()> stopRequested) override;
    bool isImage(std::int32_t driveIndex) const override;
    std::int32_t mediaChanged(std::int32_t driveIndex) override;
    bool ejectMedia(std::int32_t driveIndex) override;

    // Re-reads paranoia may make of one damaged sector before giving it up (the read then
    // fails): a disc that never reads back the same never keeps the reader busy for ever.
    static constexpr int ParanoiaRetries = 20;

    // Frames between the end of an enhanced CD's audio session and its data track.
    static constexpr std::int32_t SessionGap = 11400;

private:
    // One track as presented: where it starts and ends (LSN, end excluded) and whether
    // its sectors may be read as audio.
    struct Span
    {
        std::int32_t start = 0;
        std::int32_t end = 0;
        bool audio = false;
    };

    // The table of contents as presented: the audio session only on an enhanced CD.
    struct Layout
    {
        std::int32_t firstTrack = 1;
        std::int32_t lastTrack = 0;
        std::int32_t leadOut = 0;          // end of the disc: no sector at or after it
        // Every track start, data tracks included, inside the disc and ascending. A table
        // that is not is never read: paranoia, which reads by its own copy of the table,
        // loops for ever on some (a track without INDEX 01 that libcdio puts at -150).
        bool ordered = false;
        std::vector<std::int32_t> entries; // LSN of entries 0 .. lastTrack
        std::vector<Span> tracks;          // firstTrack .. lastTrack
    };

    struct Drive;
    struct Disc;
    struct Wave;

    static bool readLayout(Disc &disc);
    static bool readable(const Layout &layout, std::int64_t lsn, std::int32_t count);
    Disc *disc(std::int32_t handle) const;
    // The drive's own handle for asking about its disc, opened when first needed.
    CdIo_t *watch(Drive &drive);
    bool enableParanoia(Disc &disc);
    bool readRaw(Disc &disc, std::int32_t lsn, std::int32_t count, char *out);
    bool readParanoia(Disc &disc, std::int32_t lsn, std::int32_t count, char *out);

    QStringList m_imagePaths;
    std::vector<Drive> m_drives;
    bool m_scanned = false;
    std::map<std::int32_t, std::unique_ptr<Disc>> m_discs;
    std::int32_t m_nextHandle = 1;
    Layout m_toc;
    std::unique_ptr<Wave> m_wave;
    bool m_waveFailed = false;
    std::vector<char> m_buffer;
    QString m_lastOpenFailure;
    std::function<bool()> m_stopRequested;
};
