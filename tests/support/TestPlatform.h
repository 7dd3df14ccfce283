#pragma once

#include <QSettings>
#include <QString>

#include <memory>

// What the tests need from the system where Linux and Windows differ.
namespace TestPlatform {

// Whether taking the write permission off a folder stops this process writing in it: not
// for the superuser, and not on Windows, where a folder's read-only attribute binds nothing.
bool folderPermissionsBind();

// The settings store at location (SettingsStore::location()) as another program or a
// user's editor sees it: the registry on Windows, the INI file elsewhere.
std::unique_ptr<QSettings> rawSettings(const QString &location);

// Gives an existing file a second name in the same file system (a hard link).
bool hardLink(const QString &existing, const QString &newName);

} // namespace TestPlatform
