#pragma once
// The main of the dialog's Qt Test executables: the same fixed environment as the other tests
// (support/test_main.cpp) before the application object reads it.

#include <QApplication>
#include <QTest>

#include <cstdlib>
#include <ctime>

#define ENCRT_QTEST_MAIN(TestClass)                                                                                    \
    int main(int argc, char** argv) {                                                                                  \
        ::setenv("TZ", "Asia/Tokyo", 1);                                                                               \
        ::tzset();                                                                                                     \
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);                                                                   \
        ::setenv("LC_ALL", "C.UTF-8", 1);                                                                              \
        ::setenv("TMPDIR", ENCRT_TEST_TMPDIR, 1);                                                                      \
        QApplication app(argc, argv);                                                                                  \
        TestClass test;                                                                                                \
        return QTest::qExec(&test, argc, argv);                                                                        \
    }
