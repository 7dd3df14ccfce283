#include "SettingsStore.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSettings>
#include <QStringList>
#include <cfenv>
#include <cmath>
#include <limits>
#include <memory>

namespace {

const QString section = QStringLiteral("Parametres");

std::unique_ptr<QSettings> openStore(const QString &applicationName)
{
#ifdef Q_OS_WIN
    return std::make_unique<QSettings>(
        QStringLiteral("HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings\\") + applicationName,
        QSettings::NativeFormat);
#else
    return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, applicationName);
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
    // An INI value with commas comes back as a list: it was one text.
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QLatin1Char(','));
    return value.toString();
}

bool SettingsStore::write(const QString &key, const QString &text)
{
    const auto store = openStore(m_applicationName);
    store->setValue(section + QLatin1Char('/') + key, text);
    store->sync();
    return store->status() == QSettings::NoError && store->isWritable();
}

bool SettingsStore::flush()
{
    const auto store = openStore(m_applicationName);
    store->sync();
    return store->status() == QSettings::NoError;
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
