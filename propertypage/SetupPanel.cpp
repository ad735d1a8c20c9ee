#include "SetupPanel.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>

#include "FormControls.h"
#include "PageImage.h"
#include "ShapeControl.h"

TSetupPanel::TSetupPanel(QWidget* parent) : QFrame(parent) {
    PlacePanel(this, "PnlSetup", {2, 71, 435, 258}, TBevel::None);

    BtnSetupClose = NewButton(this, "BtnSetupClose", {333, 226, 95, 19}, "Close");
    TabbedNotebook1 = new QTabWidget(this);
    TabbedNotebook1->setObjectName("TabbedNotebook1");
    TabbedNotebook1->setGeometry(9, 1, 419, 216);

    auto* properties = new QWidget;
    properties->setObjectName("Properties");
    BuildPropertiesPage(properties);
    TabbedNotebook1->addTab(properties, "Properties");

    auto* flags = new QWidget;
    flags->setObjectName("Flags");
    BuildFlagsPage(flags);
    TabbedNotebook1->addTab(flags, "Flags");
}

void TSetupPanel::BuildPropertiesPage(QWidget* page) {
    NewFieldLabel(page, "Label7", {10, 19, 59, 13}, "Database:");
    EdtDataBase = NewEdit(page, "EdtDataBase", {80, 16, 297, 21});
    BtnDatabaseBrowse = NewButton(page, "BtnDatabaseBrowse", {377, 15, 14, 22}, "...");
}

void TSetupPanel::BuildFlagsPage(QWidget* page) {
    SGEvents = new QTableWidget(1, 3, page);
    SGEvents->setObjectName("SGEvents");
    SGEvents->setGeometry(9, 13, 290, 84);
    SGEvents->horizontalHeader()->hide();
    SGEvents->verticalHeader()->hide();
    SGEvents->horizontalHeader()->setDefaultSectionSize(50);
    SGEvents->horizontalHeader()->setMinimumSectionSize(1);
    SGEvents->verticalHeader()->setMinimumSectionSize(1);
    SGEvents->verticalHeader()->setDefaultSectionSize(17);
    SGEvents->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    SGEvents->setShowGrid(true);
    SGEvents->setSelectionBehavior(QAbstractItemView::SelectRows);
    SGEvents->setSelectionMode(QAbstractItemView::SingleSelection);
    SGEvents->setEditTriggers(QAbstractItemView::NoEditTriggers);
    SGEvents->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    SGEvents->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    SetBackgroundColor(SGEvents, clSystemInfoBk);

    // The memo stands over the grid and hides it while no flag is listed.
    Blank = new QPlainTextEdit(page);
    Blank->setObjectName("Blank");
    Blank->setGeometry(8, 13, 291, 84);
    Blank->setEnabled(false);
    SetBackgroundColor(Blank, clSystemInfoBk);

    BtnFlagDel = NewButton(page, "BtnFlagDel", {308, 13, 95, 19}, "Delete");
    NewFieldLabel(page, "Label5", {12, 113, 37, 13}, "Name:");
    EdtFlagName = NewEdit(page, "EdtFlagName", {81, 110, 98, 21});
    ShpEventColor = new TShapeControl(page);
    ShpEventColor->setObjectName("ShpEventColor");
    ShpEventColor->setGeometry(187, 112, 16, 16);
    ShpEventColor->SetBrushColor(ColorToQColor(clPageSilver));
    CombColors = new QComboBox(page);
    CombColors->setObjectName("CombColors");
    CombColors->setGeometry(210, 110, 89, 21);
    CombColors->setEditable(true);
    // Typed text chooses among the colours; it never becomes a new entry.
    CombColors->setInsertPolicy(QComboBox::NoInsert);
    SetBackgroundColor(CombColors, clSystemInfoBk);
    CombColors->setAutoFillBackground(false);
    BtnFlagAdd = NewButton(page, "BtnFlagAdd", {308, 111, 95, 19}, "Add");
    NewFieldLabel(page, "Label6", {12, 137, 51, 13}, "Variable:");
    EdtFlagVariable = NewEdit(page, "EdtFlagVariable", {81, 134, 191, 21});
    ImgVariableSelect = NewImage(page, "ImgVariableSelect", {277, 134, 23, 22}, "picker", false);
}

QList<QWidget*> TSetupPanel::TabChain() const {
    return {BtnSetupClose, TabbedNotebook1, EdtDataBase,     BtnDatabaseBrowse, SGEvents,
            EdtFlagName,   BtnFlagDel,      EdtFlagVariable, BtnFlagAdd,        CombColors};
}
