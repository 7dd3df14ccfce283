#pragma once

#include <QString>
#include <QtGlobal>

// A folder where every new write fails as on a full disk, for the tests of what the
// program saves. Where the test may mount (root), a small tmpfs over the folder, in a
// mount namespace of the test's own thread (nothing of it outside the test), filled up by
// fill(); elsewhere a file-size limit for the process (SIGXFSZ ignored), turned on by
// fill(). Files written before fill() are there and readable; the destructor ends it all.
class FullDisk
{
public:
    explicit FullDisk(const QString &folder);
    ~FullDisk();
    FullDisk(const FullDisk &) = delete;
    FullDisk &operator=(const FullDisk &) = delete;

    // Empty when the folder can be made full; otherwise why not (for QSKIP).
    QString unavailable() const { return m_unavailable; }
    QString how() const { return m_mounted ? QStringLiteral("tmpfs") : QStringLiteral("file-size limit"); }

    // From now on, writes in the folder fail, but for about bytesLeft bytes: a small file
    // fits (one memory page of the tmpfs; a file-size limit of bytesLeft).
    void fill(qint64 bytesLeft = 0);

private:
    QString m_folder;
    QString m_unavailable;
    bool m_mounted = false;
    bool m_limited = false;
    unsigned long long m_previousLimit = 0;
};
