#pragma once

#include <QString>

#include <memory>

class QLockFile;

// One conversion batch at a time per music folder: two batches writing the same names
// (two windows, a window and a terminal run) would leave mixed or truncated files. The lock
// is a hidden file in the folder, so it holds across processes and is never listed; a lock
// left by a process that no longer runs on this machine is taken over.
class MusicFolderLock
{
public:
    // The name of the lock file inside the music folder.
    static QString fileName();
    // Why a batch cannot start while another holds the lock.
    static QString refusalText();

    explicit MusicFolderLock(const QString &musicFolder);
    ~MusicFolderLock(); // releases the lock
    MusicFolderLock(const MusicFolderLock &) = delete;
    MusicFolderLock &operator=(const MusicFolderLock &) = delete;

    // Takes the lock without waiting. False when another batch holds it (refusalText()
    // says so) or the lock file cannot be written (failure() gives the system's reason).
    bool tryLock();
    void unlock();
    bool isLocked() const;
    // After a failed tryLock: the text for the user.
    QString failure() const { return m_failure; }
    // After a failed tryLock: another batch holds the folder (rather than the lock file
    // being impossible to write).
    bool heldElsewhere() const { return m_heldElsewhere; }

private:
    std::unique_ptr<QLockFile> m_lock;
    QString m_failure;
    bool m_heldElsewhere = false;
};
