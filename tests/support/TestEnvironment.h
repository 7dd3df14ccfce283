#pragma once

#include <QString>
#include <QTemporaryDir>

// Points HOME and the XDG folders at a fresh temporary folder, so that no test reads or
// writes the user's settings, trash, cache or music folder. Create it before the
// application object; the folder is removed when the process ends.
class TestEnvironment
{
public:
    TestEnvironment();
    QString root() const { return m_dir.path(); }
    // A new empty sub-folder of the root, for one test case.
    QString freshFolder(const QString &name) const;

    // Sets HOME and XDG_* under root, creating the folders.
    static void isolate(const QString &root);

private:
    QTemporaryDir m_dir;
};

// QTEST_MAIN with an isolated environment, created before QApplication reads it.
#define SONALBURY_TEST_MAIN(TestClass)                                                      \
    int main(int argc, char *argv[])                                                        \
    {                                                                                        \
        TestEnvironment environment;                                                         \
        QApplication app(argc, argv);                                                        \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                             \
        TestClass tc;                                                                        \
        QTEST_SET_MAIN_SOURCE_PATH                                                           \
        return QTest::qExec(&tc, argc, argv);                                                \
    }

// The same for tests that need no widgets.
#define SONALBURY_TEST_MAIN_CORE(TestClass)                                                 \
    int main(int argc, char *argv[])                                                        \
    {                                                                                        \
        TestEnvironment environment;                                                         \
        QCoreApplication app(argc, argv);                                                    \
        TestClass tc;                                                                        \
        QTEST_SET_MAIN_SOURCE_PATH                                                           \
        return QTest::qExec(&tc, argc, argv);                                                \
    }
