// A calendar set up in a host panel on a pinned day: Wednesday 17 December 2025, 10:30.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QTest>

#include "ClickImage.h"
#include "Clock.h"
#include "JCalendar.h"
#include "Shape.h"

class CalendarTest : public ::testing::Test {
  protected:
    static TDateTime Today() { return EncodeDate(2025, 12, 17) + EncodeTime(10, 30, 0, 0); }

    void SetUp() override {
        Host.resize(300, 200);
        Calendar = new TJCalendar(&Host);
        Calendar->Setup(&Host);
        Host.show();
    }

    // The colours the property page sets, in its order.
    void ApplyPageColours() {
        Calendar->SetHeaderColor(0x800000);
        Calendar->SetBodyColor(0xF0FBFF);
        Calendar->SetWeekNumberColor(0x000080);
        Calendar->SetWeekdayColor(0x000080);
        Calendar->SetOtherMonthColor(0xF0CAA6);
        Calendar->SetHeaderTextColor(0xF0CAA6);
        Calendar->SetArrowColor(0xF0CAA6);
        Calendar->SetMarkerColor(0xF0CAA6);
        Calendar->SetLineColor(0x008000);
    }

    template <class T = QWidget>
    T* Child(const QString& name) {
        T* child = Host.findChild<T*>(name);
        EXPECT_NE(child, nullptr) << name.toStdString();
        return child;
    }
    QLabel* Label(const QString& name) { return Child<QLabel>(name); }
    QLabel* Day(int index) { return Label(QString("DayCell%1").arg(index)); }
    QRect Geometry(const QString& name) { return Child(name)->geometry(); }
    void Click(const QString& name) { QTest::mouseClick(Child(name), Qt::LeftButton); }
    void ClickDay(int index) { QTest::mouseClick(Day(index), Qt::LeftButton); }
    void ClickListItem(const QString& listName, const QString& text) {
        auto* list = Child<QListWidget>(listName);
        auto items = list->findItems(text, Qt::MatchExactly);
        ASSERT_EQ(items.size(), 1) << text.toStdString();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(items[0]).center());
    }
    QString MonthShown() { return Label("MonthCaption")->text() + Label("YearCaption")->text(); }
    QColor TextColor(QLabel* label) { return label->palette().color(QPalette::WindowText); }

    TScopedClock Clock{Today()};
    QWidget Host;
    TJCalendar* Calendar = nullptr;
};
