#include "CommandLine.h"
#include "Console.h"
#include "HeadlessConversion.h"
#include "LibcdioReader.h"
#include "ProgramSetup.h"
#include "SettingsStore.h"
#include "ShellTexts.h"
#include "TerminalView.h"
#include "frmPrincipal.h"

#include <QApplication>
#include <QCoreApplication>
#include <QMessageBox>
#include <cstdio>
#include <memory>

namespace {

int runWindow(int argc, char *argv[], const CommandLine &line)
{
    QApplication app(argc, argv);
    ProgramSetup::applyFonts();
    ProgramSetup::installFrenchTranslation();
    QString problem;
    const QString programFolder = ProgramSetup::programFolder(&problem);
    if (programFolder.isEmpty()) {
        QMessageBox::warning(nullptr, programTitle(), problem);
        return 1;
    }
    ProgramSetup::sweepLeftovers();
    std::unique_ptr<CdReader> reader;
    try {
        reader = std::make_unique<LibcdioReader>(line.images);
    } catch (const std::exception &e) {
        QMessageBox::warning(nullptr, programTitle(),
                             ShellTexts::readerCannotStart(QString::fromUtf8(e.what())));
        return 1;
    }
    frmPrincipal window(std::move(reader), {programFolder, SettingsStore::defaultApplicationName()});
    switch (window.Form_Load()) {
    case frmPrincipal::LoadResult::NoDrive:
        return window.exitCode();
    case frmPrincipal::LoadResult::Failed:
        return window.exitCode() != 0 ? window.exitCode() : 1;
    case frmPrincipal::LoadResult::Ready:
        break;
    }
    // The program ends when the window has unloaded, with its exit code: not earlier, when
    // the last window closes (a close during a batch hides it first), nor with status 0.
    app.setQuitOnLastWindowClosed(false);
    QObject::connect(&window, &frmPrincipal::unloaded, &app,
                     [&window] { QCoreApplication::exit(window.exitCode()); }, Qt::QueuedConnection);
    const auto signalGuard = ProgramSetup::closeOnTerminationSignals(window, [&window] { window.terminationRequested(); });
    window.show();
    return app.exec();
}

int runHeadless(int argc, char *argv[], const CommandLine &line)
{
    QCoreApplication app(argc, argv);
    QString problem;
    const QString programFolder = ProgramSetup::programFolder(&problem);
    if (programFolder.isEmpty()) {
        printTo(stderr, QStringLiteral("Erreur : %1\n").arg(problem));
        return 1;
    }
    ProgramSetup::sweepLeftovers();
    // The system's own reasons (a refused connection, a missing host) in French too.
    ProgramSetup::installFrenchTranslation();
    LibcdioReader reader(line.images);
    FormFields form;
    return runHeadlessConversion(line, reader, programFolder, SettingsStore::defaultApplicationName(), form);
}

} // namespace

int main(int argc, char *argv[])
{
    ProgramSetup::beforeApplication();
    const QStringList arguments = Console::arguments(argc, argv);
    const CommandLine line = CommandLine::parse(arguments);
    if (!line.error.isEmpty() || line.help || line.convert)
        Console::attachToParent();
    if (!line.error.isEmpty()) {
        printTo(stderr, line.error + ShellTexts::seeHelp(arguments.first()));
        return 2;
    }
    if (line.help) {
        printTo(stdout, CommandLine::usage(arguments.first()));
        return 0;
    }
    return line.convert ? runHeadless(argc, argv, line) : runWindow(argc, argv, line);
}
