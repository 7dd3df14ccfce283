// bench-startup: time from process start to the main window painted with its track list.
// The program starts itself again with the start time in its environment, so that the
// measure includes loading the executable and its libraries.
//
// Usage: bench-startup IMAGE PROGRAM_FOLDER APPLICATION_NAME
//        bench-startup --no-disc PROGRAM_FOLDER APPLICATION_NAME
// Prints: startup_ms=.. tracks=..

#include "LibcdioReader.h"
#include "NoDiscReader.h"
#include "ProgramSetup.h"
#include "frmPrincipal.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <QTreeWidget>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

namespace {

const char StartVariable[] = "SONALBURY_BENCH_START_NS";

long long monotonicNs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1'000'000'000LL + now.tv_nsec;
}

// Parent: note the time, start the measured process, pass its status on.
int launch(char *argv[])
{
    const std::string start = std::to_string(monotonicNs());
    setenv(StartVariable, start.c_str(), 1);
    const pid_t child = fork();
    if (child < 0)
        return 1;
    if (child == 0) {
        execv("/proc/self/exe", argv);
        _exit(127);
    }
    int status = 0;
    if (waitpid(child, &status, 0) < 0)
        return 1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

// Reports the first paint of the track list, once it has completed.
class FirstPaint : public QObject
{
public:
    FirstPaint(QTreeWidget &list, long long startNs)
        : m_list(list)
        , m_startNs(startNs)
    {
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !m_seen) {
            m_seen = true;
            // Queued: runs once this paint and the flush to the screen are done.
            QTimer::singleShot(0, this, [this] {
                const double ms = static_cast<double>(monotonicNs() - m_startNs) / 1e6;
                std::printf("startup_ms=%.1f tracks=%d\n", ms, m_list.topLevelItemCount());
                std::fflush(stdout);
                QCoreApplication::quit();
            });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QTreeWidget &m_list;
    long long m_startNs;
    bool m_seen = false;
};

} // namespace

int main(int argc, char *argv[])
{
    const char *start = std::getenv(StartVariable);
    if (start == nullptr)
        return launch(argv);
    const long long startNs = std::atoll(start);

    ProgramSetup::beforeApplication();
    QApplication app(argc, argv);
    ProgramSetup::applyFonts();
    QStringList args = QCoreApplication::arguments();
    if (args.size() != 4) {
        std::fputs("usage: bench-startup IMAGE|--no-disc PROGRAM_FOLDER APPLICATION_NAME\n", stderr);
        return 2;
    }
    std::unique_ptr<CdReader> reader;
    if (args.at(1) == QLatin1String("--no-disc"))
        reader = std::make_unique<NoDiscReader>();
    else
        reader = std::make_unique<LibcdioReader>(QStringList{args.at(1)});
    frmPrincipal window(std::move(reader), {args.at(2), args.at(3)});
    if (window.Form_Load() != frmPrincipal::LoadResult::Ready) {
        std::fputs("bench-startup: the window did not load\n", stderr);
        return 1;
    }
    auto *list = window.findChild<QTreeWidget *>(QStringLiteral("lstPistes"));
    if (!list)
        return 1;
    FirstPaint probe(*list, startNs);
    list->viewport()->installEventFilter(&probe);
    window.show();
    return app.exec();
}
