#include "Form_apropos.h"

#include "DialogLook.h"
#include "Module1.h"
#include "Resources.h"
#include "ui_Form_apropos.h"

#include <QMessageBox>
#include <QMouseEvent>
#include <QShowEvent>

namespace {

const QString NoBrowserTitle = QStringLiteral("Erreur!");
const QString NoBrowserText = QStringLiteral(
    "Le navigateur ne peut pas être trouvé. Veuillez le lancer depuis le menu Démarrer!");

} // namespace

Form_apropos::Form_apropos(QWidget *parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::Form_apropos>())
{
    sonalburyInitResources();
    m_ui->setupUi(this);
    DialogLook::setFixedDialogFrame(*this, QSize(281, 177));
    setWindowIcon(sonalburyIcon());
    setModal(true);

    // The system's window colours: the background of documents and lists, and its text.
    QPalette look = palette();
    look.setColor(QPalette::Window, look.color(QPalette::Base));
    look.setColor(QPalette::WindowText, look.color(QPalette::Text));
    setPalette(look);
    setAutoFillBackground(true);
    setFont(DialogLook::msSansSerif(8.25));

    QPalette link = m_ui->Label4->palette();
    link.setColor(QPalette::WindowText, QColor(0, 0, 255));
    m_ui->Label4->setPalette(link);
    m_ui->Label4->installEventFilter(this);
}

Form_apropos::~Form_apropos() = default;

void Form_apropos::showEvent(QShowEvent *event)
{
    // Each opening is a fresh load, even when the same object is shown again.
    if (!event->spontaneous())
        Form_Load();
    QDialog::showEvent(event);
}

bool Form_apropos::eventFilter(QObject *watched, QEvent *event)
{
    // A click: the left button released over the link it was pressed on.
    if (watched == m_ui->Label4 && event->type() == QEvent::MouseButtonRelease) {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() == Qt::LeftButton
            && m_ui->Label4->rect().contains(mouse->position().toPoint())) {
            Label4_Click();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void Form_apropos::Form_Load()
{
    DialogLook::keepOutOfTaskbar(*this);
    DialogLook::centreOnScreen(*this);
    LsNavigateur = TrouverNavigateur();
}

void Form_apropos::Label4_Click()
{
    if (LsNavigateur.isEmpty()) {
        QMessageBox box(QMessageBox::Warning, NoBrowserTitle, NoBrowserText, QMessageBox::Ok, this);
        box.exec();
        return;
    }
    // The address is the link's own text. A browser that fails to start is not reported.
    LancerNavigateur(LsNavigateur, m_ui->Label4->text());
}
