// Saves a picture of every panel of the property page, on a sample database, into the folder
// given: main view, editor, both setup tabs and the day-flag panel.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <cstdio>
#include <filesystem>

#include "Clock.h"
#include "DBCnx.h"
#include "MessageBox.h"
#include "MondrelSchema.h"
#include "PageTestSupport.h"

namespace {

void Save(QWidget* page, const QDir& folder, const QString& name) {
    QApplication::processEvents();
    QString file = folder.filePath(name + ".png");
    if (!page->grab().save(file)) {
        std::fprintf(stderr, "could not write %s\n", qPrintable(file));
    } else {
        std::printf("%s\n", qPrintable(file));
    }
}

void ClickChild(QWidget* page, const char* name) {
    auto* widget = page->findChild<QWidget*>(name);
    QTest::mouseClick(widget, Qt::LeftButton, {}, widget->rect().center());
}

void FillSample(const std::string& path) {
    CreateMondrelDatabase(path);
    TDateTime day = EncodeDate(2024, 3, 18);
    auto add = [&](TDateTime date, int hour, int minute, const char* text, const char* script) {
        AddDate(path, TMondrelDate{-1, date, EncodeTime(hour, minute, 0, 0), text, "", script, 0});
    };
    add(day, 7, 5, "Wake-up lights", "Bedroom.Lights");
    add(day, 12, 30, "Water the garden beds, the terrace pots and the herbs", "");
    add(day, 18, 0, "Close the shutters", "Shutters.Down");
    add(day, 22, 15, "Night mode", "House.Night");
    AddFlag(path, "Trash", "Mondrel_Trash", 0x0080FF);
    AddFlag(path, "Guests", "Mondrel_Guests", 0xFF0000);
    TFlags flags = GetFlags(path);
    auto id = [&](const std::string& caption) {
        for (const TFlag& flag : flags) {
            if (flag.Caption == caption) {
                return flag.ID;
            }
        }
        return int64_t{0};
    };
    for (int d : {2, 3, 9, 10, 16, 17, 23, 24, 30, 31}) {
        SetDayFlags(path, {id("Weekend")}, EncodeDate(2024, 3, d));
    }
    SetDayFlags(path, {id("Public holiday")}, EncodeDate(2024, 3, 29));
    SetDayFlags(path, {id("Trash")}, EncodeDate(2024, 3, 6));
    SetDayFlags(path, {id("Trash")}, EncodeDate(2024, 3, 20));
    SetDayFlags(path, {id("Guests"), id("Trash")}, EncodeDate(2024, 3, 18));
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: mondrel-page-screenshots <folder>\n");
        return 2;
    }
    QDir folder(QString::fromLocal8Bit(argv[1]));
    folder.mkpath(".");
    std::string path = folder.filePath("Mondrel.sdb").toStdString();
    std::filesystem::remove(path);
    FillSample(path);

    TScopedClock clock(EncodeDate(2024, 3, 18) + EncodeTime(10, 0, 0, 0));
    TScopedMessageBoxResponder boxes;
    auto instance = TNHXInterfacePtr<TFakeMondrel>::Adopt(new TFakeMondrel(path));
    TfrmPropertyPage page;
    page.SetInstance(instance.Get());
    page.show();
    Save(&page, folder, "property-page");

    ClickChild(&page, "ImgTerminEdit1");
    Save(&page, folder, "editor");
    ClickChild(&page, "BtnDateClose");

    ClickChild(&page, "ImgSetup");
    Save(&page, folder, "setup-properties");
    page.findChild<QTabWidget*>("TabbedNotebook1")->setCurrentIndex(1);
    Save(&page, folder, "setup-flags");
    ClickChild(&page, "BtnSetupClose");

    ClickChild(&page, "ImgFlagsAdd");
    Save(&page, folder, "day-flags");
    ClickChild(&page, "ImgFlagsAdd");

    const bool quiet = boxes.Requests().empty();
    // A fresh install, no file at the path yet: the setup panel opens all the same.
    instance->Database = folder.filePath("Missing/Mondrel.sdb").toStdString();
    page.hide();
    page.show();
    ClickChild(&page, "ImgSetup");
    Save(&page, folder, "setup-missing-file");

    page.hide();
    page.SetInstance(nullptr);
    std::filesystem::remove(path);
    return quiet ? 0 : 1;
}
