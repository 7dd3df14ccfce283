#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class Form_aide;
}

// The Help window: what the program is for and how to use it. Shown modally, centred at every
// opening; nothing survives from one opening to the next.
class Form_aide : public QDialog
{
    Q_OBJECT

public:
    explicit Form_aide(QWidget *parent = nullptr);
    ~Form_aide() override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void Form_Load();

    std::unique_ptr<Ui::Form_aide> m_ui;
};
