#include "DayBlock.h"

#include <QLabel>

#include "FormControls.h"
#include "PageImage.h"

namespace {

QString Numbered(const char* name, int number) {
    return QString::fromLatin1(name) + QString::number(number);
}

}  // namespace

TDayBlock::TDayBlock(QWidget* parent, int number, const QRect& geometry) : QFrame(parent) {
    PlacePanel(this, Numbered("Block", number), geometry, TBevel::Lowered);
    SetBackgroundColor(this, clSystemInfoBk);

    LblTime = NewLabel(this, Numbered("LblTime", number), {3, 3, 54, 13}, {});
    MakeMaroon(LblTime, true);
    LblDisc = NewLabel(this, Numbered("LblDisc", number), {1, 16, 183, 13}, {});
    MakeMaroon(LblDisc, false);
    LblDisc->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    ImgTerminEdit =
        NewImage(this, Numbered("ImgTerminEdit", number), {158, 37, 13, 13}, "edit", true, "Edit");
    ImgTerminKill = NewImage(this, Numbered("ImgTerminKill", number), {172, 37, 13, 13}, "delete",
                             true, "Delete");
    ImgScript = NewImage(this, Numbered("ImgScript", number), {170, 2, 14, 14}, "script", false,
                         "Script missing");
    Clear();
}

void TDayBlock::Fill(int64_t appointmentId, const std::string& time, const std::string& description,
                     bool scriptMissing) {
    ShownId = appointmentId;
    LblTime->setText(QString::fromStdString(time));
    // A text wider than the label is cut at its end, so its start stays readable; the block's
    // tooltip then shows all of it.
    FullDescription = QString::fromStdString(description);
    QString shown =
        LblDisc->fontMetrics().elidedText(FullDescription, Qt::ElideRight, LblDisc->width());
    LblDisc->setText(shown);
    setToolTip(shown == FullDescription ? QString() : FullDescription);
    ImgTerminEdit->setVisible(true);
    ImgTerminKill->setVisible(true);
    ImgScript->setVisible(scriptMissing);
}

void TDayBlock::Clear() {
    LblTime->clear();
    LblDisc->clear();
    FullDescription.clear();
    setToolTip({});
    ImgTerminEdit->setVisible(false);
    ImgTerminKill->setVisible(false);
    ImgScript->setVisible(false);
}

QString TDayBlock::Description() const {
    return FullDescription;
}
