#include "NoDiscReader.h"

DriveInfo NoDiscReader::GetDriveInfo(std::int32_t)
{
    return DriveInfo{QStringLiteral("Lecteur"), QStringLiteral("vide"), QString(), QString()};
}
