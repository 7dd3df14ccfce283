#pragma once

#include <QString>

#include <filesystem>

// The few file operations whose system calls differ between platforms, behind portable
// functions: everything else in the program goes through Qt or std::filesystem. The POSIX
// implementation is FileSystemPosix.cpp, the Windows one FileSystemWindows.cpp; the build
// compiles the one of the target system. Reasons are the system's own words.
namespace FileSystem {

// path as the file system spells it (UTF-16 on Windows, the local 8-bit encoding elsewhere).
std::filesystem::path fsPath(const QString &path);

#ifdef _WIN32
// The long-path form (\\?\C:\...) of path, absolute and in native separators: names near
// the length limit are past 260 characters in full.
std::wstring longPath(const QString &path);
#endif

// Creates path as a new empty file open for writing, refusing any existing entry (a
// dangling link included) and never following a link. Returns the descriptor, or -1 with
// the system's reason in *reason when reason is given.
int createNew(const QString &path, QString *reason);

// Closes a descriptor that createNew returned and that no QFile took over.
void closeDescriptor(int fd);

// Flushes what was written through fd to the disk itself. Returns an empty text, or the
// reason.
QString syncToDisk(int fd);

// Gives the entry at from the name to in one step, replacing a file already there: there is
// never a moment without a file under that name. Returns an empty text, or the reason.
QString replace(const QString &from, const QString &to);

// Removes the entry at path if there is one: a file, a FIFO, a link itself (never what it
// points to). A folder is left alone. Returns an empty text, or the reason in French.
QString removeEntry(const QString &path);

} // namespace FileSystem
