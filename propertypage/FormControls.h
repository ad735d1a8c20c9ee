// Small factories for the page's controls: each control is made at its fixed place with its
// component name, so every panel reads as the list of its components.
#pragma once

#include <QColor>
#include <QPixmap>
#include <QRect>
#include <QString>

#include "Colors.h"

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;
class TPageImage;

enum class TBevel { None, Lowered, Raised };

constexpr TColor clPageMaroon = 0x000080;
constexpr TColor clPageSilver = 0xC0C0C0;
constexpr TColor clPageWhite = 0xFFFFFF;

// One of the page's pictures, compiled into the library ("logo", "delete", ...).
QPixmap PagePicture(const QString& name);

void SetBackgroundColor(QWidget* widget, TColor color);

// Names, places and frames a panel; it paints its own background.
void PlacePanel(QFrame* panel, const QString& name, const QRect& geometry, TBevel bevel);
QFrame* NewPanel(QWidget* parent, const QString& name, const QRect& geometry, TBevel bevel);

// A label at a fixed place; an empty size lets it take the size of its text.
QLabel* NewLabel(QWidget* parent, const QString& name, const QRect& geometry, const QString& text);
// Maroon text, optionally bold.
void MakeMaroon(QLabel* label, bool bold);
// A bold maroon caption of a field.
QLabel* NewFieldLabel(QWidget* parent, const QString& name, const QRect& geometry,
                      const QString& text, Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignTop);
void MakeBold(QWidget* widget);

// A push button that never acts as the dialog's default button.
QPushButton* NewButton(QWidget* parent, const QString& name, const QRect& geometry,
                       const QString& caption);

// An edit box in the info colour.
QLineEdit* NewEdit(QWidget* parent, const QString& name, const QRect& geometry);

TPageImage* NewImage(QWidget* parent, const QString& name, const QRect& geometry,
                     const QString& picture, bool centred, const QString& hint = {});
