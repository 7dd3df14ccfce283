#include "DialogLook.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QStringList>
#include <QWidget>
#include <QWindow>

namespace DialogLook {

QFont msSansSerif(qreal pointSize)
{
    const QString family = QStringLiteral("MS Sans Serif");
    // The program's start-up may have chosen substitutes already; keep its choice.
    if (QFont::substitutes(family).isEmpty()) {
        QFont::insertSubstitutions(family, {QStringLiteral("Microsoft Sans Serif"),
                                            QStringLiteral("Liberation Sans"),
                                            QStringLiteral("Arial"), QStringLiteral("DejaVu Sans")});
    }
    QFont font(family);
    font.setPointSizeF(pointSize);
    font.setBold(false);
    font.setItalic(false);
    font.setUnderline(false);
    return font;
}

void setFixedDialogFrame(QWidget &dialog, QSize clientSize)
{
    dialog.setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint
                          | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                          | Qt::WindowCloseButtonHint);
    dialog.setFixedSize(clientSize);
}

namespace {

// Frame margins are known only once the window manager has framed the window; before that,
// those of the main window are the best estimate (same decoration, same theme).
QMargins frameMargins(const QWidget &window)
{
    if (const QWindow *handle = window.windowHandle(); handle && !handle->frameMargins().isNull())
        return handle->frameMargins();
    if (const QWidget *main = QApplication::activeWindow(); main && main != &window) {
        if (const QWindow *handle = main->windowHandle())
            return handle->frameMargins();
    }
    return {};
}

} // namespace

void centreOnScreen(QWidget &window)
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->geometry();
    const QSize outer = window.size().grownBy(frameMargins(window));
    window.move(area.x() + static_cast<int>((area.width() - outer.width()) / 2.0),
                area.y() + static_cast<int>((area.height() - outer.height()) / 2.0));
}

void keepOutOfTaskbar(QWidget &dialog)
{
    QWindow *handle = dialog.windowHandle();
    if (!handle || handle->transientParent())
        return;
    const QWidget *main = QApplication::activeWindow();
    if (main && main != &dialog && main->windowHandle())
        handle->setTransientParent(main->windowHandle());
}

} // namespace DialogLook
