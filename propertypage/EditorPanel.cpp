#include "EditorPanel.h"

#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "FormControls.h"
#include "PageImage.h"

namespace {

// The editor's field captions stand right-aligned against their boxes.
constexpr Qt::Alignment FieldAlignment = Qt::AlignRight | Qt::AlignTop;

}  // namespace

TEditorPanel::TEditorPanel(QWidget* parent) : QFrame(parent) {
    PlacePanel(this, "PnlTermin", {2, 71, 432, 258}, TBevel::None);

    BtnDateClose = NewButton(this, "BtnDateClose", {333, 226, 95, 19}, "Close");
    Panel4 = NewPanel(this, "Panel4", {16, 16, 409, 201}, TBevel::Lowered);
    SetBackgroundColor(Panel4, clPageSilver);

    NewFieldLabel(Panel4, "Label8", {16, 19, 69, 13}, "Description:", FieldAlignment);
    EdtDiscription = NewEdit(Panel4, "EdtDiscription", {88, 16, 217, 21});
    NewFieldLabel(Panel4, "Label9", {47, 45, 38, 13}, "Script:", FieldAlignment);
    EdtScript = NewEdit(Panel4, "EdtScript", {88, 42, 193, 21});
    ImgScriptSelect = NewImage(Panel4, "ImgScriptSelect", {282, 42, 23, 22}, "picker", false);
    NewFieldLabel(Panel4, "Label12", {48, 71, 37, 13}, "Value:", FieldAlignment);
    EdtValue = NewEdit(Panel4, "EdtValue", {88, 68, 217, 21});
    NewFieldLabel(Panel4, "Label10", {53, 115, 32, 13}, "Time:", FieldAlignment);
    EdtHour = NewEdit(Panel4, "EdtHour", {88, 112, 33, 21});
    NewLabel(Panel4, "Label4", {120, 115, 9, 13}, " : ");
    EdtMin = NewEdit(Panel4, "EdtMin", {128, 112, 33, 21});
    NewFieldLabel(Panel4, "Label11", {181, 115, 32, 13}, "Date:", FieldAlignment);
    DTPDate = new QDateEdit(Panel4);
    DTPDate->setObjectName("DTPDate");
    DTPDate->setGeometry(216, 112, 89, 21);
    DTPDate->setCalendarPopup(true);
    BtnSaveDate = NewButton(Panel4, "BtnSaveDate", {327, 170, 69, 19}, "Save");
}

QList<QWidget*> TEditorPanel::TabChain() const {
    // The value box comes after the date although it stands above the time row.
    return {BtnDateClose, EdtDiscription, EdtScript, EdtHour,
            EdtMin,       DTPDate,        EdtValue,  BtnSaveDate};
}
