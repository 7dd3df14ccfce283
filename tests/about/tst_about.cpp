#include "Form_aide.h"
#include "Form_apropos.h"
#include "Module1.h"
#include "Pictures.h"
#include "Resources.h"
#include "TestEnvironment.h"
#include "UnderWine.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFontMetrics>
#include <QFrame>
#include <QIcon>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QSignalSpy>
#include <QTimer>
#include <QWindow>
#include <QtTest>
#include <functional>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QString Address = u"https://www.sonalbury.example"_s;

struct SeenBox
{
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
};

// Answers every message box that becomes the active modal window, as a user pressing OK,
// and remembers what it showed.
class BoxAnswerer : public QObject
{
public:
    BoxAnswerer()
    {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box || !box->isVisible())
                return;
            seen.push_back({box->windowTitle(), box->text(), box->icon(), box->standardButtons()});
            box->button(QMessageBox::Ok) ? box->button(QMessageBox::Ok)->click() : box->reject();
        });
        m_timer.start(10);
    }
    std::vector<SeenBox> seen;

private:
    QTimer m_timer;
};

// Runs check while the dialog is shown by exec(), then closes it.
void whileModal(QDialog &dialog, const std::function<void()> &check)
{
    QTimer::singleShot(0, &dialog, [&dialog, check] {
        if (QTest::qWaitFor([&dialog] { return QApplication::activeModalWidget() == &dialog; }))
            check();
        dialog.reject();
    });
    dialog.exec();
}

std::unique_ptr<QDialog> makeDialog(bool about)
{
    if (about)
        return std::make_unique<Form_apropos>();
    return std::make_unique<Form_aide>();
}

QPoint centredPosition(const QWidget &window)
{
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const QSize outer = window.frameGeometry().size();
    return {screen.x() + static_cast<int>((screen.width() - outer.width()) / 2.0),
            screen.y() + static_cast<int>((screen.height() - outer.height()) / 2.0)};
}

void writeFile(const QString &path, const QByteArray &content, QFileDevice::Permissions extra = {})
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
    file.close();
    file.setPermissions(file.permissions() | extra);
}

QByteArray waitForContent(const QString &path, int lines)
{
    QByteArray content;
    (void)QTest::qWaitFor([&] {
        QFile file(path);
        // A Windows batch file ends its lines with CR LF.
        content = file.open(QIODevice::ReadOnly) ? file.readAll().replace('\r', "") : QByteArray();
        return content.count('\n') >= lines;
    }, 10000);
    return content;
}

} // namespace

class TestAbout : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void pictures_data();
    void pictures();
    void programIconKeepsEachDrawnSize();

    void helpLabels_data();
    void helpLabels();

    void aboutLabels_data();
    void aboutLabels();
    void windowFrame_data();
    void windowFrame();
    void aboutLook();

    void centredAtEveryOpening_data();
    void centredAtEveryOpening();
    void modalOverTheMainWindow_data();
    void modalOverTheMainWindow();

    void stripQuotes_data();
    void stripQuotes();
    void browserOnPath_data();
    void browserOnPath();
    void linkWithoutBrowserWarnsAtEachClick();
    void linkStartsBrowserAtEachClick();
    void browserLookedUpAtEachOpening();

private:
    // The browser the program finds is a stand-in that appends its arguments, one per line
    // after their count, to the returned file: on Windows the command registered under
    // HKEY_CLASSES_ROOT\HTTP\Shell\Open\command, elsewhere xdg-open alone on the PATH.
    QString useRecordingBrowser();
    // No browser to find: no registered command, or a PATH without xdg-open.
    void useEmptyPath();
#ifdef Q_OS_WIN
    static void registerBrowser(const QString &command);
#endif

    QByteArray m_path;
    int m_folders = 0;
};

void TestAbout::initTestCase()
{
    m_path = qgetenv("PATH");
}

#ifdef Q_OS_WIN
// An empty command removes the registration.
void TestAbout::registerBrowser(const QString &command)
{
    QSettings key(u"HKEY_CLASSES_ROOT\\HTTP\\Shell\\Open\\command"_s, QSettings::NativeFormat);
    if (command.isEmpty())
        key.remove(u"Default"_s);
    else
        key.setValue(u"Default"_s, command);
    key.sync();
    QCOMPARE(key.status(), QSettings::NoError);
}
#endif

void TestAbout::cleanup()
{
    qputenv("PATH", m_path);
    // No window or message box left open by a test.
    const QWidgetList windows = QApplication::topLevelWidgets();
    QVERIFY(std::none_of(windows.cbegin(), windows.cend(),
                         [](const QWidget *window) { return window->isVisible(); }));
}

QString TestAbout::useRecordingBrowser()
{
    const QString folder = QDir::home().filePath(u"browser-%1"_s.arg(++m_folders));
    QDir().mkpath(folder);
    const QString record = QDir(folder).filePath(u"record.txt"_s);
#ifdef Q_OS_WIN
    // A batch file, registered as browsers are: quoted path, then the address placeholder.
    const QString browser = QDir::toNativeSeparators(QDir(folder).filePath(u"browser.cmd"_s));
    writeFile(browser, "@echo off\r\nset n=0\r\nfor %%a in (%*) do set /a n+=1\r\n"
                       ">>\"" + QDir::toNativeSeparators(record).toLocal8Bit() + "\" echo %n%\r\n"
                       "for %%a in (%*) do >>\"" + QDir::toNativeSeparators(record).toLocal8Bit()
                           + "\" echo %%~a\r\n");
    registerBrowser(u"\""_s + browser + u"\" \"%1\""_s);
#else
    writeFile(QDir(folder).filePath(u"xdg-open"_s),
              "#!/bin/sh\nprintf '%s\\n' \"$#\" \"$@\" >> '" + record.toLocal8Bit() + "'\n",
              QFileDevice::ExeOwner);
    qputenv("PATH", QFile::encodeName(folder));
#endif
    return record;
}

void TestAbout::useEmptyPath()
{
#ifdef Q_OS_WIN
    registerBrowser(QString());
#else
    const QString folder = QDir::home().filePath(u"no-browser"_s);
    QDir().mkpath(folder);
    qputenv("PATH", QFile::encodeName(folder));
#endif
}

void TestAbout::pictures_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("size");
    QTest::newRow("icon 16") << u":/icons/sonalbury-16.png"_s << QSize(16, 16);
    QTest::newRow("icon 32") << u":/icons/sonalbury-32.png"_s << QSize(32, 32);
    QTest::newRow("icon 48") << u":/icons/sonalbury-48.png"_s << QSize(48, 48);
    QTest::newRow("icon 256") << u":/icons/sonalbury.png"_s << QSize(256, 256);
    QTest::newRow("track") << u":/icons/piste.png"_s << QSize(16, 16);
    QTest::newRow("about") << u":/pictures/apropos.png"_s << QSize(50, 75);
}

void TestAbout::pictures()
{
    QFETCH(QString, path);
    QFETCH(QSize, size);
    sonalburyInitResources();
    const QImage image(path);
    QVERIFY2(!image.isNull(), qPrintable(path));
    QCOMPARE(image.size(), size);
    // Something is drawn: visible pixels of more than one colour.
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) > 128)
                colours.insert(image.pixel(x, y));
    QVERIFY(colours.size() > 3);
}

void TestAbout::programIconKeepsEachDrawnSize()
{
    const QIcon icon = sonalburyIcon();
    for (const int size : {16, 32, 48, 256}) {
        QVERIFY(icon.availableSizes().contains(QSize(size, size)));
        const QImage drawn(size == 256 ? u":/icons/sonalbury.png"_s
                                       : u":/icons/sonalbury-%1.png"_s.arg(size));
        COMPARE_PICTURES(icon.pixmap(size).toImage(), drawn);
    }
}

void TestAbout::helpLabels_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("text");
    QTest::newRow("début") << u"Label_debut"_s << QRect(8, 8, 407, 41)
        << u"Ce programme permet de convertir les pistes d'un CD Audio en fichiers MP3."_s;
    QTest::newRow("1") << u"Label1"_s << QRect(8, 44, 415, 77)
        << u"Il a été créé pour le logiciel \"Sonalbury Quiz\". De ce fait, les fichiers créés sont "
           "placés dans le dossier \"musiques\" de \"Sonalbury Quiz\" (par défaut : "
           "C:\\Program Files\\sonalbury\\quiz\\musiques\\)"_s;
    QTest::newRow("6") << u"Label6"_s << QRect(8, 108, 369, 33) << u"Pour créer un fichier MP3"_s;
    QTest::newRow("7") << u"Label7"_s << QRect(8, 128, 369, 33) << u"1. Choisissez un lecteur"_s;
    QTest::newRow("2") << u"Label2"_s << QRect(8, 144, 409, 57)
        << u"2. Cochez les pistes à convertir et renommez-les pour que le jeu \"Sonalbury Quiz\" "
           "puisse créer les questions. Pour renommer un titre, cliquez dessus."_s;
    QTest::newRow("3") << u"Label3"_s << QRect(8, 192, 369, 33)
        << u"3. Cliquez sur le bouton, puis attendez."_s;
    QTest::newRow("4") << u"Label4"_s << QRect(8, 220, 401, 73)
        << u"A gauche du programme, vous avez la liste des fichiers présents dans le dossier "
           "\"musique\". Il est possible d'entendre le fichier mp3 en double-cliquant sur son nom. "
           "En cliquant sur \"Supprimer un fichier\", vous envoyez le fichier sélectionné dans la "
           "corbeille."_s;
    // The title lookup came later than the rest: one line below the original help.
    QTest::newRow("astuce") << u"Label_astuce"_s << QRect(8, 292, 401, 41)
        << u"Astuce : le menu Fichier > Rechercher les titres (Ctrl+T) remplit les noms des pistes."_s;
}

void TestAbout::helpLabels()
{
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    QFETCH(QString, text);
    Form_aide help;
    const auto *label = help.findChild<QLabel *>(name);
    QVERIFY(label);
    QCOMPARE(label->geometry(), geometry);
    QCOMPARE(label->text(), text);
    QVERIFY(label->wordWrap());
    QCOMPARE(label->alignment() & Qt::AlignVertical_Mask, Qt::AlignTop);
    QCOMPARE(label->textFormat(), Qt::PlainText);
    QCOMPARE(label->font().family(), u"MS Sans Serif"_s);
    QCOMPARE(label->font().pointSizeF(), 9.75);
    QVERIFY(!label->font().bold());
    QCOMPARE(label->palette().color(QPalette::WindowText), QColor(Qt::black));
    QVERIFY(!label->autoFillBackground());
    // The wrapped text stays inside its box and inside the window.
    SKIP_UNDER_WINE("its stand-in for MS Sans Serif is wider than Windows' own");
    const int visibleWidth = std::min(geometry.width(), 418 - geometry.x());
    const QRect needed = QFontMetrics(label->font())
                             .boundingRect(QRect(0, 0, geometry.width(), 1000),
                                           Qt::TextWordWrap, text);
    QVERIFY2(needed.width() <= visibleWidth && needed.height() <= geometry.height(),
             qPrintable(u"needs %1 x %2"_s.arg(needed.width()).arg(needed.height())));
}

void TestAbout::aboutLabels_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("bold");
    QTest::addColumn<bool>("underline");
    QTest::newRow("MC") << u"MC"_s << QRect(8, 8, 229, 25) << u"Sonalbury CD-MP3"_s << true << false;
    QTest::newRow("Label1") << u"Label1"_s << QRect(8, 24, 105, 17) << u"Version 1.0"_s << true
                            << false;
    QTest::newRow("Label2") << u"Label2"_s << QRect(8, 48, 193, 33)
                            << u"© 2004 Sonalbury. Tous droits réservés."_s << false << false;
    QTest::newRow("Label3") << u"Label3"_s << QRect(8, 104, 265, 41) << QString() << false << false;
    QTest::newRow("Label4") << u"Label4"_s << QRect(8, 144, 177, 17) << Address << true << true;
}

void TestAbout::aboutLabels()
{
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    QFETCH(QString, text);
    QFETCH(bool, bold);
    QFETCH(bool, underline);
    Form_apropos about;
    const auto *label = about.findChild<QLabel *>(name);
    QVERIFY(label);
    QCOMPARE(label->geometry(), geometry);
    QCOMPARE(label->text(), text);
    QCOMPARE(label->font().family(), u"MS Sans Serif"_s);
    QCOMPARE(label->font().pointSizeF(), 8.25);
    QCOMPARE(label->font().bold(), bold);
    QCOMPARE(label->font().underline(), underline);
    QVERIFY(!label->autoFillBackground());
    if (!text.isEmpty()) {
        SKIP_UNDER_WINE("its stand-in for MS Sans Serif is wider than Windows' own");
        const QRect needed = QFontMetrics(label->font())
                                 .boundingRect(QRect(0, 0, geometry.width(), 1000),
                                               Qt::TextWordWrap, text);
        QVERIFY2(needed.width() <= geometry.width() && needed.height() <= geometry.height(),
                 qPrintable(u"needs %1 x %2"_s.arg(needed.width()).arg(needed.height())));
    }
}

void TestAbout::windowFrame_data()
{
    QTest::addColumn<bool>("about");
    QTest::addColumn<QSize>("clientSize");
    QTest::addColumn<QColor>("background");
    QTest::newRow("Help") << false << QSize(418, 336) << QColor(Qt::white);
    QTest::newRow("About") << true << QSize(281, 177)
                           << QApplication::palette().color(QPalette::Base);
}

void TestAbout::windowFrame()
{
    QFETCH(bool, about);
    QFETCH(QSize, clientSize);
    QFETCH(QColor, background);
    const auto dialog = makeDialog(about);
    QCOMPARE(dialog->windowTitle(), u"Sonalbury CD-MP3"_s);
    QCOMPARE(dialog->size(), clientSize);
    QCOMPARE(dialog->minimumSize(), clientSize);
    QCOMPARE(dialog->maximumSize(), clientSize);
    const Qt::WindowFlags flags = dialog->windowFlags();
    QCOMPARE(flags & Qt::WindowType_Mask, Qt::Dialog);
    QVERIFY(!(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint
                       | Qt::WindowContextHelpButtonHint)));
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(!dialog->windowIcon().availableSizes().isEmpty());
    // What the user sees in the bottom right corner, clear of every control.
    QCOMPARE(dialog->grab().toImage().pixelColor(clientSize.width() - 3, clientSize.height() - 3),
             background);
}

void TestAbout::aboutLook()
{
    Form_apropos about;
    const QPalette system = QApplication::palette();
    QCOMPARE(about.findChild<QLabel *>(u"Label1"_s)->palette().color(QPalette::WindowText),
             system.color(QPalette::Text));

    const auto *link = about.findChild<QLabel *>(u"Label4"_s);
    QCOMPARE(link->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    QCOMPARE(link->cursor().shape(), Qt::PointingHandCursor);

    const auto *line = about.findChild<QFrame *>(u"Line1"_s);
    QVERIFY(line);
    QCOMPARE(line->frameShape(), QFrame::HLine);
    QCOMPARE(line->geometry(), QRect(8, 88, 192, 1));

    const auto *picture = about.findChild<QLabel *>(u"picIcon"_s);
    QVERIFY(picture);
    QCOMPARE(picture->geometry(), QRect(218, 18, 50, 75));
    QCOMPARE(picture->pixmap().size(), QSize(50, 75));
    COMPARE_PICTURES(picture->pixmap().toImage(), QImage(u":/pictures/apropos.png"_s));
}

void TestAbout::centredAtEveryOpening_data()
{
    QTest::addColumn<bool>("about");
    QTest::newRow("Help") << false;
    QTest::newRow("About") << true;
}

void TestAbout::centredAtEveryOpening()
{
    QFETCH(bool, about);
    const auto checkCentredThenMove = [](QDialog &dialog) {
        whileModal(dialog, [&dialog] {
            QCOMPARE(dialog.frameGeometry().topLeft(), centredPosition(dialog));
            // The user drags it away.
            dialog.move(3, 4);
            QTRY_COMPARE(dialog.frameGeometry().topLeft(), QPoint(3, 4));
        });
    };
    auto first = makeDialog(about);
    checkCentredThenMove(*first);
    // Opened again, as the menu does, and also the very same window shown again.
    auto second = makeDialog(about);
    checkCentredThenMove(*second);
    checkCentredThenMove(*second);
}

void TestAbout::modalOverTheMainWindow_data()
{
    centredAtEveryOpening_data();
}

void TestAbout::modalOverTheMainWindow()
{
    QFETCH(bool, about);
    QWidget main;
    auto *button = new QPushButton(u"Convertir"_s, &main);
    button->setGeometry(10, 10, 120, 30);
    main.show();
    main.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&main));
    QSignalSpy clicks(button, &QPushButton::clicked);
    const auto clickButton = [&] {
        QTest::mouseClick(main.windowHandle(), Qt::LeftButton, {}, button->geometry().center());
    };

    // No owner given, as the menu opens it.
    const auto dialog = makeDialog(about);
    whileModal(*dialog, [&] {
        QCOMPARE(dialog->windowModality(), Qt::ApplicationModal);
        clickButton();
        QCOMPARE(clicks.size(), 0);
        // Kept with the main window, out of the taskbar.
        QCOMPARE(dialog->windowHandle()->transientParent(), main.windowHandle());
    });
    // Once closed, the same click reaches the main window again.
    clickButton();
    QCOMPARE(clicks.size(), 1);
}

void TestAbout::stripQuotes_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("browser");
    QTest::newRow("quoted path with arguments")
        << u"\"C:\\Program Files\\Web\\web.exe\" -osint -url \"%1\""_s
        << u"C:\\Program Files\\Web\\web.exe"_s;
    QTest::newRow("quoted path alone") << u"\"C:\\Web\\web.exe\""_s << u"C:\\Web\\web.exe"_s;
    QTest::newRow("unquoted path with arguments")
        << u"C:\\PROGRA~1\\Web\\web.exe -nohome %1"_s << u"C:\\PROGRA~1\\Web\\web.exe -nohome %1"_s;
    QTest::newRow("unquoted path, one space, quoted argument")
        << u"C:\\Web\\web.exe \"%1\""_s << u"C:\\Web\\web.exe "_s;
    QTest::newRow("two quotes") << u"\"\""_s << QString();
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("doubled leading quote") << u"\"\"C:\\web.exe\" %1"_s << u"C:\\web.exe"_s;
    QTest::newRow("quote inside a word") << u"C:\\we\"b.exe"_s << u"C:\\we"_s;
}

void TestAbout::stripQuotes()
{
    QFETCH(QString, command);
    QFETCH(QString, browser);
    QCOMPARE(::stripQuotes(command), browser);
}

void TestAbout::browserOnPath_data()
{
    QTest::addColumn<bool>("present");
    QTest::addColumn<bool>("executable");
    QTest::newRow("registered opener") << true << true;
    QTest::newRow("none") << false << false;
    QTest::newRow("not executable") << true << false;
}

void TestAbout::browserOnPath()
{
    QFETCH(bool, present);
    QFETCH(bool, executable);
#ifdef Q_OS_WIN
    // The registered command, its quotes stripped; nothing registered finds nothing. Being
    // executable is a file-mode matter of Unix.
    if (present && !executable)
        QSKIP("Windows files have no executable mode");
    const QString browser = u"C:\\Program Files\\Navigateur d'été\\web.exe"_s;
    registerBrowser(present ? u"\""_s + browser + u"\" -osint -url \"%1\""_s : QString());
    QCOMPARE(TrouverNavigateur(), present ? browser : QString());
    return;
#endif
    const QString folder = QDir::home().filePath(u"opener-%1"_s.arg(++m_folders));
    QDir().mkpath(folder);
    const QString opener = QDir(folder).filePath(u"xdg-open"_s);
    if (present)
        writeFile(opener, "#!/bin/sh\n", executable ? QFileDevice::ExeOwner : QFileDevice::Permissions());
    qputenv("PATH", QFile::encodeName(folder));
    QCOMPARE(TrouverNavigateur(), executable ? opener : QString());
}

void TestAbout::linkWithoutBrowserWarnsAtEachClick()
{
    useEmptyPath();
    BoxAnswerer answerer;
    Form_apropos about;
    about.show();
    QVERIFY(QTest::qWaitForWindowExposed(&about));
    auto *link = about.findChild<QLabel *>(u"Label4"_s);
    QTest::mouseClick(link, Qt::LeftButton);
    QTest::mouseClick(link, Qt::LeftButton);
    // A right click or a press that leaves the link is no click.
    QTest::mouseClick(link, Qt::RightButton);
    QTest::mousePress(link, Qt::LeftButton);
    QTest::mouseRelease(link, Qt::LeftButton, {}, QPoint(-5, -5));
    QTest::qWait(100);
    QCOMPARE(answerer.seen.size(), 2u);
    for (const SeenBox &box : answerer.seen) {
        QCOMPARE(box.title, u"Erreur!"_s);
        QCOMPARE(box.text,
                 u"Le navigateur ne peut pas être trouvé. Veuillez le lancer depuis le menu Démarrer!"_s);
        QCOMPARE(box.icon, QMessageBox::Warning);
        QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    }
    QVERIFY(about.isVisible());
}

void TestAbout::linkStartsBrowserAtEachClick()
{
    const QString record = useRecordingBrowser();
    BoxAnswerer answerer;
    Form_apropos about;
    about.show();
    QVERIFY(QTest::qWaitForWindowExposed(&about));
    auto *link = about.findChild<QLabel *>(u"Label4"_s);
    QTest::mouseClick(link, Qt::LeftButton);
    QCOMPARE(waitForContent(record, 2), "1\n" + Address.toUtf8() + "\n");
    QTest::mouseClick(link, Qt::LeftButton);
    QCOMPARE(waitForContent(record, 4), ("1\n" + Address.toUtf8() + "\n").repeated(2));
    QVERIFY(answerer.seen.empty());
    QVERIFY(about.isVisible());
}

void TestAbout::browserLookedUpAtEachOpening()
{
    useEmptyPath();
    BoxAnswerer answerer;
    QString record;
    {
        Form_apropos about;
        about.show();
        QVERIFY(QTest::qWaitForWindowExposed(&about));
        // A browser installed while the window is open is seen only at the next opening.
        record = useRecordingBrowser();
        QTest::mouseClick(about.findChild<QLabel *>(u"Label4"_s), Qt::LeftButton);
        QCOMPARE(answerer.seen.size(), 1u);
    }
    Form_apropos about;
    about.show();
    QVERIFY(QTest::qWaitForWindowExposed(&about));
    QTest::mouseClick(about.findChild<QLabel *>(u"Label4"_s), Qt::LeftButton);
    QCOMPARE(waitForContent(record, 2), "1\n" + Address.toUtf8() + "\n");
    QCOMPARE(answerer.seen.size(), 1u);
}

SONALBURY_TEST_MAIN(TestAbout)
#include "tst_about.moc"
