// The main of every test program that shows widgets or runs Qt's event loop: one QApplication
// for the whole run, without a display. It lives on main's stack, so it goes before Qt's own
// globals and nothing of it leaks.
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    testing::InitGoogleTest(&argc, argv);
    QApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
