#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QScrollBar>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <filesystem>

#include "JCalendar.h"
#include "PageTestSupport.h"

namespace {

struct TPlace {
    const char* Name;
    const char* Parent;
    QRect Geometry;
};

// Components with their parent and place within it, as the form lays them out.
const TPlace Places[] = {
    {"pTop", "frmPropertyPage", {0, 0, 441, 65}},
    {"Image1", "pTop", {16, 8, 30, 30}},
    {"Bevel2", "pTop", {0, 63, 441, 2}},
    {"DoBlur", "frmPropertyPage", {0, 0, 0, 0}},
    {"Panel3", "frmPropertyPage", {7, 69, 427, 260}},
    {"Panel2", "Panel3", {6, 8, 414, 169}},
    {"Block1", "Panel2", {201, 6, 185, 50}},
    {"Block2", "Panel2", {201, 57, 185, 51}},
    {"Block3", "Panel2", {201, 109, 185, 51}},
    {"ScrollBar", "Panel2", {391, 7, 16, 153}},
    {"Panel1", "Panel3", {6, 185, 414, 32}},
    {"ImgFlagsAdd", "Panel1", {7, 4, 28, 24}},
    {"ImgTerminNeu", "Panel1", {346, 4, 28, 24}},
    {"ImgSetup", "Panel1", {380, 4, 28, 24}},
    {"Calendar", "Panel2", {6, 6, 190, 154}},
    {"PnlFlags", "Panel3", {10, 14, 193, 155}},
    {"btnOK", "Panel3", {262, 228, 73, 22}},
    {"btnApply", "Panel3", {347, 228, 73, 22}},
    {"PnlTermin", "frmPropertyPage", {2, 71, 432, 258}},
    {"PnlSetup", "frmPropertyPage", {2, 71, 435, 258}},
    {"LblTime2", "Block2", {3, 3, 54, 13}},
    {"LblDisc2", "Block2", {1, 16, 183, 13}},
    {"ImgTerminEdit2", "Block2", {158, 37, 13, 13}},
    {"ImgTerminKill2", "Block2", {172, 37, 13, 13}},
    {"ImgScript2", "Block2", {170, 2, 14, 14}},
    {"BtnDateClose", "PnlTermin", {333, 226, 95, 19}},
    {"Panel4", "PnlTermin", {16, 16, 409, 201}},
    {"Label8", "Panel4", {16, 19, 69, 13}},
    {"EdtDiscription", "Panel4", {88, 16, 217, 21}},
    {"EdtScript", "Panel4", {88, 42, 193, 21}},
    {"ImgScriptSelect", "Panel4", {282, 42, 23, 22}},
    {"EdtValue", "Panel4", {88, 68, 217, 21}},
    {"EdtHour", "Panel4", {88, 112, 33, 21}},
    {"Label4", "Panel4", {120, 115, 9, 13}},
    {"EdtMin", "Panel4", {128, 112, 33, 21}},
    {"DTPDate", "Panel4", {216, 112, 89, 21}},
    {"BtnSaveDate", "Panel4", {327, 170, 69, 19}},
    {"BtnSetupClose", "PnlSetup", {333, 226, 95, 19}},
    {"TabbedNotebook1", "PnlSetup", {9, 1, 419, 216}},
    {"Label7", "Properties", {10, 19, 59, 13}},
    {"EdtDataBase", "Properties", {80, 16, 297, 21}},
    {"BtnDatabaseBrowse", "Properties", {377, 15, 14, 22}},
    {"SGEvents", "Flags", {9, 13, 290, 84}},
    {"Blank", "Flags", {8, 13, 291, 84}},
    {"BtnFlagDel", "Flags", {308, 13, 95, 19}},
    {"EdtFlagName", "Flags", {81, 110, 98, 21}},
    {"ShpEventColor", "Flags", {187, 112, 16, 16}},
    {"CombColors", "Flags", {210, 110, 89, 21}},
    {"BtnFlagAdd", "Flags", {308, 111, 95, 19}},
    {"EdtFlagVariable", "Flags", {81, 134, 191, 21}},
    {"ImgVariableSelect", "Flags", {277, 134, 23, 22}},
    {"LblDate", "PnlFlags", {5, 5, 179, 13}},
    {"CLBFlags", "PnlFlags", {8, 20, 177, 109}},
    {"BtnFlagsSave", "PnlFlags", {110, 132, 75, 18}},
};

class Layout : public TPageTest {};

TEST_F(Layout, EveryComponentSitsInItsParentAtItsPlace) {
    OpenPage();
    EXPECT_EQ(Page->size(), QSize(441, 331));
    EXPECT_EQ(Page->windowTitle(), QString::fromUtf8("Mondrel \u2013 Mondrel.sdb"));
    EXPECT_EQ(Page->minimumSize(), Page->maximumSize());
    for (const TPlace& place : Places) {
        QWidget* widget = Find(place.Name);
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->parentWidget()->objectName(), place.Parent) << place.Name;
        EXPECT_EQ(widget->geometry(), place.Geometry) << place.Name;
    }
}

// Two instances' pages: the second stands apart from the first and names its instance and file.
TEST_F(Layout, ASecondPageOpensOffsetAndTitledWithItsInstanceAndFile) {
    OpenPage();
    Page->SetInstanceNumber(1);
    const std::string kitchen = Temp.File("kitchen/Kitchen.sdb");
    std::filesystem::create_directories(std::filesystem::path(kitchen).parent_path());
    std::filesystem::copy_file(Path, kitchen);
    auto other = TNHXInterfacePtr<TFakeMondrel>::Adopt(new TFakeMondrel(kitchen));
    TfrmPropertyPage second;
    second.SetInstance(other.Get());
    second.SetInstanceNumber(2);
    second.show();
    EXPECT_EQ(Page->windowTitle(), QString::fromUtf8("Mondrel #1 \u2013 Mondrel.sdb"));
    EXPECT_EQ(second.windowTitle(), QString::fromUtf8("Mondrel #2 \u2013 Kitchen.sdb"));
    EXPECT_GE((second.pos() - Page->pos()).manhattanLength(), 28);
}

TEST_F(Layout, StackingAndStartState) {
    OpenPage();
    std::vector<QString> formChildren;
    for (QObject* child : Page->children()) {
        if (child->isWidgetType()) {
            formChildren.push_back(child->objectName());
        }
    }
    EXPECT_EQ(formChildren,
              (std::vector<QString>{"Panel3", "PnlTermin", "PnlSetup", "pTop", "DoBlur"}));
    EXPECT_FALSE(Find("PnlTermin")->isVisible());
    EXPECT_FALSE(Find("PnlSetup")->isVisible());
    EXPECT_FALSE(Find("PnlFlags")->isVisible());
    EXPECT_EQ(Page->focusWidget(), Find("DoBlur"));
    EXPECT_EQ(Find<QLabel>("Label1")->text(), "Mondrel v.1.12b");
    EXPECT_TRUE(Find<QLabel>("Label1")->font().bold());
    EXPECT_EQ(Find<QLabel>("Label3")->text(), "Automated Script triggering");
    EXPECT_EQ(Find("ImgFlagsAdd")->toolTip(), "Set Flags");
    EXPECT_EQ(Find("ImgTerminNeu")->toolTip(), "Set new Date");
    EXPECT_EQ(Find("ImgSetup")->toolTip(), "Setup");
    EXPECT_EQ(Find<QAbstractButton>("btnOK")->text(), "OK");
    EXPECT_EQ(Find<QAbstractButton>("btnApply")->text(), "Apply");
    EXPECT_EQ(Find<QScrollBar>("ScrollBar")->focusPolicy(), Qt::NoFocus);

    // The day-flag panel lies over the calendar.
    Click("ImgFlagsAdd");
    QWidget* calendar = Page->CalendarControl();
    QPoint centre = calendar->mapTo(Page.get(), calendar->rect().center());
    EXPECT_TRUE(Find("PnlFlags")->isAncestorOf(Page->childAt(centre)));
}

TEST_F(Layout, TheFirstShowCentresThePageOnTheHostWindow) {
    QWidget host;
    host.setGeometry(100, 80, 800, 600);
    host.show();
    OpenPage();
    EXPECT_LE((Page->frameGeometry().center() - host.frameGeometry().center()).manhattanLength(),
              2);
}

TEST_F(Layout, ClosingThePageNeverEndsTheHostApplication) {
    OpenPage();
    // The host's event loop: OK closes the page, and the loop must still be running later.
    bool loopRanOn = false;
    QTimer ok;
    ok.setSingleShot(true);
    QObject::connect(&ok, &QTimer::timeout, [&] { Click("btnOK"); });
    QTimer later;
    later.setSingleShot(true);
    QObject::connect(&later, &QTimer::timeout, [&] {
        loopRanOn = true;
        QApplication::quit();
    });
    ok.start(0);
    later.start(100);
    QApplication::exec();
    EXPECT_FALSE(Page->isVisible());
    EXPECT_TRUE(loopRanOn);
}

TEST_F(Layout, EscapeLeavesThePageOpen) {
    OpenPage();
    Click("ImgTerminNeu");
    QTest::keyClick(Find("EdtDiscription"), Qt::Key_Escape);
    EXPECT_TRUE(Page->isVisible());
    EXPECT_TRUE(Find("PnlTermin")->isVisible());
}

TEST_F(Layout, TabOrderOfTheEditor) {
    OpenPage();
    Click("ImgTerminNeu");
    std::vector<QString> visited;
    QWidget* widget = Find("BtnDateClose");
    for (int step = 0; step < 8; ++step) {
        visited.push_back(widget->objectName());
        widget = widget->nextInFocusChain();
        while (!(widget->focusPolicy() & Qt::TabFocus) || !widget->isVisible() ||
               widget->focusProxy()) {
            widget = widget->nextInFocusChain();
        }
    }
    EXPECT_EQ(visited,
              (std::vector<QString>{"BtnDateClose", "EdtDiscription", "EdtScript", "EdtHour",
                                    "EdtMin", "DTPDate", "EdtValue", "BtnSaveDate"}));
}

}  // namespace
