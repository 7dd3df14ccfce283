#include "WindowHarness.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QListWidget>
#include <QTreeWidget>

ModalAnswerer::ModalAnswerer()
{
    connect(&m_timer, &QTimer::timeout, this, &ModalAnswerer::poll);
    m_timer.start(10);
}

QStringList ModalAnswerer::texts() const
{
    QStringList list;
    for (const Seen &s : seen)
        list << s.text;
    return list;
}

void ModalAnswerer::poll()
{
    auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    if (!box || box->property("answered").toBool())
        return;
    box->setProperty("answered", true);
    seen.append({box->text(), box->windowTitle(), box->icon()});
    if (onBox)
        onBox(*box);
    QMessageBox::StandardButton button = QMessageBox::Ok;
    if (!answers.isEmpty())
        button = answers.takeFirst();
    else if (box->button(QMessageBox::No))
        button = QMessageBox::No;
    if (QAbstractButton *b = box->button(button))
        b->click();
    else
        box->done(QMessageBox::Ok);
}

std::unique_ptr<frmPrincipal> WindowHarness::make(std::unique_ptr<CdReader> reader,
                                                  const QString &programFolder,
                                                  const QString &applicationName, int jobs)
{
    return std::make_unique<frmPrincipal>(
        std::move(reader), frmPrincipal::Options{programFolder, applicationName, jobs});
}

QTreeWidget *WindowHarness::tracks(frmPrincipal &w)
{
    return w.findChild<QTreeWidget *>(QStringLiteral("lstPistes"));
}

QListWidget *WindowHarness::files(frmPrincipal &w)
{
    return w.findChild<QListWidget *>(QStringLiteral("File1"));
}

QComboBox *WindowHarness::drives(frmPrincipal &w)
{
    return w.findChild<QComboBox *>(QStringLiteral("cboLecteurs"));
}

QStringList WindowHarness::trackTexts(frmPrincipal &w)
{
    QStringList list;
    QTreeWidget *t = tracks(w);
    for (int i = 0; i < t->topLevelItemCount(); ++i)
        list << t->topLevelItem(i)->text(0) + QLatin1Char('|') + t->topLevelItem(i)->text(1)
                    + (t->topLevelItem(i)->checkState(0) == Qt::Checked ? QStringLiteral("|x")
                                                                          : QString());
    return list;
}

QStringList WindowHarness::fileNames(frmPrincipal &w)
{
    QStringList list;
    QListWidget *f = files(w);
    for (int i = 0; i < f->count(); ++i)
        list << f->item(i)->text();
    return list;
}
