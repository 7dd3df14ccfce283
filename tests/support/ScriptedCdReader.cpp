#include "ScriptedCdReader.h"

void ScriptedCdReader::setTrackLengths(const std::vector<std::int32_t> &frames,
                                       std::int32_t firstFrame, std::int32_t first)
{
    toc.clear();
    std::int32_t address = firstFrame;
    const auto push = [this](std::int32_t a) {
        toc.push_back(TocTime{a / (75 * 60), (a / 75) % 60, a % 75});
    };
    for (std::int32_t entry = 0; entry < first; ++entry)
        push(address);
    for (const std::int32_t length : frames) {
        address += length;
        push(address);
    }
    firstTrack = first;
    lastTrack = first - 1 + static_cast<std::int32_t>(frames.size());
}

std::int32_t ScriptedCdReader::ScanDrives()
{
    calls << QStringLiteral("ScanDrives");
    return static_cast<std::int32_t>(driveText1.size());
}

std::int32_t ScriptedCdReader::GetDriveCount()
{
    calls << QStringLiteral("GetDriveCount");
    return static_cast<std::int32_t>(driveText1.size());
}

DriveAddress ScriptedCdReader::GetDriveAddress(std::int32_t driveIndex)
{
    calls << QStringLiteral("GetDriveAddress %1").arg(driveIndex);
    return DriveAddress{driveIndex, 0, 0};
}

DriveInfo ScriptedCdReader::GetDriveInfo(std::int32_t driveIndex)
{
    calls << QStringLiteral("GetDriveInfo %1").arg(driveIndex);
    DriveInfo info;
    info.text1 = driveText1.value(driveIndex);
    info.text2 = driveText2.value(driveIndex);
    return info;
}

std::int32_t ScriptedCdReader::OpenDrive(const DriveAddress &address)
{
    calls << QStringLiteral("OpenDrive %1").arg(address.a);
    return nextHandle;
}

bool ScriptedCdReader::CloseDrive(std::int32_t handle)
{
    calls << QStringLiteral("CloseDrive %1").arg(handle);
    return closeResult;
}

std::int32_t ScriptedCdReader::ReadToc(std::int32_t handle)
{
    calls << QStringLiteral("ReadToc %1").arg(handle);
    return tocStatus;
}

std::int32_t ScriptedCdReader::GetFirstTrack()
{
    calls << QStringLiteral("GetFirstTrack");
    return firstTrack;
}

std::int32_t ScriptedCdReader::GetLastTrack()
{
    calls << QStringLiteral("GetLastTrack");
    return lastTrack;
}

TocTime ScriptedCdReader::GetTocEntry(std::int32_t entry)
{
    calls << QStringLiteral("GetTocEntry %1").arg(entry);
    if (entry < 0 || static_cast<std::size_t>(entry) >= toc.size())
        return TocTime{};
    return toc[static_cast<std::size_t>(entry)];
}

bool ScriptedCdReader::SetDriveParam(std::int32_t handle, std::int32_t param, std::int32_t value)
{
    calls << QStringLiteral("SetDriveParam %1 %2 %3").arg(handle).arg(param).arg(value);
    return setParamResult;
}

void ScriptedCdReader::OpenWaveFile(const QString &path)
{
    calls << QStringLiteral("OpenWaveFile");
    ++openWaveCount;
    wavePath = path;
    m_wave.setFileName(path);
    (void)m_wave.open(QIODevice::WriteOnly | QIODevice::Truncate);
}

bool ScriptedCdReader::CloseWaveFile()
{
    calls << QStringLiteral("CloseWaveFile");
    ++closeWaveCount;
    m_wave.close();
    return !failClose;
}

std::int32_t ScriptedCdReader::ReadSectors(std::int32_t handle, std::int32_t firstSector,
                                           std::int32_t count)
{
    calls << QStringLiteral("ReadSectors %1 %2").arg(firstSector).arg(count);
    const int index = static_cast<int>(reads.size());
    reads.push_back(Read{handle, firstSector, count});
    if (index == failReadAt || !m_wave.isOpen())
        return 0;
    m_wave.write(QByteArray(static_cast<qsizetype>(count) * 2352, '\0'));
    return 1;
}

std::int32_t ScriptedCdReader::mediaChanged(std::int32_t)
{
    ++mediaChecks;
    const bool changed = discChanged;
    discChanged = false;
    return changed ? 1 : 0;
}

bool ScriptedCdReader::ejectMedia(std::int32_t driveIndex)
{
    calls << QStringLiteral("ejectMedia %1").arg(driveIndex);
    return ejectResult;
}

void ScriptedCdReader::changeDisc(const std::vector<std::int32_t> &frames)
{
    setTrackLengths(frames);
    discChanged = true;
}
