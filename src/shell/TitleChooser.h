#pragma once

#include "TitleCandidate.h"

#include <QDialog>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

class QPushButton;

namespace Ui {
class TitleChooser;
}

// The chooser of "Rechercher les titres...": one row per candidate with its source, the
// selected candidate's tracks beside it, the sources that failed, the e-mail address that
// CDDB asks for. Nothing is applied here: the caller applies what selectedCandidate()
// gives once exec() returns Applied.
class TitleChooser : public QDialog
{
    Q_OBJECT

public:
    enum Outcome
    {
        Cancelled = QDialog::Rejected,
        Applied = QDialog::Accepted,
        SearchAgain = 2, // the user changed the address and asks again
    };

    TitleChooser(const QList<titles::TitleCandidate> &candidates, const QStringList &failures,
                 const QString &email, QWidget *parent = nullptr);
    ~TitleChooser() override;

    // New results after a search again; the first candidate is selected.
    void setResults(const QList<titles::TitleCandidate> &candidates, const QStringList &failures);
    std::optional<titles::TitleCandidate> selectedCandidate() const;
    int selectedIndex() const;
    QString email() const;

    // How to forget the disc's remembered titles: returns an empty text, or why they could
    // not be forgotten. With it, the remembered candidate offers "Oublier ces titres",
    // which forgets them at once and takes them off the list.
    void setForgetRemembered(std::function<QString()> forget);

    QPushButton *applyButton() const { return m_apply; }
    QPushButton *cancelButton() const { return m_cancel; }
    QPushButton *forgetButton() const { return m_forget; }

private:
    void showCandidates();
    void showPreview();
    void forgetSelected();

    std::unique_ptr<Ui::TitleChooser> m_ui;
    QList<titles::TitleCandidate> m_candidates;
    QStringList m_failures;
    std::function<QString()> m_forgetRemembered;
    QPushButton *m_apply = nullptr;
    QPushButton *m_cancel = nullptr;
    QPushButton *m_forget = nullptr;
};
