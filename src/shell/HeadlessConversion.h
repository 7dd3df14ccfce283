#pragma once

#include "CdReader.h"
#include "CommandLine.h"
#include "FormFields.h"

#include <QString>
#include <cstdio>

// Runs --convert: opens the first image (else the saved drive), lists its tracks, converts
// the chosen ones with the saved settings. Returns the exit status: 0 only when every
// chosen track produced its file.
int runHeadlessConversion(const CommandLine &line, CdReader &reader, const QString &programFolder,
                          const QString &applicationName, FormFields &form,
                          std::FILE *out = stdout, std::FILE *err = stderr);
