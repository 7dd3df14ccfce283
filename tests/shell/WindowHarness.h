#pragma once

#include "frmPrincipal.h"

#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <memory>

class QTreeWidget;
class QListWidget;
class QComboBox;

// Answers the modal boxes that the window shows, and remembers what they said.
class ModalAnswerer : public QObject
{
    Q_OBJECT

public:
    struct Seen
    {
        QString text;
        QString title;
        QMessageBox::Icon icon;
    };

    ModalAnswerer();
    QList<Seen> seen;
    // Buttons to press, in order; when empty, OK (or No for a question).
    QList<QMessageBox::StandardButton> answers;
    // Called while a box is open, before it is answered.
    std::function<void(QMessageBox &)> onBox;

    QStringList texts() const;

private:
    void poll();
    QTimer m_timer;
};

// Builds the real main window for a test, with its own program folder and settings name.
struct WindowHarness
{
    // jobs: encodings at once in a batch, 0 for one per processor core.
    static std::unique_ptr<frmPrincipal> make(std::unique_ptr<CdReader> reader,
                                              const QString &programFolder,
                                              const QString &applicationName, int jobs = 0);
    static QTreeWidget *tracks(frmPrincipal &w);
    static QListWidget *files(frmPrincipal &w);
    static QComboBox *drives(frmPrincipal &w);
    static QStringList trackTexts(frmPrincipal &w);
    static QStringList fileNames(frmPrincipal &w);
};
