#include "DayFlagPanel.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>

#include "FormControls.h"

namespace {

constexpr int ItemHeight = 13;

}  // namespace

TDayFlagPanel::TDayFlagPanel(QWidget* parent) : QFrame(parent) {
    PlacePanel(this, "PnlFlags", {10, 14, 193, 155}, TBevel::Raised);

    LblDate =
        NewFieldLabel(this, "LblDate", {5, 5, 179, 13}, "Date", Qt::AlignHCenter | Qt::AlignTop);
    CLBFlags = new QListWidget(this);
    CLBFlags->setObjectName("CLBFlags");
    CLBFlags->setGeometry(8, 20, 177, 109);
    CLBFlags->setUniformItemSizes(true);
    SetBackgroundColor(CLBFlags, clSystemInfoBk);
    BtnFlagsSave = NewButton(this, "BtnFlagsSave", {110, 132, 75, 18}, "Save");
}

void TDayFlagPanel::SetCaptions(const std::vector<std::string>& captions) {
    CLBFlags->clear();
    for (const std::string& caption : captions) {
        auto* item = new QListWidgetItem(QString::fromStdString(caption), CLBFlags);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
        item->setSizeHint(QSize(0, ItemHeight));
    }
}

std::vector<std::string> TDayFlagPanel::Captions() const {
    std::vector<std::string> captions;
    for (int row = 0; row < CLBFlags->count(); ++row) {
        captions.push_back(CLBFlags->item(row)->text().toStdString());
    }
    return captions;
}

std::vector<std::string> TDayFlagPanel::CheckedCaptions() const {
    std::vector<std::string> captions;
    for (int row = 0; row < CLBFlags->count(); ++row) {
        if (CLBFlags->item(row)->checkState() == Qt::Checked) {
            captions.push_back(CLBFlags->item(row)->text().toStdString());
        }
    }
    return captions;
}

void TDayFlagPanel::SetChecked(int row, bool checked) {
    CLBFlags->item(row)->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
}
