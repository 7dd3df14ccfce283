#include "LibcdioReader.h"

#include "CdTexts.h"
#include "CdioHandle.h"
#include "FileSystem.h"
#include "FrameAddress.h"
#include "OutputFiles.h"
#include "PreparedImage.h"

#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QtEndian>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <mutex>
#include <utility>

#define DO_NOT_WANT_PARANOIA_COMPATIBILITY
#include <cdio/cdio.h>
#include <cdio/logging.h>
#include <cdio/paranoia/cdda.h>
#include <cdio/paranoia/paranoia.h>

#ifdef Q_OS_WIN
// sf_wchar_open: libsndfile opens a UTF-16 name itself.
#define ENABLE_SNDFILE_WINDOWS_PROTOTYPES 1
#endif
#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include "SndfileHandle.h"

namespace {

// Notes of libcdio are for developers: shown only when the category is enabled.
Q_LOGGING_CATEGORY(lcCdio, "sonalbury.cd.libcdio", QtWarningMsg)

constexpr std::int32_t BytesPerSector = CDIO_CD_FRAMESIZE_RAW;

struct DriveCloser
{
    // The CdIo_t belongs to its own owner, which releases it after the drive.
    void operator()(cdrom_drive_t *drive) const noexcept { cdio_cddap_close_no_free_cdio(drive); }
};
struct ParanoiaCloser
{
    void operator()(cdrom_paranoia_t *paranoia) const noexcept { cdio_paranoia_free(paranoia); }
};

using DrivePtr = std::unique_ptr<cdrom_drive_t, DriveCloser>;
using ParanoiaPtr = std::unique_ptr<cdrom_paranoia_t, ParanoiaCloser>;

// libcdio's default handler prints warnings on the terminal and ends the process on an
// error (a broken image is enough). Its messages go to our log instead, errors as warnings.
void logThroughQt(cdio_log_level_t level, const char message[]) noexcept
{
    try {
        if (level < CDIO_LOG_WARN || message == nullptr)
            return;
        const QString text = QString::fromLocal8Bit(message).trimmed();
        if (level >= CDIO_LOG_ERROR)
            qCWarning(lcCdio).noquote() << text;
        else
            qCDebug(lcCdio).noquote() << text;
    } catch (...) {
        // A log message is never worth a crash.
    }
}

void installLogHandler()
{
    static std::once_flag once;
    std::call_once(once, [] { cdio_log_set_handler(&logThroughQt); });
}

// Paranoia keeps the audio it verified in one block that it grows by realloc to about 3 MB
// and trims back, several times a track. Past glibc's mmap threshold every such block is
// mapped afresh and unmapped again, so the copies into it land on new zeroed pages (about
// two page faults for every page of audio read) and each unmap flushes the address
// translations of the threads encoding on the other cores. Fixed thresholds above that
// size keep the block in the heap, where it is reused.
void keepReadBuffersInHeap()
{
#if defined(__GLIBC__)
    static std::once_flag once;
    std::call_once(once, [] {
        constexpr int MmapThreshold = 8 * 1024 * 1024;
        constexpr int TrimThreshold = 16 * 1024 * 1024;
        mallopt(M_MMAP_THRESHOLD, MmapThreshold);
        mallopt(M_TRIM_THRESHOLD, TrimThreshold);
    });
#endif
}

// Paranoia reports through a plain callback without user data; the reader is used by one
// thread at a time, so a per-thread value carries what the current read learnt.
// A skip means the retries ran out: paranoia gave up verifying from that position (in
// 16-bit samples, 1,176 to a sector) and filled on with unverified audio.
// Paranoia verifies ahead of the sector it returns, so a skip is often reported while an
// earlier, sound sector is returned: the sectors from the skip on are the lost ones.
// -1: no skip since the last seek.
thread_local long t_skippedFrom = -1;

void onParanoiaEvent(long position, paranoia_cb_mode_t event)
{
    if (event == PARANOIA_CB_SKIP && (t_skippedFrom < 0 || position < t_skippedFrom))
        t_skippedFrom = position;
}

// Runs a component call so that no exception leaves it: failures become the fallback value.
template <typename T, typename Body>
T guarded(T fallback, Body &&body) noexcept
{
    try {
        return body();
    } catch (const std::exception &error) {
        qCWarning(lcCdio) << "CD reader:" << error.what();
    } catch (...) {
        qCWarning(lcCdio) << "CD reader: unknown failure";
    }
    return fallback;
}

TocTime toTocTime(std::int32_t lsn)
{
    const std::int32_t address = lsn + LeadInFrames;
    return TocTime{address / (60 * CDIO_CD_FRAMES_PER_SEC),
                   address % (60 * CDIO_CD_FRAMES_PER_SEC) / CDIO_CD_FRAMES_PER_SEC,
                   address % CDIO_CD_FRAMES_PER_SEC};
}

// The device as its owner knows it: on Windows its letter ("E:"), not the "\\.\E:" that
// libcdio opens.
QString shownDevice(const char *device)
{
    QString name = fromCdioPath(device);
#ifdef Q_OS_WIN
    if (name.startsWith(QLatin1String("\\\\.\\")))
        name.remove(0, 4);
#endif
    return name;
}

DriveInfo deviceInfo(const char *device)
{
    DriveInfo info;
    info.text1 = QStringLiteral("Lecteur");
    info.text2 = shownDevice(device);
    info.text4 = fromCdioPath(device);
    const CdioPtr cdio(cdio_open(device, DRIVER_DEVICE));
    cdio_hwinfo_t hardware{};
    if (cdio && cdio_get_hwinfo(cdio.get(), &hardware)) {
        // The inquiry fields are fixed-width and padded with blanks.
        const QString vendor = QString::fromLatin1(hardware.psz_vendor).trimmed();
        const QString model = QString::fromLatin1(hardware.psz_model).trimmed();
        if (!vendor.isEmpty() || !model.isEmpty()) {
            info.text1 = vendor;
            info.text2 = model;
            info.text3 = QString::fromLatin1(hardware.psz_revision).trimmed();
        }
    }
    return info;
}

// suffix: that of the image as the user named it (a stand-in sheet has its own).
CdioPtr openImage(const QString &path, const QString &imageSuffix)
{
    const QString suffix = imageSuffix.toLower();
    // The image drivers only: the device drivers would try ioctls on an ordinary file.
    std::vector<driver_id_t> drivers{DRIVER_BINCUE, DRIVER_CDRDAO, DRIVER_NRG};
    if (suffix == QLatin1String("toc"))
        drivers = {DRIVER_CDRDAO};
    else if (suffix == QLatin1String("nrg"))
        drivers = {DRIVER_NRG};
    else if (suffix == QLatin1String("cue"))
        drivers = {DRIVER_BINCUE};
    for (const driver_id_t driver : drivers) {
        if (CdioPtr cdio = openCdio(path, driver))
            return cdio;
    }
    return nullptr;
}

// The WAV is a new file: an entry already at its name (an earlier file, a link towards a
// file elsewhere, a FIFO that would block) is removed first, the link itself and never its
// target, and the file is then created exclusively.
SNDFILE *createWave(const QString &path)
{
    const int fd = OutputFiles::createFresh(path, nullptr);
    if (fd < 0)
        return nullptr;
    SF_INFO format{};
    format.samplerate = 44100;
    format.channels = 2;
    format.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
#ifdef Q_OS_WIN
    // libsndfile may use another C run-time than ours, whose descriptors it cannot use:
    // the name, now ours alone, is opened again by libsndfile itself.
    FileSystem::closeDescriptor(fd);
    return sf_wchar_open(reinterpret_cast<const wchar_t *>(path.utf16()), SFM_WRITE, &format);
#else
    SNDFILE *file = sf_open_fd(fd, SFM_WRITE, &format, SF_TRUE);
    if (file == nullptr)
        FileSystem::closeDescriptor(fd);
    return file;
#endif
}

} // namespace

struct LibcdioReader::Drive
{
    QString path; // device or image file
    bool image = false;
    DriveInfo info;
    // A physical drive's own handle, asked whether its disc changed: apart from the open
    // disc's, so that it outlives every disc read in the drive.
    CdioPtr watch;
};

struct LibcdioReader::Disc
{
    // Declared in release order reversed: paranoia, then drive, then CdIo go away, and
    // last the stand-in sheet libcdio read the image through.
    std::unique_ptr<PreparedImage> prepared;
    CdioPtr cdio;
    DrivePtr drive;
    ParanoiaPtr paranoia;
    bool image = false;
    QString source; // what libcdio opened: the device, or the prepared image
    // The data file of a BIN/CUE image: its sectors lie end to end from LSN 0. libcdio
    // reports a read that runs past its end as a success, so the reader checks its size.
    QString binFile;
    Layout layout;
    std::int64_t paranoiaNext = -1; // where paranoia's cursor stands, -1 = seek first
    long paranoiaSkippedFrom = -1;  // where paranoia last gave up verifying, -1 = nowhere
};

struct LibcdioReader::Wave
{
    SndfilePtr file;
};

LibcdioReader::LibcdioReader(QStringList imagePaths)
{
    installLogHandler();
    keepReadBuffersInHeap();
    // Kept absolute: the working folder may change before the image is opened.
    for (const QString &path : std::as_const(imagePaths))
        m_imagePaths << QFileInfo(path).absoluteFilePath();
}

LibcdioReader::~LibcdioReader() = default;

std::int32_t LibcdioReader::ScanDrives()
{
    return guarded<std::int32_t>(0, [&] {
        std::vector<Drive> drives;
        if (char **devices = cdio_get_devices(DRIVER_DEVICE)) {
            for (char **device = devices; *device != nullptr; ++device)
                drives.push_back(Drive{fromCdioPath(*device), false, deviceInfo(*device), nullptr});
            cdio_free_device_list(devices);
        }
        for (const QString &path : std::as_const(m_imagePaths)) {
            DriveInfo info;
            info.text1 = QStringLiteral("Image");
            info.text2 = QFileInfo(path).fileName();
            info.text3 = QDir::toNativeSeparators(path);
            drives.push_back(Drive{path, true, info, nullptr});
        }
        m_drives = std::move(drives);
        m_scanned = true;
        return static_cast<std::int32_t>(m_drives.size());
    });
}

std::int32_t LibcdioReader::GetDriveCount()
{
    if (!m_scanned)
        ScanDrives();
    return static_cast<std::int32_t>(m_drives.size());
}

DriveAddress LibcdioReader::GetDriveAddress(std::int32_t driveIndex)
{
    if (driveIndex < 0 || driveIndex >= GetDriveCount())
        return DriveAddress{-1, 0, 0};
    return DriveAddress{driveIndex, 0, 0};
}

DriveInfo LibcdioReader::GetDriveInfo(std::int32_t driveIndex)
{
    if (driveIndex < 0 || driveIndex >= GetDriveCount())
        return DriveInfo{};
    return guarded<DriveInfo>({}, [&] { return m_drives[static_cast<std::size_t>(driveIndex)].info; });
}

std::int32_t LibcdioReader::OpenDrive(const DriveAddress &address)
{
    m_lastOpenFailure.clear();
    if (address.a < 0 || address.a >= GetDriveCount())
        return 0;
    return guarded<std::int32_t>(0, [&] {
        const Drive &drive = m_drives[static_cast<std::size_t>(address.a)];
        auto disc = std::make_unique<Disc>();
        disc->image = drive.image;
        const QString shown = QDir::toNativeSeparators(drive.path);
        if (drive.image) {
            const QFileInfo file(drive.path);
            if (!file.exists()) {
                m_lastOpenFailure = CdTexts::imageNotFound(shown);
                return 0;
            }
            // A FIFO or a device would block the reader: only plain files are images.
            if (!file.isFile()) {
                m_lastOpenFailure = CdTexts::notAnImageFile(shown);
                return 0;
            }
            disc->prepared = std::make_unique<PreparedImage>(PreparedImage::prepare(drive.path));
            if (!disc->prepared->ok()) {
                m_lastOpenFailure = disc->prepared->failure();
                return 0;
            }
            disc->source = disc->prepared->openPath();
            disc->cdio = openImage(disc->source, file.suffix());
            if (!disc->cdio) {
                m_lastOpenFailure =
                    CdTexts::unreadableImage(shown);
                return 0;
            }
        } else {
            // A change noticed from now on is a disc other than the one about to be read.
            (void)watch(m_drives[static_cast<std::size_t>(address.a)]);
            disc->source = drive.path;
            disc->cdio = openCdio(drive.path, DRIVER_DEVICE);
        }
        // A disc without any audio track cannot be ripped: refuse it here.
        if (!disc->cdio)
            return 0;
        if (!readLayout(*disc)) {
            m_lastOpenFailure = CdTexts::noAudioTrack();
            return 0;
        }
        if (drive.image && cdio_get_driver_id(disc->cdio.get()) == DRIVER_BINCUE) {
            if (const char *source = cdio_get_arg(disc->cdio.get(), "source"))
                disc->binFile = fromCdioPath(source);
        }
        const std::int32_t handle = m_nextHandle++;
        m_discs.emplace(handle, std::move(disc));
        return handle;
    });
}

bool LibcdioReader::CloseDrive(std::int32_t handle)
{
    return guarded(false, [&] { return m_discs.erase(handle) == 1; });
}

std::int32_t LibcdioReader::ReadToc(std::int32_t handle)
{
    return guarded<std::int32_t>(0, [&] {
        m_toc = Layout{};
        Disc *open = disc(handle);
        if (open == nullptr || !readLayout(*open))
            return 0;
        m_toc = open->layout;
        return 1;
    });
}

std::int32_t LibcdioReader::GetFirstTrack()
{
    return m_toc.firstTrack;
}

std::int32_t LibcdioReader::GetLastTrack()
{
    return m_toc.lastTrack;
}

TocTime LibcdioReader::GetTocEntry(std::int32_t entry)
{
    if (entry < 0 || static_cast<std::size_t>(entry) >= m_toc.entries.size())
        return TocTime{};
    return toTocTime(m_toc.entries[static_cast<std::size_t>(entry)]);
}

bool LibcdioReader::SetDriveParam(std::int32_t handle, std::int32_t param, std::int32_t value)
{
    return guarded(false, [&] {
        Disc *open = disc(handle);
        if (open == nullptr || param != ParamSecureRead)
            return false;
        if (value == -1)
            return enableParanoia(*open);
        if (value == 0) {
            open->paranoia.reset();
            open->drive.reset();
            return true;
        }
        return false;
    });
}

void LibcdioReader::OpenWaveFile(const QString &path)
{
    guarded(false, [&] {
        if (m_wave)
            CloseWaveFile();
        SNDFILE *file = path.isEmpty() ? nullptr : createWave(path);
        // Remembered, so that every read into the missing file fails.
        m_waveFailed = file == nullptr;
        if (file != nullptr) {
            m_wave = std::make_unique<Wave>();
            m_wave->file.reset(file);
        }
        return true;
    });
}

bool LibcdioReader::CloseWaveFile()
{
    return guarded(false, [&] {
        const bool failedBefore = m_waveFailed;
        m_waveFailed = false;
        if (!m_wave)
            return false;
        SNDFILE *file = m_wave->file.release();
        m_wave.reset();
        // The header carries the sizes: write it now and see that it got to the disk.
        sf_command(file, SFC_UPDATE_HEADER_NOW, nullptr, 0);
        const bool headerWritten = sf_error(file) == SF_ERR_NO_ERROR;
        const bool closed = sf_close(file) == 0;
        // A file that missed some audio is not a complete copy, whatever its header says.
        return headerWritten && closed && !failedBefore;
    });
}

std::int32_t LibcdioReader::ReadSectors(std::int32_t handle, std::int32_t firstSector,
                                        std::int32_t count)
{
    return guarded<std::int32_t>(0, [&] {
        if (!m_wave || m_waveFailed)
            return 0;
        Disc *open = disc(handle);
        if (open == nullptr || count < 0 || count > MaxSectorsPerRead || firstSector < 0
            || !open->layout.ordered)
            return 0;
        if (count == 0)
            return 1;
        // Sectors count from TOC entry 0; the image driver would "read" past the end of the
        // disc without complaint, so the range is checked here.
        const std::int64_t lsn = static_cast<std::int64_t>(open->layout.entries.front()) + firstSector;
        if (!readable(open->layout, lsn, count))
            return 0;
        // An image file cut short since the disc was opened has no audio left to give.
        if (!open->binFile.isEmpty()
            && QFileInfo(open->binFile).size() < (lsn + count) * BytesPerSector)
            return 0;
        const auto bytes = static_cast<std::size_t>(count) * BytesPerSector;
        m_buffer.resize(bytes);
        const bool read = open->paranoia
                              ? readParanoia(*open, static_cast<std::int32_t>(lsn), count, m_buffer.data())
                              : readRaw(*open, static_cast<std::int32_t>(lsn), count, m_buffer.data());
        if (!read)
            return 0;
        const auto written = sf_write_raw(m_wave->file.get(), m_buffer.data(),
                                          static_cast<sf_count_t>(bytes));
        if (written != static_cast<sf_count_t>(bytes)) {
            // Disk full or the like: the file now misses audio, so nothing after it may
            // pretend to continue it.
            m_waveFailed = true;
            return 0;
        }
        return 1;
    });
}

bool LibcdioReader::readLayout(Disc &disc)
{
    CdIo_t *cdio = disc.cdio.get();
    const track_t first = cdio_get_first_track_num(cdio);
    const track_t count = cdio_get_num_tracks(cdio);
    if (first == CDIO_INVALID_TRACK || count == CDIO_INVALID_TRACK || count == 0
        || first + count - 1 > CDIO_CD_MAX_TRACKS)
        return false;
    const std::int32_t last = first + count - 1;

    std::vector<std::int32_t> starts;
    std::vector<bool> audio;
    for (std::int32_t track = first; track <= last; ++track) {
        const lsn_t start = cdio_get_track_lsn(cdio, static_cast<track_t>(track));
        if (start == CDIO_INVALID_LSN)
            return false;
        starts.push_back(start);
        audio.push_back(cdio_get_track_format(cdio, static_cast<track_t>(track)) == TRACK_FORMAT_AUDIO);
    }
    const lsn_t leadOut = cdio_get_track_lsn(cdio, CDIO_CDROM_LEADOUT_TRACK);
    if (leadOut == CDIO_INVALID_LSN)
        return false;

    const auto lastAudio = std::find(audio.rbegin(), audio.rend(), true);
    if (lastAudio == audio.rend())
        return false;
    const auto shown = static_cast<std::size_t>(audio.rend() - lastAudio); // tracks presented
    std::int32_t end = leadOut;
    if (shown < starts.size()) {
        // Enhanced CD: the audio session ends where its lead-out begins, well before the
        // data track. An image without that gap ends its audio at the data track itself.
        const std::int32_t dataStart = starts[shown];
        end = dataStart - SessionGap > starts[shown - 1] ? dataStart - SessionGap : dataStart;
    }

    Layout layout;
    layout.firstTrack = first;
    layout.lastTrack = first + static_cast<std::int32_t>(shown) - 1;
    layout.leadOut = leadOut;
    layout.ordered = std::is_sorted(starts.begin(), starts.end()) && starts.front() >= 0
                     && starts.back() <= leadOut;
    // Entries before the first track (a disc that starts at track 3, say) stand for its
    // start, so that sector numbers still count from the first track.
    for (std::int32_t entry = 0; entry <= layout.lastTrack; ++entry) {
        const std::int32_t track = std::max(entry + 1, std::int32_t{first});
        layout.entries.push_back(track > layout.lastTrack
                                     ? end
                                     : starts[static_cast<std::size_t>(track - first)]);
    }
    for (std::size_t i = 0; i < shown; ++i)
        layout.tracks.push_back(Span{starts[i], i + 1 < shown ? starts[i + 1] : end, audio[i]});
    disc.layout = std::move(layout);
    return true;
}

bool LibcdioReader::readable(const Layout &layout, std::int64_t lsn, std::int32_t count)
{
    const std::int64_t end = lsn + count;
    // A table that puts a track before the disc's start (a broken INDEX makes libcdio say
    // -150) or past its end would send the reader where no sector is: paranoia then
    // retries for ever. Whatever the table says, only sectors of the disc are read.
    if (lsn < 0 || end > layout.leadOut)
        return false;
    while (lsn < end) {
        const auto span = std::find_if(layout.tracks.begin(), layout.tracks.end(), [lsn](const Span &s) {
            return s.start <= lsn && lsn < s.end;
        });
        if (span == layout.tracks.end() || !span->audio)
            return false;
        lsn = span->end;
    }
    return true;
}

QString LibcdioReader::discSource(std::int32_t handle) const
{
    const Disc *open = disc(handle);
    return open == nullptr ? QString() : open->source;
}

bool LibcdioReader::isAudioTrack(std::int32_t handle, std::int32_t trackNumber) const
{
    const Disc *open = disc(handle);
    if (open == nullptr || trackNumber < open->layout.firstTrack || trackNumber > open->layout.lastTrack)
        return true;
    return open->layout.tracks[static_cast<std::size_t>(trackNumber - open->layout.firstTrack)].audio;
}

void LibcdioReader::setStopCheck(std::function<bool()> stopRequested)
{
    m_stopRequested = std::move(stopRequested);
}

bool LibcdioReader::isImage(std::int32_t driveIndex) const
{
    if (!m_scanned || driveIndex < 0 || static_cast<std::size_t>(driveIndex) >= m_drives.size())
        return false;
    return m_drives[static_cast<std::size_t>(driveIndex)].image;
}

CdIo_t *LibcdioReader::watch(Drive &drive)
{
    if (drive.watch)
        return drive.watch.get();
    // Opened without waiting for a disc (libcdio opens devices non-blocking), so that an
    // empty drive or an open tray answers too. A drive keeps a change until it is asked,
    // whenever it happened: the first answer is only a starting point, not a new disc.
    drive.watch = openCdio(drive.path, DRIVER_DEVICE);
    if (drive.watch)
        (void)cdio_get_media_changed(drive.watch.get());
    return drive.watch.get();
}

std::int32_t LibcdioReader::mediaChanged(std::int32_t driveIndex)
{
    if (driveIndex < 0 || driveIndex >= GetDriveCount())
        return -1;
    return guarded<std::int32_t>(-1, [&]() -> std::int32_t {
        Drive &drive = m_drives[static_cast<std::size_t>(driveIndex)];
        // An image's disc never changes; it is not asked at all.
        if (drive.image)
            return -1;
        CdIo_t *watched = watch(drive);
        if (watched == nullptr)
            return -1;
        const int changed = cdio_get_media_changed(watched);
        return changed < 0 ? -1 : (changed > 0 ? 1 : 0);
    });
}

bool LibcdioReader::ejectMedia(std::int32_t driveIndex)
{
    if (driveIndex < 0 || driveIndex >= GetDriveCount())
        return false;
    return guarded(false, [&] {
        Drive &drive = m_drives[static_cast<std::size_t>(driveIndex)];
        // Never through libcdio for an image: its image drivers "eject" by freeing their own
        // data, and the later cdio_destroy of that handle frees it a second time (a BIN/CUE
        // image aborts the program on libcdio 2.1.0).
        if (drive.image)
            return false;
        // A drive opened elsewhere refuses to eject (Linux answers EBUSY): our own handle
        // on it goes first, and comes back at once, so that the next disc put in is news.
        drive.watch.reset();
        const bool ejected = cdio_eject_media_drive(cdioPath(drive.path).constData()) == DRIVER_OP_SUCCESS;
        (void)watch(drive);
        return ejected;
    });
}

LibcdioReader::Disc *LibcdioReader::disc(std::int32_t handle) const
{
    const auto found = m_discs.find(handle);
    return found == m_discs.end() ? nullptr : found->second.get();
}

bool LibcdioReader::enableParanoia(Disc &disc)
{
    if (disc.paranoia)
        return true;
    DrivePtr drive(cdio_cddap_identify_cdio(disc.cdio.get(), CDDA_MESSAGE_FORGETIT, nullptr));
    if (!drive)
        return false;
    cdio_cddap_verbose_set(drive.get(), CDDA_MESSAGE_FORGETIT, CDDA_MESSAGE_FORGETIT);
    // An image holds the audio as stored, little-endian; paranoia's guess from the sound of
    // the first sectors is meant for odd drives and can be fooled by synthetic audio.
    if (disc.image)
        drive->bigendianp = 0;
    if (cdio_cddap_open(drive.get()) != 0)
        return false;
    ParanoiaPtr paranoia(cdio_paranoia_init(drive.get()));
    if (!paranoia)
        return false;
    cdio_paranoia_modeset(paranoia.get(), PARANOIA_MODE_FULL ^ PARANOIA_MODE_NEVERSKIP);
    disc.drive = std::move(drive);
    disc.paranoia = std::move(paranoia);
    disc.paranoiaNext = -1;
    return true;
}

bool LibcdioReader::readRaw(Disc &disc, std::int32_t lsn, std::int32_t count, char *out)
{
    return cdio_read_audio_sectors(disc.cdio.get(), out, lsn, static_cast<std::uint32_t>(count))
           == DRIVER_OP_SUCCESS;
}

bool LibcdioReader::readParanoia(Disc &disc, std::int32_t lsn, std::int32_t count, char *out)
{
    // Paranoia reads ahead and keeps what it verified; seek only when the caller jumps.
    if (disc.paranoiaNext != lsn) {
        cdio_paranoia_seek(disc.paranoia.get(), lsn, SEEK_SET);
        disc.paranoiaSkippedFrom = -1;
    }
    disc.paranoiaNext = -1;
    for (std::int32_t i = 0; i < count; ++i) {
        // A damaged sector may take many re-reads: a stop is seen between two sectors.
        if (i > 0 && m_stopRequested && m_stopRequested())
            return false;
        t_skippedFrom = disc.paranoiaSkippedFrom;
        const std::int16_t *samples =
            cdio_paranoia_read_limited(disc.paranoia.get(), &onParanoiaEvent, ParanoiaRetries);
        disc.paranoiaSkippedFrom = t_skippedFrom;
        const long sectorEnd = (static_cast<long>(lsn) + i + 1) * (BytesPerSector / 2);
        if (samples == nullptr || (t_skippedFrom >= 0 && t_skippedFrom < sectorEnd))
            return false;
        // Paranoia hands back samples in the machine's byte order; WAV wants little-endian.
        qToLittleEndian<std::int16_t>(samples, BytesPerSector / 2,
                                      out + static_cast<std::ptrdiff_t>(i) * BytesPerSector);
    }
    disc.paranoiaNext = static_cast<std::int64_t>(lsn) + count;
    return true;
}
