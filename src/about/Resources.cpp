#include "Resources.h"

#include <QString>

// Q_INIT_RESOURCE must run outside any namespace.
void sonalburyInitResources()
{
    Q_INIT_RESOURCE(resources);
}

QIcon sonalburyIcon()
{
    sonalburyInitResources();
    QIcon icon;
    for (const int size : {16, 32, 48})
        icon.addFile(QStringLiteral(":/icons/sonalbury-%1.png").arg(size), QSize(size, size));
    icon.addFile(QStringLiteral(":/icons/sonalbury.png"), QSize(256, 256));
    return icon;
}
