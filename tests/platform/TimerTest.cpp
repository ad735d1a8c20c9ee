#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTest>
#include <stdexcept>

#include "MessageBox.h"
#include "Timer.h"

namespace {
int argc = 1;
char arg0[] = "platform_tests";
char* argv[] = {arg0, nullptr};
}  // namespace

TEST(Timer, TicksOnTheEventLoopAndSurvivesAThrowingHandler) {
    QCoreApplication app(argc, argv);
    TScopedMessageBoxResponder responder;
    int ticks = 0;
    TTimer timer("Timer1", 10, [&] {
        ++ticks;
        throw std::runtime_error("tick failed");
    });
    EXPECT_EQ(timer.Name(), "Timer1");
    EXPECT_FALSE(timer.Enabled());
    timer.SetEnabled(true);
    EXPECT_TRUE(QTest::qWaitFor([&] { return ticks >= 2; }, 2000));
    timer.SetEnabled(false);
    EXPECT_GE(responder.Requests().size(), 2u);
    EXPECT_EQ(responder.Requests()[0].Text, "tick failed");
}
