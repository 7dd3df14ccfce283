#pragma once

#include <QString>

#include <memory>

class QLockFile;

// One conversion batch at a time per music folder: two batches writing the same names
// (two windows, a window and a terminal run) would leave mixed or truncated files. The lock
// is a hidden file in the folder, so it holds across processes and is never listed.
//
// What stands at the lock's name and cannot be a running batch's lock is taken over: an
// empty or unreadable file (a power cut), text that is no lock, the lock of a process of
// this machine that is gone (a batch that no process holds any more), a link, a FIFO, an
// empty folder. A link is removed, never followed; a folder with contents is never
// removed. A lock written by another computer (a music folder on a USB key or a share)
// cannot be checked from here: the batch is refused, naming the file to remove once the
// user knows that computer is not converting.
class MusicFolderLock
{
public:
    // The name of the lock file inside the music folder.
    static QString fileName();
    // Why a batch cannot start while another batch of this computer holds the lock.
    static QString refusalText();

    explicit MusicFolderLock(const QString &musicFolder);
    ~MusicFolderLock(); // releases the lock
    MusicFolderLock(const MusicFolderLock &) = delete;
    MusicFolderLock &operator=(const MusicFolderLock &) = delete;

    // Takes the lock without waiting. False when the batch may not run (heldElsewhere():
    // failure() says why) or the lock file cannot be written (failure() gives the system's
    // reason).
    bool tryLock();
    void unlock();
    bool isLocked() const;
    // After a failed tryLock: the text for the user.
    QString failure() const { return m_failure; }
    // After a failed tryLock: the batch may not run, as another batch holds the folder (or
    // may hold it, from another computer) or a folder with contents stands at the lock's
    // name, rather than the lock file being impossible to write.
    bool heldElsewhere() const { return m_heldElsewhere; }

private:
    enum class Standing
    {
        Free,    // nothing at the lock's name any more
        Held,    // a running batch's lock, or one that may be
        Retry,   // the entry changed while it was looked at
    };
    // Clears what stands at the lock's name when it cannot be a running batch's lock;
    // otherwise sets m_failure.
    Standing clearStale();
    Standing inspectLockFile(const QString &path);

    std::unique_ptr<QLockFile> m_lock;
    QString m_failure;
    bool m_heldElsewhere = false;
};
