// A file that stays broken for hours: one report, an hourly log line, no tick inside a report,
// and a line when the calendar works again.
#include <filesystem>
#include <fstream>

#include "InstanceFixture.h"
#include "MondrelSchema.h"
#include "Timer.h"

namespace {

class TickReportTest : public InstanceFixture {
  protected:
    TickReportTest() {
        std::filesystem::remove(Database);
        // Every box looks whether it was opened inside another, and offers the tick a chance
        // to run inside it, as the box's own event loop would.
        SetMessageBoxPresenter([this](const TMessageBoxRequest& request) {
            Shown.push_back(request.Text);
            EXPECT_EQ(request.Icon, TMsgIcon::Error);
            EXPECT_EQ(++OpenBoxes, 1) << "a report inside a report";
            if (Instance) {
                EXPECT_FALSE(Mondrel(Instance).Timer1().Enabled());
                Mondrel(Instance).Timer1().Fire();
            }
            --OpenBoxes;
            return TMsgButton::OK;
        });
    }
    ~TickReportTest() override { SetMessageBoxPresenter({}); }

    // One tick a minute from 10:30 on, through the timer.
    void TickMinutes(int first, int count) {
        for (int minute = first; minute < first + count; ++minute) {
            SetNow(10 + minute / 60, minute % 60, 5);
            Mondrel(Instance).Timer1().Fire();
            EXPECT_TRUE(Mondrel(Instance).Timer1().Enabled());
        }
    }
    int Logged(int32_t kind) const {
        int count = 0;
        for (const auto& entry : Host->Log().ModuleEntries()) {
            count += entry.Kind == kind && entry.Sender == "Mondrel #7" &&
                             entry.Text.find("Interface") == std::string::npos
                         ? 1
                         : 0;
        }
        return count;
    }

    std::vector<std::string> Shown;
    int OpenBoxes = 0;
    TNHXInterfacePtr<INHXMondrel> Instance;
};

TEST_F(TickReportTest, AMissingFileIsReportedOnceLoggedHourlyAndItsRecoveryLogged) {
    Instance = MakeInstance();
    TickMinutes(30, 10);
    ASSERT_EQ(Shown.size(), 1u);
    EXPECT_EQ(Shown[0], "Failed to open database \"" + Database + "\": the file does not exist");
    EXPECT_EQ(Logged(NHX_LOG_ERROR), 1);
    EXPECT_FALSE(std::filesystem::exists(Database)) << "no tick makes a file";

    TickMinutes(89, 1);  // 11:29: not yet an hour since the first log line
    TickMinutes(90, 2);  // 11:30, 11:31
    EXPECT_EQ(Shown.size(), 1u);
    EXPECT_EQ(Logged(NHX_LOG_ERROR), 2);

    CreateMondrelDatabase(Database);
    TickMinutes(92, 2);
    EXPECT_EQ(Logged(NHX_LOG_NOTICE), 1);
    EXPECT_EQ(Host->Log().ModuleEntries().back().Text,
              "The calendar works again with \"" + Database + "\"");

    std::filesystem::remove(Database);
    TickMinutes(94, 1);
    EXPECT_EQ(Shown.size(), 2u) << "a failure after a recovery is reported anew";
}

TEST_F(TickReportTest, AFileWithoutTablesIsReportedOnce) {
    std::ofstream(Database).close();
    Instance = MakeInstance();
    TickMinutes(30, 10);
    ASSERT_EQ(Shown.size(), 1u);
    EXPECT_EQ(Shown[0].rfind("Error: no such table: Dates", 0), 0u) << Shown[0];
    EXPECT_EQ(Logged(NHX_LOG_ERROR), 1);
}

// A tick that fails inside a box of the page logs the failure and leaves the box alone; the next
// tick with no box open shows it.
TEST_F(TickReportTest, AFailureMetInsideAnotherBoxIsShownByTheNextTick) {
    Instance = MakeInstance();
    SetNow(10, 30, 5);
    SetMessageBoxPresenter([this](const TMessageBoxRequest& request) {
        Shown.push_back(request.Text);
        EXPECT_EQ(++OpenBoxes, 1) << "a report inside a box";
        Mondrel(Instance).Timer1().Fire();
        --OpenBoxes;
        return request.Buttons.front();
    });
    ShowMessageBox("Delete the appointment?", TMsgIcon::Question,
                   {TMsgButton::Yes, TMsgButton::No});
    ASSERT_EQ(Shown.size(), 1u);
    EXPECT_EQ(Logged(NHX_LOG_ERROR), 1);

    TickMinutes(31, 2);
    ASSERT_EQ(Shown.size(), 2u);
    EXPECT_EQ(Shown[1], "Failed to open database \"" + Database + "\": the file does not exist");
    EXPECT_EQ(Logged(NHX_LOG_ERROR), 1);
}

}  // namespace
