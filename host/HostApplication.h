// For tests and tools that drive the host without a main of their own: makes sure a Qt
// application object exists, creating a QApplication (offscreen when no platform is chosen and
// there is no display) that lives until the process ends.
#pragma once

void EnsureHostApplication();
