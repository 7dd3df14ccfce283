#include "SignalGuard.h"

#include <QtGlobal>
#include <csignal>

namespace {

// SIGQUIT (Ctrl+\) would dump core and leave the working files: it ends the program as a
// kill does.
#if defined(SIGHUP) && defined(SIGQUIT)
constexpr int TerminationSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
#else
constexpr int TerminationSignals[] = {SIGINT, SIGTERM};
#endif

} // namespace

#ifdef Q_OS_UNIX
struct SignalGuard::Previous
{
    int signalNumber;
    struct sigaction action;
};

SignalGuard::SignalGuard(Handler handler)
{
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signalNumber : TerminationSignals) {
        struct sigaction previous = {};
        if (::sigaction(signalNumber, nullptr, &previous) != 0)
            continue;
        if (previous.sa_handler == SIG_IGN)
            continue;
        if (::sigaction(signalNumber, &action, nullptr) == 0)
            m_previous.push_back(Previous{signalNumber, previous});
    }
}

SignalGuard::~SignalGuard()
{
    for (const Previous &previous : m_previous)
        ::sigaction(previous.signalNumber, &previous.action, nullptr);
}

void SignalGuard::restoreDefault(int signalNumber)
{
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    ::sigaction(signalNumber, &action, nullptr);
}
#else
struct SignalGuard::Previous
{
    int signalNumber;
    SignalGuard::Handler handler;
};

SignalGuard::SignalGuard(Handler handler)
{
    for (const int signalNumber : TerminationSignals) {
        const Handler previous = std::signal(signalNumber, handler);
        if (previous == SIG_IGN)
            std::signal(signalNumber, SIG_IGN);
        else if (previous != SIG_ERR)
            m_previous.push_back(Previous{signalNumber, previous});
    }
}

SignalGuard::~SignalGuard()
{
    for (const Previous &previous : m_previous)
        std::signal(previous.signalNumber, previous.handler);
}

void SignalGuard::restoreDefault(int signalNumber)
{
    std::signal(signalNumber, SIG_DFL);
}
#endif
