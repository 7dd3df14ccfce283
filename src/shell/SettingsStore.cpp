#include "SettingsStore.h"

#include <QCoreApplication>
#include <QFileDevice>
#include <QFileInfo>
#include <QIODevice>
#include <QMap>
#include <QSettings>
#include <QStorageInfo>
#include <QStringList>
#include <cfenv>
#include <cmath>
#include <limits>
#include <memory>

namespace {

const QString section = QStringLiteral("Parametres");

#ifndef Q_OS_WIN
// The INI file as a user edits it: every value is its raw text up to the end of the line
// (QSettings' own INI syntax would make "a, b" a list and cut "/x;y" at a comment). Written
// values are quoted, so that blanks at either end survive; a quoted value is read without
// its quotes, as QSettings writes them too.
QString unquoted(const QString &text)
{
    if (text.size() < 2 || !text.startsWith(QLatin1Char('"')) || !text.endsWith(QLatin1Char('"')))
        return text;
    QString value;
    for (qsizetype i = 1; i + 1 < text.size(); ++i) {
        QChar c = text.at(i);
        if (c == QLatin1Char('\\') && i + 2 < text.size())
            c = text.at(++i);
        value += c;
    }
    return value;
}

QString quoted(const QString &text)
{
    QString value = text;
    value.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    value.replace(QLatin1Char('"'), QStringLiteral("\\\""));
    return QLatin1Char('"') + value + QLatin1Char('"');
}

bool readRawIni(QIODevice &device, QSettings::SettingsMap &map)
{
    QString group;
    const QStringList lines = QString::fromUtf8(device.readAll()).split(QLatin1Char('\n'));
    for (QString line : lines) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        const QString trimmed = line.trimmed();
        if (trimmed.startsWith(QLatin1Char('[')) && trimmed.endsWith(QLatin1Char(']'))) {
            group = trimmed.mid(1, trimmed.size() - 2).trimmed();
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals <= 0 || trimmed.startsWith(QLatin1Char(';')) || trimmed.startsWith(QLatin1Char('#')))
            continue;
        const QString key = line.left(equals).trimmed();
        const QString value = unquoted(line.mid(equals + 1).trimmed());
        map.insert(group.isEmpty() ? key : group + QLatin1Char('/') + key, value);
    }
    return true;
}

// Why the last write of the settings file failed, for the message.
thread_local QString lastWriteFailure;

bool writeRawIni(QIODevice &device, const QSettings::SettingsMap &map)
{
    QMap<QString, QStringList> groups;
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        const qsizetype slash = it.key().indexOf(QLatin1Char('/'));
        const QString group = slash < 0 ? QStringLiteral("General") : it.key().left(slash);
        const QString key = slash < 0 ? it.key() : it.key().mid(slash + 1);
        groups[group] << key + QLatin1Char('=') + quoted(it.value().toString());
    }
    QString text;
    for (auto it = groups.cbegin(); it != groups.cend(); ++it) {
        if (!text.isEmpty())
            text += QLatin1Char('\n');
        text += QLatin1Char('[') + it.key() + QStringLiteral("]\n") + it.value().join(QLatin1Char('\n'))
                + QLatin1Char('\n');
    }
    const QByteArray bytes = text.toUtf8();
    // QSettings writes through a QSaveFile, whose commit() (Qt 6.4) reports success after a
    // buffered write that a full disk refused, and then puts the empty file in place of the
    // settings: the write must reach the file before this returns.
    auto *file = qobject_cast<QFileDevice *>(&device);
    if (device.write(bytes) != bytes.size() || (file != nullptr && !file->flush())) {
        lastWriteFailure = device.errorString();
        return false;
    }
    return true;
}

QSettings::Format rawIniFormat()
{
    static const QSettings::Format format =
        QSettings::registerFormat(QStringLiteral("ini"), readRawIni, writeRawIni);
    return format;
}
#endif

std::unique_ptr<QSettings> openStore(const QString &applicationName)
{
#ifdef Q_OS_WIN
    return std::make_unique<QSettings>(
        QStringLiteral("HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings\\") + applicationName,
        QSettings::NativeFormat);
#else
    return std::make_unique<QSettings>(rawIniFormat(), QSettings::UserScope, applicationName);
#endif
}

std::optional<double> toNumber(const QString &text, const QLocale &locale)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    bool ok = false;
    double value = locale.toDouble(trimmed, &ok);
    if (!ok) {
        // A file written under another locale still loads, but without guessing at
        // group separators.
        QLocale c = QLocale::c();
        c.setNumberOptions(QLocale::RejectGroupSeparator);
        value = c.toDouble(trimmed, &ok);
    }
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

} // namespace

SettingsStore::SettingsStore(QString applicationName)
    : m_applicationName(std::move(applicationName))
{
}

QString SettingsStore::defaultApplicationName()
{
    QString name = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    if (name.endsWith(QStringLiteral(".exe"), Qt::CaseInsensitive))
        name.chop(4);
    return name;
}

QString SettingsStore::read(const QString &key, const QString &defaultText) const
{
    const auto store = openStore(m_applicationName);
    const QVariant value = store->value(section + QLatin1Char('/') + key);
    if (!value.isValid())
        return defaultText;
    return value.toString();
}

namespace {

// Writes what store holds and says whether it reached the disk; failure gets why not.
bool synced(QSettings &store, QString &failure)
{
#ifndef Q_OS_WIN
    lastWriteFailure.clear();
#endif
    store.sync();
    if (store.status() == QSettings::NoError && store.isWritable()) {
        failure.clear();
        return true;
    }
#ifndef Q_OS_WIN
    failure = lastWriteFailure;
#endif
    // QSettings fails before writing anything when its lock file beside the store cannot be
    // written either: a full disk is then the likely reason, and worth telling.
    const QStorageInfo disk(QFileInfo(store.fileName()).absolutePath());
    if (failure.isEmpty() && disk.isValid() && disk.bytesAvailable() < 64 * 1024)
        failure = QStringLiteral("il ne reste plus de place sur le disque");
    return false;
}

} // namespace

bool SettingsStore::write(const QString &key, const QString &text)
{
    const auto store = openStore(m_applicationName);
    store->setValue(section + QLatin1Char('/') + key, text);
    return synced(*store, m_failure);
}

bool SettingsStore::remove(const QString &key)
{
    const auto store = openStore(m_applicationName);
    if (!store->contains(section + QLatin1Char('/') + key))
        return true;
    store->remove(section + QLatin1Char('/') + key);
    return synced(*store, m_failure);
}

bool SettingsStore::flush()
{
    const auto store = openStore(m_applicationName);
    return synced(*store, m_failure);
}

QString SettingsStore::location() const
{
    return openStore(m_applicationName)->fileName();
}

std::optional<std::int32_t> SettingsStore::toLong(const QString &text, const QLocale &locale)
{
    const std::optional<double> number = toNumber(text, locale);
    if (!number)
        return std::nullopt;
    const int previous = std::fegetround();
    std::fesetround(FE_TONEAREST); // halves go to the even neighbour
    const double rounded = std::nearbyint(*number);
    std::fesetround(previous);
    if (rounded < static_cast<double>(std::numeric_limits<std::int32_t>::min())
        || rounded > static_cast<double>(std::numeric_limits<std::int32_t>::max()))
        return std::nullopt;
    return static_cast<std::int32_t>(rounded);
}

std::optional<bool> SettingsStore::toBoolean(const QString &text, const QLocale &locale)
{
    const QString trimmed = text.trimmed();
    if (trimmed.compare(QStringLiteral("True"), Qt::CaseInsensitive) == 0)
        return true;
    if (trimmed.compare(QStringLiteral("False"), Qt::CaseInsensitive) == 0)
        return false;
    const std::optional<double> number = toNumber(trimmed, locale);
    if (!number)
        return std::nullopt;
    return *number != 0.0;
}

QString SettingsStore::fromLong(std::int32_t value)
{
    return QString::number(value);
}

QString SettingsStore::fromBoolean(bool value)
{
    return value ? QStringLiteral("-1") : QStringLiteral("0");
}
