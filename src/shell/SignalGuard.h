#pragma once

#include <vector>

// Routes the requests to end the program from outside (Ctrl+C, Ctrl+\, kill, the terminal closing)
// to one handler while it lives, and gives the previous handlers back when it goes. A
// signal the caller set aside stays aside: under nohup the terminal closing must not stop
// the program, nor Ctrl+C a job a script started in the background.
//
// The handler runs as a signal handler: it may only touch atomics, write to a pipe or
// re-raise the signal.
class SignalGuard
{
public:
    using Handler = void (*)(int);

    explicit SignalGuard(Handler handler);
    ~SignalGuard();
    SignalGuard(const SignalGuard &) = delete;
    SignalGuard &operator=(const SignalGuard &) = delete;

    // From inside the handler: the signal's default action, so that raising it again ends
    // the program at once.
    static void restoreDefault(int signalNumber);

private:
    struct Previous;
    std::vector<Previous> m_previous;
};
