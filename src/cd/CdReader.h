#pragma once

#include <QString>
#include <cstdint>
#include <functional>

// Where a drive is, as the reader hands it out; passed back unchanged to OpenDrive.
struct DriveAddress
{
    std::int32_t a = 0;
    std::int32_t b = 0;
    std::int32_t c = 0;
};

// The four label texts of a drive: vendor and model for a physical drive,
// "Image" and the file name for a disc image. Texts 3 and 4 are informative only.
struct DriveInfo
{
    QString text1;
    QString text2;
    QString text3;
    QString text4;
};

// One entry of the table of contents, as minutes, seconds and frames (75 per second),
// lead-in offset of 150 frames included.
struct TocTime
{
    std::int32_t minutes = 0;
    std::int32_t seconds = 0;
    std::int32_t frames = 0;
};

// The CD reader: lists drives, opens one, reads its table of contents and copies audio
// sectors into a WAV file. Failures come back as values (handle 0, status other than 1,
// false), never as exceptions.
class CdReader
{
public:
    // Parameter of SetDriveParam that selects error-correcting reads (value -1 turns it on).
    static constexpr std::int32_t ParamSecureRead = 36;
    // Largest number of sectors that one ReadSectors call may copy.
    static constexpr std::int32_t MaxSectorsPerRead = 25;

    virtual ~CdReader() = default;

    virtual std::int32_t ScanDrives() = 0;
    virtual std::int32_t GetDriveCount() = 0;
    virtual DriveAddress GetDriveAddress(std::int32_t driveIndex) = 0;
    virtual DriveInfo GetDriveInfo(std::int32_t driveIndex) = 0;

    // Returns a handle, 0 on failure.
    virtual std::int32_t OpenDrive(const DriveAddress &address) = 0;
    // True when the drive was closed.
    virtual bool CloseDrive(std::int32_t handle) = 0;

    // 1 on success; the next three calls answer from the table read last.
    virtual std::int32_t ReadToc(std::int32_t handle) = 0;
    virtual std::int32_t GetFirstTrack() = 0;
    virtual std::int32_t GetLastTrack() = 0;
    // Entry k is where track k+1 starts; the entry numbered like the last track is the
    // end of the disc's audio.
    virtual TocTime GetTocEntry(std::int32_t entry) = 0;

    virtual bool SetDriveParam(std::int32_t handle, std::int32_t param, std::int32_t value) = 0;

    // Starts the WAV file that the following ReadSectors calls fill. When the file cannot
    // be created, every following ReadSectors fails.
    virtual void OpenWaveFile(const QString &path) = 0;
    // Finishes (header sizes) and closes the file. False when it could not be completed,
    // for example when the disk filled up while the header was written.
    virtual bool CloseWaveFile() = 0;
    // Appends sectors [firstSector, firstSector + count) to the open WAV file; sectors are
    // numbered from TOC entry 0. Returns 1 on success.
    virtual std::int32_t ReadSectors(std::int32_t handle, std::int32_t firstSector,
                                     std::int32_t count) = 0;

    // Why the last OpenDrive that returned 0 failed, in French, for the user ("La feuille
    // CUE nomme un fichier introuvable : « x.bin »."); empty when no reason is known or the
    // last OpenDrive succeeded.
    virtual QString lastOpenFailure() const { return {}; }

    // The file libcdio reads for the disc open under handle: the device, or the image as
    // the reader made it ready (a stand-in sheet when the user's needed mending). Valid
    // while the handle is open; the disc's CD-Text and whole table of contents (data track
    // included) are read from it. Empty when the reader has no such file.
    virtual QString discSource(std::int32_t handle) const
    {
        (void)handle;
        return {};
    }

    // Whether drive driveIndex holds a disc image rather than being a physical drive.
    virtual bool isImage(std::int32_t driveIndex) const
    {
        (void)driveIndex;
        return false;
    }

    // Whether the disc in the physical drive driveIndex changed since the drive was last
    // opened or asked: 1 changed, 0 not, negative when the reader cannot tell (a disc image,
    // whose disc never changes; a drive that does not answer).
    virtual std::int32_t mediaChanged(std::int32_t driveIndex)
    {
        (void)driveIndex;
        return -1;
    }

    // Ejects the disc of the physical drive driveIndex, whose disc the caller closed first.
    // False when it could not, and always for a disc image.
    virtual bool ejectMedia(std::int32_t driveIndex)
    {
        (void)driveIndex;
        return false;
    }

    // False when the track numbered trackNumber of the disc open under handle holds data,
    // not audio: reading it as audio cannot succeed. True when unknown.
    virtual bool isAudioTrack(std::int32_t handle, std::int32_t trackNumber) const
    {
        (void)handle;
        (void)trackNumber;
        return true;
    }

    // Asked between the sectors of a ReadSectors call (which may take long on a damaged
    // disc read with retries): when it returns true, the call stops and returns 0 with
    // nothing appended. Called on the reading thread; must not throw. Empty: never stop.
    virtual void setStopCheck(std::function<bool()> stopRequested) { (void)stopRequested; }
};
