#include "WindowRipView.h"

#include "ConvertTexts.h"
#include "PrgBar.h"
#include "frmPrincipal.h"
#include "ui_frmPrincipal.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>

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
    onUiThread([this, text] { m_window.showStatus(text); }, false);
}

void WindowRipView::showBatch(const std::vector<BatchRunner::TrackLine> &reached,
                              std::int32_t nextPosition)
{
    if (closing())
        return;
    {
        const std::lock_guard lock(m_batchMutex);
        m_reached = reached;
        m_nextPosition = nextPosition;
        if (m_batchQueued)
            return;
        m_batchQueued = true;
    }
    onUiThread(
        [this] {
            std::vector<BatchRunner::TrackLine> latest;
            std::int32_t next = 1;
            {
                const std::lock_guard lock(m_batchMutex);
                latest.swap(m_reached);
                next = m_nextPosition;
                m_batchQueued = false;
            }
            m_window.showBatchProgress(latest, next);
        },
        false);
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

RipView::ReplaceAnswer WindowRipView::askReplace(const QString &question)
{
    ReplaceAnswer answer;
    if (closing())
        return answer;
    onUiThread(
        [this, question, &answer] {
            if (closing())
                return;
            // Keeping is the default: Enter or Escape must never lose a file.
            QMessageBox box(QMessageBox::Question, programTitle(), question, QMessageBox::NoButton, &m_window);
            QPushButton *replace = box.addButton(ConvertTexts::replaceButton(), QMessageBox::AcceptRole);
            QPushButton *keep = box.addButton(ConvertTexts::keepButton(), QMessageBox::RejectRole);
            box.setDefaultButton(keep);
            box.setEscapeButton(keep);
            auto *forTheRest = new QCheckBox(ConvertTexts::sameForTheRest(), &box);
            box.setCheckBox(forTheRest);
            box.setWindowModality(Qt::ApplicationModal);
            m_openBox = &box;
            box.exec();
            m_openBox = nullptr;
            answer.replace = box.clickedButton() == replace && !closing();
            answer.forTheRest = forTheRest->isChecked();
        },
        true);
    return answer;
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

void WindowRipView::refreshFileList()
{
    if (closing())
        return;
    onUiThread([this] { m_window.RafraichirListe(); }, true);
}
