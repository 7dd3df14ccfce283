#include "ProgramSetup.h"

#include <QApplication>
#include <QFont>
#include <QtGlobal>

void ProgramSetup::beforeApplication()
{
#ifdef Q_OS_LINUX
    // Qt's ffmpeg back end crashes where there is no audio device; GStreamer falls back to
    // a silent sink.
    if (qEnvironmentVariableIsEmpty("QT_MEDIA_BACKEND"))
        qputenv("QT_MEDIA_BACKEND", "gstreamer");
#endif
}

void ProgramSetup::applyFonts()
{
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                               {QStringLiteral("Liberation Sans"), QStringLiteral("Arial"),
                                QStringLiteral("DejaVu Sans")});
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPointSizeF(8.25);
    QApplication::setFont(font);
}
