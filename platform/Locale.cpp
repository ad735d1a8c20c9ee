#include "Locale.h"

#include <QDate>
#include <QLocale>

std::string FormatShortDate(TDateTime value) {
    TDateParts d = DecodeDate(value);
    return QLocale().toString(QDate(d.Year, d.Month, d.Day), QLocale::ShortFormat).toStdString();
}
