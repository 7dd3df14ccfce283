#pragma once

#include "CdReader.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>
#include <map>
#include <vector>

// Test double of the CD reader for the failure branches that no disc image can produce
// (a drive that will not open or close, a parameter that cannot be set, a read that fails
// at a chosen chunk). Everything it is asked is recorded in calls, in order.
class ScriptedCdReader : public CdReader
{
public:
    struct Read
    {
        std::int32_t handle;
        std::int32_t first;
        std::int32_t count;
    };

    // Script
    QStringList driveText1;          // one entry per drive
    QStringList driveText2;
    std::int32_t nextHandle = 7;     // handle that OpenDrive gives (0 = open fails)
    bool closeResult = true;
    bool setParamResult = true;
    std::int32_t tocStatus = 1;
    std::int32_t firstTrack = 1;
    std::int32_t lastTrack = 0;
    std::vector<TocTime> toc;        // entries from 0
    int failReadAt = -1;             // index of the ReadSectors call that fails (from 0)
    bool failClose = false;          // CloseWaveFile reports failure
    bool ejectResult = true;         // what ejectMedia gives
    // The disc changed since the drive was last asked: mediaChanged gives 1 once, as a
    // drive does, then 0 again.
    bool discChanged = false;

    // Record
    QStringList calls;
    std::vector<Read> reads;
    int openWaveCount = 0;
    int closeWaveCount = 0;
    QString wavePath;
    // Not in calls: a window asks this every two seconds while it waits.
    int mediaChecks = 0;

    // Builds a TOC from track lengths in frames, first track at 00:02:00. A disc whose
    // tracks start at number first has entries before it that stand for its start, as
    // the real reader gives them.
    void setTrackLengths(const std::vector<std::int32_t> &frames, std::int32_t firstFrame = 150,
                         std::int32_t first = 1);

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
    std::int32_t mediaChanged(std::int32_t driveIndex) override;
    bool ejectMedia(std::int32_t driveIndex) override;

    // Another disc in the drive, with tracks of these lengths: the next question sees it.
    void changeDisc(const std::vector<std::int32_t> &frames);

private:
    QFile m_wave; // raw bytes of the reads, enough to see that a file is there
};
