// bench-window: the real main window, offscreen, converting every track of a disc image on
// its worker thread, while a 10 ms timer on the interface thread measures how late it
// fires. Answers the message boxes the batch shows.
//
// Usage: bench-window [--jobs N] IMAGE PROGRAM_FOLDER APPLICATION_NAME
// (--jobs: encodings at once, as the window's option; by default one per processor core)
// Prints one line: max_late_ms=.. p99_late_ms=.. stalls_over_50ms=.. ticks=.. seconds=..
// mp3_files=.. messages=<texts separated by " / ">

#include "LibcdioReader.h"
#include "ProgramSetup.h"
#include "frmPrincipal.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>
#include <cstdio>
#include <vector>

int main(int argc, char *argv[])
{
    ProgramSetup::beforeApplication();
    QApplication app(argc, argv);
    ProgramSetup::applyFonts();
    QStringList args = QCoreApplication::arguments();
    int jobs = 0;
    if (args.size() > 2 && args.at(1) == QStringLiteral("--jobs")) {
        jobs = args.at(2).toInt();
        args.remove(1, 2);
    }
    if (args.size() != 4 || jobs < 0) {
        std::fputs("usage: bench-window [--jobs N] IMAGE PROGRAM_FOLDER APPLICATION_NAME\n", stderr);
        return 2;
    }
    const QString programFolder = args.at(2);
    frmPrincipal window(std::make_unique<LibcdioReader>(QStringList{args.at(1)}),
                        {programFolder, args.at(3), jobs});
    if (window.Form_Load() != frmPrincipal::LoadResult::Ready) {
        std::fputs("bench-window: the window did not load\n", stderr);
        return 1;
    }
    window.show();
    auto *list = window.findChild<QTreeWidget *>(QStringLiteral("lstPistes"));
    if (!list || list->topLevelItemCount() == 0) {
        std::fputs("bench-window: no track listed\n", stderr);
        return 1;
    }
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        list->topLevelItem(i)->setCheckState(0, Qt::Checked);

    // Message boxes are answered as a user would, a moment after they open.
    QStringList messages;
    QTimer answerer;
    QObject::connect(&answerer, &QTimer::timeout, [&messages] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || box->property("answered").toBool())
            return;
        box->setProperty("answered", true);
        messages << box->text();
        if (QAbstractButton *ok = box->button(QMessageBox::Ok))
            ok->click();
        else
            box->done(QMessageBox::Ok);
    });
    answerer.start(50);

    constexpr qint64 PeriodNs = 10'000'000;
    std::vector<qint64> lateness;
    lateness.reserve(100'000);
    QElapsedTimer clock;
    qint64 lastTick = 0;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        lateness.push_back(std::max<qint64>(0, now - lastTick - PeriodNs));
        lastTick = now;
    });

    QElapsedTimer batchClock;
    QObject::connect(&window, &frmPrincipal::batchFinished, &app, [&] {
        probe.stop();
        QCoreApplication::quit();
    });
    QTimer::singleShot(0, &window, [&] {
        clock.start();
        batchClock.start();
        probe.start(10);
        window.Command_rip_Click();
    });
    app.exec();
    const double seconds = static_cast<double>(batchClock.nsecsElapsed()) / 1e9;

    std::vector<qint64> sorted = lateness;
    std::sort(sorted.begin(), sorted.end());
    const auto ms = [](qint64 ns) { return static_cast<double>(ns) / 1e6; };
    const double maxLate = sorted.empty() ? 0.0 : ms(sorted.back());
    const double p99 = sorted.empty() ? 0.0 : ms(sorted[sorted.size() * 99 / 100]);
    const auto stalls = std::count_if(sorted.begin(), sorted.end(),
                                      [](qint64 ns) { return ns > 50'000'000; });
    const auto mp3 = QDir(window.musicFolder())
                         .entryList({QStringLiteral("*.mp3")}, QDir::Files)
                         .size();
    std::printf("max_late_ms=%.1f p99_late_ms=%.1f stalls_over_50ms=%ld ticks=%zu seconds=%.2f "
                "mp3_files=%lld messages=%s\n",
                maxLate, p99, static_cast<long>(stalls), sorted.size(), seconds,
                static_cast<long long>(mp3), messages.join(QStringLiteral(" / ")).toUtf8().constData());
    return 0;
}
