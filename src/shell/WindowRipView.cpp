#include "WindowRipView.h"

#include "PrgBar.h"
#include "frmPrincipal.h"
#include "ui_frmPrincipal.h"

#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QThread>
#include <QTreeWidget>

WindowRipView::WindowRipView(frmPrincipal &window)
    : m_window(window)
{
}

bool WindowRipView::closing() const
{
    return m_window.m_form.closing.load();
}

void WindowRipView::onUiThread(std::function<void()> f, bool wait) const
{
    if (QThread::currentThread() == m_window.thread()) {
        f();
        return;
    }
    QMetaObject::invokeMethod(&m_window, std::move(f),
                              wait ? Qt::BlockingQueuedConnection : Qt::QueuedConnection);
}

void WindowRipView::setProgressMax(std::int32_t max)
{
    onUiThread([this, max] { m_window.m_ui->prgb->setMax(max); }, false);
}

void WindowRipView::setProgressValue(std::int32_t value)
{
    m_value = value;
    onUiThread([this, value] { m_window.m_ui->prgb->setValue(value); }, false);
}

std::int32_t WindowRipView::progressValue() const
{
    return m_value.load();
}

void WindowRipView::setStatusText(const QString &text)
{
    onUiThread([this, text] { m_window.m_panel1->setText(text); }, false);
}

void WindowRipView::showMessage(const QString &text, MessageIcon icon, const QString &title)
{
    // Once the window is closing nobody is there to answer.
    if (closing())
        return;
    onUiThread(
        [this, text, icon, title] {
            if (closing())
                return;
            QMessageBox::Icon boxIcon = QMessageBox::NoIcon;
            switch (icon) {
            case MessageIcon::None:
                break;
            case MessageIcon::Critical:
                boxIcon = QMessageBox::Critical;
                break;
            case MessageIcon::Exclamation:
                boxIcon = QMessageBox::Warning;
                break;
            case MessageIcon::Information:
                boxIcon = QMessageBox::Information;
                break;
            }
            QMessageBox box(boxIcon, title, text, QMessageBox::Ok, &m_window);
            box.setWindowModality(Qt::ApplicationModal);
            m_openBox = &box;
            box.exec();
            m_openBox = nullptr;
        },
        true);
}

void WindowRipView::yieldToUi()
{
    // On the worker thread the interface runs on its own; on the interface thread (a
    // synchronous caller) let it breathe.
    if (QThread::currentThread() == m_window.thread())
        QCoreApplication::processEvents();
}

void WindowRipView::dismissOpenMessage()
{
    if (m_openBox)
        m_openBox->done(QMessageBox::Ok);
}

std::int32_t WindowRipView::trackCount()
{
    std::int32_t count = 0;
    if (closing())
        return 0;
    onUiThread([this, &count] { count = m_window.m_ui->lstPistes->topLevelItemCount(); }, true);
    return count;
}

bool WindowRipView::trackChecked(std::int32_t position)
{
    bool checked = false;
    if (closing())
        return false;
    onUiThread(
        [this, position, &checked] {
            const QTreeWidgetItem *item = m_window.m_ui->lstPistes->topLevelItem(position - 1);
            checked = item && item->checkState(0) == Qt::Checked;
        },
        true);
    return checked;
}

QString WindowRipView::trackText(std::int32_t position)
{
    QString text;
    if (closing())
        return text;
    onUiThread(
        [this, position, &text] {
            if (const QTreeWidgetItem *item = m_window.m_ui->lstPistes->topLevelItem(position - 1))
                text = item->text(0);
        },
        true);
    return text;
}

QString WindowRipView::albumText()
{
    QString text;
    onUiThread([this, &text] { text = m_window.m_ui->txtAlbum->text(); }, true);
    return text;
}

QString WindowRipView::artistText()
{
    QString text;
    onUiThread([this, &text] { text = m_window.m_ui->txtArtiste->text(); }, true);
    return text;
}

QString WindowRipView::trackArtist(std::int32_t position)
{
    QString text;
    onUiThread(
        [this, position, &text] {
            if (const QTreeWidgetItem *item = m_window.m_ui->lstPistes->topLevelItem(position - 1))
                text = item->data(0, frmPrincipal::TrackArtistRole).toString();
            if (text.isEmpty())
                text = m_window.m_ui->txtArtiste->text();
        },
        true);
    return text;
}

void WindowRipView::refreshFileList()
{
    if (closing())
        return;
    onUiThread([this] { m_window.RafraichirListe(); }, true);
}
