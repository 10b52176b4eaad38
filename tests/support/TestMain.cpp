// GoogleTest main for every test executable: creates the Qt application object its kind needs
// (gui and widgets on the offscreen platform, so no display is required), then runs the tests.
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>

#if defined(VISTREL_TEST_QT_WIDGETS)
#include <QApplication>
using TestApplication = QApplication;
#elif defined(VISTREL_TEST_QT_GUI)
#include <QGuiApplication>
using TestApplication = QGuiApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    // Tests must not depend on the locale of the machine that runs them.
    ::setenv("LC_ALL", "C.UTF-8", 1);
    ::setenv("LANG", "C.UTF-8", 1);
#if !defined(VISTREL_TEST_QT_CORE)
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
#endif
    // Working folders of settings files without Install/Directory go under $XDG_STATE_HOME: keep
    // them out of the home folder of whoever runs the tests (programs the tests start inherit it).
    vistrel::test::TempDir stateHome;
    ::setenv("XDG_STATE_HOME", stateHome.path().c_str(), 1);
    // Test programs do not sit where a program finds the network-camera module from its own
    // folder: point them (and the programs they start) at the build tree's.
    ::setenv("VISTREL_NETCAM_DIR", VISTREL_NETCAM_BUILD_DIR, 0);
    ::setenv("VISTREL_TARGETS_DIR", VISTREL_NETCAM_BUILD_DIR, 0); // the upload-target module
    TestApplication app(argc, argv);
    std::setlocale(LC_ALL, "C");
    return RUN_ALL_TESTS();
}
