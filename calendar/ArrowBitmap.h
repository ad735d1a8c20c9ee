// The picture of a month arrow: a small triangle pointing left or right, flood-filled from
// inside until the border colour stops the fill.
#pragma once

#include <QColor>
#include <QImage>

// A width x height bitmap filled with `background`, a triangle filled and outlined in `arrow`,
// then a flood fill in `arrow` from a point in the triangle over every connected pixel that is
// not `border`. When `border` equals `background` only the triangle is coloured; otherwise the
// fill runs over the whole bitmap.
QImage DrawArrowBitmap(int width, int height, bool right, const QColor& background,
                       const QColor& arrow, const QColor& border);
