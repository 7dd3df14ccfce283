#pragma once

#include <QtGlobal>
#include <QtTest>

// True when a Windows test program runs under Wine (scripts/windows/wine-run says so). Wine
// has no sound output, no recycle bin and no CD drive: the tests of those skip there, and
// run on Linux and on a real Windows.
inline bool underWine()
{
    return qEnvironmentVariableIsSet("SONALBURY_UNDER_WINE");
}

#define SKIP_UNDER_WINE(reason)                                                              \
    do {                                                                                     \
        if (underWine())                                                                     \
            QSKIP("under Wine: " reason);                                                    \
    } while (false)
