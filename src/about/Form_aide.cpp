#include "Form_aide.h"

#include "DialogLook.h"
#include "Resources.h"
#include "ui_Form_aide.h"

#include <QShowEvent>

Form_aide::Form_aide(QWidget *parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::Form_aide>())
{
    sonalburyInitResources();
    m_ui->setupUi(this);
    DialogLook::setFixedDialogFrame(*this, QSize(418, 336));
    setWindowIcon(sonalburyIcon());
    setModal(true);

    QPalette look = palette();
    look.setColor(QPalette::Window, Qt::white);
    look.setColor(QPalette::WindowText, Qt::black);
    setPalette(look);
    setAutoFillBackground(true);
    setFont(DialogLook::msSansSerif(9.75));
}

Form_aide::~Form_aide() = default;

void Form_aide::showEvent(QShowEvent *event)
{
    // Each opening is a fresh load, even when the same object is shown again.
    if (!event->spontaneous())
        Form_Load();
    QDialog::showEvent(event);
}

void Form_aide::Form_Load()
{
    DialogLook::keepOutOfTaskbar(*this);
    DialogLook::centreOnScreen(*this);
}
