#include "FullDisk.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <csignal>

#ifdef Q_OS_LINUX
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

FullDisk::FullDisk(const QString &folder) : m_folder(folder)
{
#ifdef Q_OS_LINUX
    const QByteArray path = QFile::encodeName(folder);
    // Only this thread moves to the new namespace: the test's own file work runs on it.
    if (::unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0
        && ::mount("tmpfs", path.constData(), "tmpfs", MS_NOSUID | MS_NODEV, "size=256k,mode=0700") == 0) {
        m_mounted = true;
        return;
    }
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = {};
    if (::getrlimit(RLIMIT_FSIZE, &limit) != 0) {
        m_unavailable = QStringLiteral("neither a tmpfs nor a file-size limit is available");
        return;
    }
    m_previousLimit = limit.rlim_cur;
#else
    m_unavailable = QStringLiteral("needs Linux for a tmpfs or a file-size limit");
#endif
}

FullDisk::~FullDisk()
{
#ifdef Q_OS_LINUX
    if (m_mounted)
        ::umount2(QFile::encodeName(m_folder).constData(), MNT_DETACH);
    if (m_limited) {
        rlimit limit = {};
        ::getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = m_previousLimit;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
#endif
}

void FullDisk::fill([[maybe_unused]] qint64 bytesLeft)
{
#ifdef Q_OS_LINUX
    if (m_mounted) {
        const int fd = ::open(QFile::encodeName(m_folder + QStringLiteral("/.filler")).constData(),
                              O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        const QByteArray block(4096, 'x');
        while (fd >= 0 && ::write(fd, block.constData(), static_cast<std::size_t>(block.size())) > 0) {
        }
        // The last few bytes too, so that not even a short file fits.
        while (fd >= 0 && ::write(fd, block.constData(), 1) > 0) {
        }
        if (fd >= 0 && bytesLeft > 0) {
            // The tmpfs counts whole pages: give back enough of them.
            const off_t size = ::lseek(fd, 0, SEEK_END);
            const off_t pages = (static_cast<off_t>(bytesLeft) + 4095) / 4096;
            [[maybe_unused]] const int cut = ::ftruncate(fd, std::max<off_t>(0, (size / 4096 - pages) * 4096));
        }
        if (fd >= 0)
            ::close(fd);
        return;
    }
    if (m_unavailable.isEmpty()) {
        // Any write past that size of a file fails with EFBIG.
        rlimit limit = {};
        ::getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = static_cast<rlim_t>(std::max<qint64>(1, bytesLeft));
        m_limited = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
#endif
}
