// Test entry: a Qt application object for QSettings, QProcess, timers and
// widgets, and the system's debug log silenced unless KOVA_TEST_LOG is set.
#include <gtest/gtest.h>

#include <QLoggingCategory>

#ifdef KOVA_TEST_GUI
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("KOVA_TEST_LOG"))
        QLoggingCategory::setFilterRules(QStringLiteral("kova.debug=false\nnm*.debug=false"));
    TestApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
