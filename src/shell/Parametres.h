#pragma once

#include "FormFields.h"
#include "SettingsStore.h"

#include <QStringList>

// The eight settings kept between runs, in the order both procedures handle them, then
// the CDDB e-mail address "Courriel", stored only when there is one, then the two choices
// of the menu "Options", "VolumeEgal" and "CouperSilence" (Booleans, as "HauteQualite").
namespace Parametres {
inline const QString DefaultServeur = QStringLiteral("gnudb.gnudb.org");
inline const QString DefaultCgi = QStringLiteral("/~cddb/cddb.cgi");
} // namespace Parametres

// Reads the settings into the fields. A stored text that does not convert gives the key's
// default (it is rewritten at the next shut-down); the keys concerned are returned.
QStringList ChargerParametres(FormFields &form, const SettingsStore &store);

// Writes the fields back. False when the store could not be written.
bool SauverParametres(const FormFields &form, SettingsStore &store);
