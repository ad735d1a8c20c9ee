#include "FormControls.h"

#include <QFont>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>

#include "PageImage.h"

QPixmap PagePicture(const QString& name) {
    return QPixmap(QStringLiteral(":/propertypage/images/%1.png").arg(name));
}

void SetBackgroundColor(QWidget* widget, TColor color) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, ColorToQColor(color));
    palette.setColor(QPalette::Base, ColorToQColor(color));
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

void PlacePanel(QFrame* panel, const QString& name, const QRect& geometry, TBevel bevel) {
    panel->setObjectName(name);
    panel->setGeometry(geometry);
    switch (bevel) {
        case TBevel::None:
            panel->setFrameStyle(QFrame::NoFrame);
            break;
        case TBevel::Lowered:
            panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
            break;
        case TBevel::Raised:
            panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
            break;
    }
    panel->setLineWidth(1);
    panel->setAutoFillBackground(true);
}

QFrame* NewPanel(QWidget* parent, const QString& name, const QRect& geometry, TBevel bevel) {
    auto* panel = new QFrame(parent);
    PlacePanel(panel, name, geometry, bevel);
    return panel;
}

QLabel* NewLabel(QWidget* parent, const QString& name, const QRect& geometry, const QString& text) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    if (geometry.size().isEmpty()) {
        label->move(geometry.topLeft());
        label->adjustSize();
    } else {
        label->setGeometry(geometry);
    }
    return label;
}

void MakeBold(QWidget* widget) {
    QFont font = widget->font();
    font.setBold(true);
    widget->setFont(font);
}

void MakeMaroon(QLabel* label, bool bold) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, ColorToQColor(clPageMaroon));
    label->setPalette(palette);
    if (bold) {
        MakeBold(label);
    }
}

QLabel* NewFieldLabel(QWidget* parent, const QString& name, const QRect& geometry,
                      const QString& text, Qt::Alignment alignment) {
    QLabel* label = NewLabel(parent, name, geometry, text);
    MakeMaroon(label, true);
    label->setAlignment(alignment);
    return label;
}

QPushButton* NewButton(QWidget* parent, const QString& name, const QRect& geometry,
                       const QString& caption) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setGeometry(geometry);
    // Enter in an edit box must not press some button of the dialog.
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

QLineEdit* NewEdit(QWidget* parent, const QString& name, const QRect& geometry) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setGeometry(geometry);
    SetBackgroundColor(edit, clSystemInfoBk);
    edit->setAutoFillBackground(false);
    return edit;
}

TPageImage* NewImage(QWidget* parent, const QString& name, const QRect& geometry,
                     const QString& picture, bool centred, const QString& hint) {
    auto* image = new TPageImage(parent);
    image->setObjectName(name);
    image->setGeometry(geometry);
    image->SetPicture(PagePicture(picture), centred);
    if (!hint.isEmpty()) {
        image->setToolTip(hint);
    }
    return image;
}
