// The title chooser offscreen: what it shows of each candidate, what it hands back.

#include "TestEnvironment.h"
#include "TitleChooser.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

using titles::TitleCandidate;

namespace {

QList<TitleCandidate> sampleCandidates()
{
    TitleCandidate remembered;
    remembered.source = TitleCandidate::Source::Remembered;
    remembered.savedAt = QDateTime(QDate(2026, 12, 1), QTime(20, 15));
    remembered.artist = QStringLiteral("Marc Aubry & Inès Caron");
    remembered.album = QStringLiteral("Saisons");
    remembered.year = QStringLiteral("2003");
    remembered.tracks = {{QStringLiteral("Printemps"), {}}, {QStringLiteral("Été"), {}}, {QStringLiteral("Automne"), {}}};

    TitleCandidate compilation;
    compilation.source = TitleCandidate::Source::Cddb;
    compilation.inexact = true;
    compilation.artist = QStringLiteral("Various");
    compilation.album = QStringLiteral("Les Années radio");
    compilation.tracks = {{QStringLiteral("Chanson douce"), QStringLiteral("Lucie Martin")},
                          {QStringLiteral("La Route"), QStringLiteral("Les Amis")},
                          {QStringLiteral("L’Hiver"), QStringLiteral("Paul Girard")}};
    return {remembered, compilation};
}

QStringList column(const QTreeWidget *tree, int c)
{
    QStringList out;
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        out << tree->topLevelItem(i)->text(c);
    return out;
}

} // namespace

class TestTitleChooser : public QObject
{
    Q_OBJECT

private slots:
    void showsCandidatesAndHandsBackTheChosenOne()
    {
        TitleChooser chooser(sampleCandidates(), {QStringLiteral("MusicBrainz : le serveur ne répond pas.")},
                             QStringLiteral("ines@example.org"));
        chooser.show();
        auto *list = chooser.findChild<QTreeWidget *>(QStringLiteral("lstCandidats"));
        auto *preview = chooser.findChild<QTreeWidget *>(QStringLiteral("lstApercu"));
        auto *failures = chooser.findChild<QLabel *>(QStringLiteral("lblEchecs"));
        QVERIFY(list && preview && failures);
        QVERIFY(chooser.isModal());
        QCOMPARE(column(list, 0), (QStringList{"Marc Aubry & Inès Caron — Saisons (2003)", "Various — Les Années radio"}));
        QCOMPARE(column(list, 1), (QStringList{"Titres enregistrés (01/12/2026)", "CDDB approché"}));
        QCOMPARE(column(preview, 1), (QStringList{"Printemps", "Été", "Automne"}));
        QVERIFY(preview->isColumnHidden(2));
        QCOMPARE(failures->text(), QStringLiteral("MusicBrainz : le serveur ne répond pas."));
        QCOMPARE(chooser.applyButton()->text(), QStringLiteral("Appliquer"));
        QCOMPARE(chooser.cancelButton()->text(), QStringLiteral("Annuler"));
        QVERIFY(chooser.applyButton()->isDefault());

        list->setCurrentItem(list->topLevelItem(1));
        QCOMPARE(column(preview, 1), (QStringList{"Chanson douce", "La Route", "L’Hiver"}));
        QVERIFY(!preview->isColumnHidden(2));
        QCOMPARE(column(preview, 2), (QStringList{"Lucie Martin", "Les Amis", "Paul Girard"}));

        if (const QString folder = qEnvironmentVariable("SONALBURY_SCREENSHOTS"); !folder.isEmpty())
            QVERIFY(chooser.grab().save(folder + "/title-chooser.png"));

        // Enter applies (the default button); the chosen candidate and the address come back.
        QTest::keyClick(list, Qt::Key_Return);
        QCOMPARE(chooser.result(), int(TitleChooser::Applied));
        QCOMPARE(chooser.selectedCandidate()->album, QStringLiteral("Les Années radio"));
        QCOMPARE(chooser.email(), QStringLiteral("ines@example.org"));
    }

    void nothingFoundCannotApply()
    {
        TitleChooser chooser({}, {QStringLiteral("CDDB : ce disque n'est pas connu.")}, QString());
        auto *failures = chooser.findChild<QLabel *>(QStringLiteral("lblEchecs"));
        QCOMPARE(failures->text(),
                 QStringLiteral("Aucun titre n'a été trouvé pour ce disque.\nCDDB : ce disque n'est pas connu."));
        QVERIFY(!chooser.applyButton()->isEnabled());
        QVERIFY(!chooser.selectedCandidate());

        // The user types an address and asks again.
        chooser.findChild<QLineEdit *>(QStringLiteral("txtCourriel"))->setText(QStringLiteral(" a@b.fr "));
        QTimer::singleShot(0, &chooser, [&] {
            QTest::mouseClick(chooser.findChild<QPushButton *>(QStringLiteral("cmdRelancer")), Qt::LeftButton);
        });
        QCOMPARE(chooser.exec(), int(TitleChooser::SearchAgain));
        QCOMPARE(chooser.email(), QStringLiteral("a@b.fr"));
        chooser.setResults(sampleCandidates(), {});
        QVERIFY(chooser.applyButton()->isEnabled());
        QCOMPARE(chooser.selectedIndex(), 0);
    }

    // The remembered candidate offers to forget it: at once, without a question, and it
    // leaves the list; a failure to forget is told and the candidate stays.
    void rememberedTitlesCanBeForgotten()
    {
        TitleChooser chooser(sampleCandidates(), {}, QString());
        chooser.show();
        QVERIFY(!chooser.forgetButton()->isVisible()); // nothing to forget them with yet
        int forgotten = 0;
        QString failure = QStringLiteral("Les titres enregistrés de ce disque n'ont pas pu être oubliés : accès refusé");
        chooser.setForgetRemembered([&] {
            ++forgotten;
            return failure;
        });
        QVERIFY(chooser.forgetButton()->isVisible());
        QCOMPARE(chooser.forgetButton()->text(), QStringLiteral("Oublier ces titres"));
        QVERIFY(!chooser.forgetButton()->isDefault());

        QTimer::singleShot(0, &chooser, [] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()))
                box->accept();
        });
        QTest::mouseClick(chooser.forgetButton(), Qt::LeftButton);
        QCOMPARE(forgotten, 1);
        QCOMPARE(chooser.selectedCandidate()->source, TitleCandidate::Source::Remembered);

        failure.clear();
        QTest::mouseClick(chooser.forgetButton(), Qt::LeftButton);
        QCOMPARE(forgotten, 2);
        auto *list = chooser.findChild<QTreeWidget *>(QStringLiteral("lstCandidats"));
        QCOMPARE(column(list, 1), QStringList{"CDDB approché"});
        QCOMPARE(chooser.selectedCandidate()->source, TitleCandidate::Source::Cddb);
        // Only remembered titles can be forgotten.
        QVERIFY(!chooser.forgetButton()->isVisible());
        QVERIFY(chooser.isVisible());
    }
};

SONALBURY_TEST_MAIN(TestTitleChooser)
#include "tst_titlechooser.moc"
