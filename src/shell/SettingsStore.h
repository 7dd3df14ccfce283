#pragma once

#include <QLocale>
#include <QString>
#include <cstdint>
#include <optional>

// The per-user store of the program's settings: text values under an application name,
// the section "Parametres" and a key. On Windows the classic per-user registry location of
// such settings; elsewhere an INI file in the user's configuration folder.
class SettingsStore
{
public:
    explicit SettingsStore(QString applicationName = defaultApplicationName());

    // The running executable's file name without its extension.
    static QString defaultApplicationName();

    // The text stored under key, or defaultText when there is none.
    QString read(const QString &key, const QString &defaultText) const;
    // Writes every pending value; false when the store could not be written.
    bool write(const QString &key, const QString &text);
    // Removes key; false when the store could not be written.
    bool remove(const QString &key);
    bool flush();

    // Where the values live, for messages and the README.
    QString location() const;
    // After a write that failed: the system's reason when it is known (a full disk), else
    // empty.
    QString failure() const { return m_failure; }

    // Text forms of the values.
    // A Long: locale-aware, blanks around allowed, fractions rounded half to even,
    // nothing outside the 32-bit range.
    static std::optional<std::int32_t> toLong(const QString &text,
                                              const QLocale &locale = QLocale::system());
    // A Boolean: a number (0 is False, anything else True) or the words True / False.
    static std::optional<bool> toBoolean(const QString &text,
                                         const QLocale &locale = QLocale::system());
    static QString fromLong(std::int32_t value);
    static QString fromBoolean(bool value);

private:
    QString m_applicationName;
    QString m_failure;
};
