#pragma once

#include <QDialog>
#include <QString>
#include <memory>

namespace Ui {
class Form_apropos;
}

// The About window: product, version, rights notice and a link that starts the user's web
// browser on the maker's site. Shown modally, centred at every opening; the browser is looked
// up again at every opening.
class Form_apropos : public QDialog
{
    Q_OBJECT

public:
    explicit Form_apropos(QWidget *parent = nullptr);
    ~Form_apropos() override;

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void Form_Load();
    void Label4_Click();

    std::unique_ptr<Ui::Form_apropos> m_ui;
    QString LsNavigateur;
};
