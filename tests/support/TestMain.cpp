// Test main: private environment first, then the Qt application object the library needs.
#include "support/SkipReport.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>

#if defined(QV_TEST_MAIN_GUI)
#include <QApplication>
#elif defined(QV_TEST_MAIN_CORE)
#include <QCoreApplication>
#endif

int main(int argc, char **argv)
{
    qvtest::initTestEnvironment();
    ::testing::InitGoogleTest(&argc, argv);
#if defined(QV_TEST_MAIN_GUI)
    QApplication app(argc, argv);
#elif defined(QV_TEST_MAIN_CORE)
    QCoreApplication app(argc, argv);
#endif
    const int result = RUN_ALL_TESTS();
    return qvtest::finishRun(result);
}
