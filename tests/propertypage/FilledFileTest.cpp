#include <QLabel>
#include <cstdlib>
#include <string>

#include "Colors.h"
#include "PageTestSupport.h"

namespace {

// A file filled by the built mondrel-db, as a user fills it, then shown by the page.
class FilledFile : public TPageTest {
  protected:
    void RunTool(const std::string& arguments) {
        std::string command =
            std::string(MONDREL_DB_PROGRAM) + " " + arguments + " >/dev/null 2>&1";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
    }
    QLabel* Cell(int day) const {
        for (QLabel* cell : Page->findChildren<QLabel*>()) {
            if (cell->objectName().startsWith("DayCell") && cell->text() == QString::number(day)) {
                return cell;
            }
        }
        ADD_FAILURE() << "no cell " << day;
        return nullptr;
    }
    QColor TextColor(int day) const {
        QLabel* cell = Cell(day);
        return cell->palette().color(cell->foregroundRole());
    }
};

TEST_F(FilledFile, WeekendsAndHolidaysShowAsMarkedDays) {
    RunTool("weekends '" + Path + "' --year 2024");
    // St Patrick's Day falls on Sunday 17 March 2024.
    RunTool("holidays '" + Path + "' --region ie --year 2024");
    OpenPage();

    const QColor weekend = ColorToQColor(0xFF0000);
    const QColor holiday = ColorToQColor(0x0000C0);
    EXPECT_TRUE(Cell(16)->font().bold());
    EXPECT_EQ(TextColor(16), weekend);
    EXPECT_TRUE(Cell(17)->font().bold());
    EXPECT_EQ(TextColor(17), holiday) << "the holiday's row came later, so its colour wins";
    for (int day = 18; day <= 21; ++day) {
        EXPECT_FALSE(Cell(day)->font().bold()) << day;
        EXPECT_NE(TextColor(day), weekend) << day;
    }
    EXPECT_TRUE(Boxes.Requests().empty());
}

}  // namespace
