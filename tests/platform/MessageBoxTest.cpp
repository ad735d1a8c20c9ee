#include <gtest/gtest.h>

#include <stdexcept>

#include "MessageBox.h"

TEST(MessageBox, ResponderRecordsBoxesAndGivesScriptedAnswers) {
    TScopedMessageBoxResponder responder;
    responder.QueueAnswer(TMsgButton::No);
    EXPECT_EQ(ShowMessageBox("Delete?", TMsgIcon::Question, {TMsgButton::Yes, TMsgButton::No}),
              TMsgButton::No);
    EXPECT_EQ(ShowMessageBox("Again?", TMsgIcon::Question, {TMsgButton::Yes, TMsgButton::No}),
              TMsgButton::Yes);
    ASSERT_EQ(responder.Requests().size(), 2u);
    EXPECT_EQ(responder.Requests()[0].Text, "Delete?");
}

TEST(MessageBox, GuardedWorkReportsWhatItThrows) {
    TScopedMessageBoxResponder responder;
    EXPECT_FALSE(RunGuarded([] { throw std::runtime_error("disk on fire"); }));
    EXPECT_TRUE(RunGuarded([] {}));
    ASSERT_EQ(responder.Requests().size(), 1u);
    EXPECT_EQ(responder.Requests()[0].Text, "disk on fire");
    EXPECT_EQ(responder.Requests()[0].Icon, TMsgIcon::Error);
    EXPECT_EQ(responder.Requests()[0].Buttons, std::vector<TMsgButton>{TMsgButton::OK});
}

TEST(MessageBox, WithoutPresenterAnswersTheFirstButtonOnStderr) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(
        ShowMessageBox("Invalid file!", TMsgIcon::Warning, {TMsgButton::Abort, TMsgButton::Ignore}),
        TMsgButton::Abort);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Invalid file!"), std::string::npos);
}
