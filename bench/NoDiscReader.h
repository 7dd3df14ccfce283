#pragma once

#include "CdReader.h"

// A drive that opens but holds no disc: the main window starts with an empty track list.
// The start-up benchmark compares against it to show what the disc itself costs.
class NoDiscReader : public CdReader
{
public:
    std::int32_t ScanDrives() override { return 1; }
    std::int32_t GetDriveCount() override { return 1; }
    DriveAddress GetDriveAddress(std::int32_t) override { return {}; }
    DriveInfo GetDriveInfo(std::int32_t) override;
    std::int32_t OpenDrive(const DriveAddress &) override { return 1; }
    bool CloseDrive(std::int32_t) override { return true; }
    std::int32_t ReadToc(std::int32_t) override { return 1; }
    std::int32_t GetFirstTrack() override { return 1; }
    std::int32_t GetLastTrack() override { return 0; }
    TocTime GetTocEntry(std::int32_t) override { return {}; }
    bool SetDriveParam(std::int32_t, std::int32_t, std::int32_t) override { return true; }
    void OpenWaveFile(const QString &) override {}
    bool CloseWaveFile() override { return false; }
    std::int32_t ReadSectors(std::int32_t, std::int32_t, std::int32_t) override { return 0; }
};
