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

namespace {

void centreByOuterSize(QWidget &window, const QMargins &frame)
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->geometry();
    const QSize outer = window.size().grownBy(frame);
    window.move(area.x() + static_cast<int>((area.width() - outer.width()) / 2.0),
                area.y() + static_cast<int>((area.height() - outer.height()) / 2.0));
}

bool frameKnown(const QWidget &window)
{
    const QWindow *handle = window.windowHandle();
    return window.isVisible() && handle && !handle->frameMargins().isNull();
}

// Centres its window once more as soon as the window manager has framed it, then goes.
class CentreOnceFramed : public QObject
{
public:
    static inline const QString Name = QStringLiteral("centreOnceFramed");

    explicit CentreOnceFramed(QWidget &window) : QObject(&window), m_window(window)
    {
        setObjectName(Name);
        window.installEventFilter(this);
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        const QEvent::Type type = event->type();
        if (watched == &m_window
            && (type == QEvent::Show || type == QEvent::Move || type == QEvent::Resize)
            && frameKnown(m_window)) {
            m_window.removeEventFilter(this);
            centreByOuterSize(m_window, m_window.windowHandle()->frameMargins());
            deleteLater();
        }
        return false;
    }

private:
    QWidget &m_window;
};

} // namespace

void centreOnScreen(QWidget &window)
{
    centreByOuterSize(window, frameMargins(window));
    if (frameKnown(window))
        return;
    // The frame was only estimated: a window not yet framed has none.
    for (QObject *pending : window.findChildren<QObject *>(CentreOnceFramed::Name, Qt::FindDirectChildrenOnly))
        delete pending;
    new CentreOnceFramed(window);
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
