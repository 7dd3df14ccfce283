#include "Parametres.h"

#include "LameEncoder.h"

namespace {

std::int32_t readLong(const SettingsStore &store, const QString &key, std::int32_t defaultValue,
                      QStringList &corrupt)
{
    const QString text = store.read(key, SettingsStore::fromLong(defaultValue));
    if (const auto value = SettingsStore::toLong(text))
        return *value;
    corrupt << key;
    return defaultValue;
}

bool readBoolean(const SettingsStore &store, const QString &key, bool defaultValue,
                 QStringList &corrupt)
{
    // The default is handed over as a number, like the other numeric defaults.
    const QString text = store.read(key, defaultValue ? QStringLiteral("-1") : QStringLiteral("0"));
    if (const auto value = SettingsStore::toBoolean(text))
        return *value;
    corrupt << key;
    return defaultValue;
}

} // namespace

QStringList ChargerParametres(FormFields &form, const SettingsStore &store)
{
    QStringList corrupt;
    form.settings.LlMode = readLong(store, QStringLiteral("Mode"), 0, corrupt);
    form.settings.LlBitrate = readLong(store, QStringLiteral("Bitrate"), 160, corrupt);
    // A hand-edited value the encoder refuses would fail every track after reading it in
    // full: it counts as unreadable.
    if (!corrupt.contains(QStringLiteral("Mode")) && !LameEncoder::supportsEncodingMode(form.settings.LlMode)) {
        form.settings.LlMode = 0;
        corrupt << QStringLiteral("Mode");
    }
    if (!corrupt.contains(QStringLiteral("Bitrate"))
        && !LameEncoder::supportsEncodingBitrate(form.settings.LlBitrate)) {
        form.settings.LlBitrate = 160;
        corrupt << QStringLiteral("Bitrate");
    }
    form.settings.LbHauteQualite = readBoolean(store, QStringLiteral("HauteQualite"), false, corrupt);
    form.settings.LlTypeEncodage = readLong(store, QStringLiteral("TypeEncodage"), 0, corrupt);
    form.settings.LlNomFichier = readLong(store, QStringLiteral("NomFichier"), 3, corrupt);
    form.settings.LsServeur = store.read(QStringLiteral("Serveur"), Parametres::DefaultServeur);
    form.settings.LsCgi = store.read(QStringLiteral("Cgi"), Parametres::DefaultCgi);
    form.settings.LlLecteur = readLong(store, QStringLiteral("Lecteur"), 0, corrupt);
    form.settings.LsCourriel = store.read(QStringLiteral("Courriel"), QString());
    form.settings.equalLoudness = readBoolean(store, QStringLiteral("VolumeEgal"), false, corrupt);
    form.settings.cutLeadingSilence = readBoolean(store, QStringLiteral("CouperSilence"), false, corrupt);
    return corrupt;
}

bool SauverParametres(const FormFields &form, SettingsStore &store)
{
    // Each key on its own, in order; stop at the first that cannot be written.
    return store.write(QStringLiteral("Mode"), SettingsStore::fromLong(form.settings.LlMode))
        && store.write(QStringLiteral("Bitrate"), SettingsStore::fromLong(form.settings.LlBitrate))
        && store.write(QStringLiteral("HauteQualite"), SettingsStore::fromBoolean(form.settings.LbHauteQualite))
        && store.write(QStringLiteral("TypeEncodage"), SettingsStore::fromLong(form.settings.LlTypeEncodage))
        && store.write(QStringLiteral("NomFichier"), SettingsStore::fromLong(form.settings.LlNomFichier))
        && store.write(QStringLiteral("Serveur"), form.settings.LsServeur)
        && store.write(QStringLiteral("Cgi"), form.settings.LsCgi)
        && store.write(QStringLiteral("Lecteur"), SettingsStore::fromLong(form.settings.LlLecteur))
        // An address the user erased must not stay behind in the store.
        && (form.settings.LsCourriel.isEmpty() ? store.remove(QStringLiteral("Courriel"))
                                               : store.write(QStringLiteral("Courriel"), form.settings.LsCourriel))
        && store.write(QStringLiteral("VolumeEgal"), SettingsStore::fromBoolean(form.settings.equalLoudness))
        && store.write(QStringLiteral("CouperSilence"), SettingsStore::fromBoolean(form.settings.cutLeadingSilence));
}
