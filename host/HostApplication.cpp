#include "HostApplication.h"

#include <QApplication>

void EnsureHostApplication() {
    if (QCoreApplication::instance()) {
        return;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    static int argc = 1;
    static char name[] = "nhx-host";
    static char* argv[] = {name, nullptr};
    // Never destroyed: tearing Qt down during static destruction crashes, and the process ends
    // anyway. The pointer keeps it reachable, so leak checkers do not count it.
    static QApplication* application = new QApplication(argc, argv);
    (void)application;
}
