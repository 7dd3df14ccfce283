#pragma once

#include <QByteArray>
#include <QString>

#include <cdio/cdio.h>

#include <memory>

// The owner of a libcdio handle: the reader's drives and images, and the title lookup's
// reads of an image's table of contents and CD-Text.
struct CdioCloser
{
    void operator()(CdIo_t *cdio) const noexcept { cdio_destroy(cdio); }
};
using CdioPtr = std::unique_ptr<CdIo_t, CdioCloser>;

// A file name as libcdio takes it: bytes in the local encoding on POSIX, UTF-8 on Windows.
QByteArray cdioPath(const QString &path);
// A name libcdio gives back (a device, an image's data file), decoded the same way.
QString fromCdioPath(const char *name);

// Opens path (a device or an image file) with driver; null when libcdio cannot.
CdioPtr openCdio(const QString &path, driver_id_t driver = DRIVER_UNKNOWN);
