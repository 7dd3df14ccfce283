#pragma once

#include "TitleCandidate.h"
#include "TitleLookup.h"

#include <QDialog>
#include <QPointer>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

class QPushButton;
class SettingsStore;

namespace Ui {
class TitleChooser;
}

// The chooser of "Rechercher les titres...": one row per candidate with its source, the
// selected candidate's tracks beside it, one line per source that failed or is still
// awaited, the e-mail address that CDDB asks for. It opens at once and fills as the
// lookup it follows answers, so a remembered or CD-Text answer can be applied before
// the network has said anything. Nothing is applied here: the caller applies what
// selectedCandidate() gives once exec() returns Applied.
class TitleChooser : public QDialog
{
    Q_OBJECT

public:
    enum Outcome
    {
        Cancelled = QDialog::Rejected,
        Applied = QDialog::Accepted,
    };

    TitleChooser(const QList<titles::TitleCandidate> &candidates, const QStringList &statusLines,
                 const QString &email, QWidget *parent = nullptr);
    ~TitleChooser() override;

    // Starts lookup with request and shows its answers as they come; "Rechercher à
    // nouveau" starts it again with the address typed; closing the chooser cancels
    // what is still awaited.
    void follow(titles::TitleLookup &lookup, const titles::TitleLookupRequest &request);

    // Shows these results; the candidate selected stays selected when it is among them,
    // else the first one is.
    void setResults(const QList<titles::TitleCandidate> &candidates, const QStringList &statusLines);
    std::optional<titles::TitleCandidate> selectedCandidate() const;
    int selectedIndex() const;
    QString email() const;
    // Sources are still awaited.
    bool searching() const { return m_lookup && m_lookup->isRunning(); }

    // Opens at the size kept in store, and keeps its size there when it closes.
    void keepSizeIn(SettingsStore &store);
    static QString sizeKey() { return QStringLiteral("TailleChoixTitres"); }

    // How to forget the disc's remembered titles: returns an empty text, or why they could
    // not be forgotten. With it, the remembered candidate offers "Oublier ces titres",
    // which forgets them at once and takes them off the list.
    void setForgetRemembered(std::function<QString()> forget);

    QPushButton *applyButton() const { return m_apply; }
    QPushButton *cancelButton() const { return m_cancel; }
    QPushButton *forgetButton() const { return m_forget; }

    void done(int result) override;

protected:
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void fitSplitter();
    void showLookup();
    void showCandidates();
    void showPreview();
    void forgetSelected();
    void searchAgain();

    std::unique_ptr<Ui::TitleChooser> m_ui;
    QList<titles::TitleCandidate> m_candidates;
    QStringList m_statusLines;
    std::function<QString()> m_forgetRemembered;
    QPointer<titles::TitleLookup> m_lookup;
    titles::TitleLookupRequest m_request;
    bool m_rememberedForgotten = false; // the lookup still holds them, the user does not
    SettingsStore *m_sizeStore = nullptr;
    bool m_splitterMoved = false;
    QPushButton *m_apply = nullptr;
    QPushButton *m_cancel = nullptr;
    QPushButton *m_forget = nullptr;
};
