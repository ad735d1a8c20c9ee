#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "ICalAdapter.h"
#include "TestSupport.h"
#include "ToolTestSupport.h"

namespace {

const TICalWindow Year2027{{2027, 1, 1}, {2027, 12, 31}};

std::vector<std::string> Starts(const TICalEvent& event) {
    std::vector<std::string> starts;
    for (const TICalOccurrence& o : event.Occurrences) {
        char text[40];
        std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", o.Start.Year,
                      o.Start.Month, o.Start.Day, o.Start.Hour, o.Start.Minute, o.Start.Second);
        starts.push_back(text);
    }
    return starts;
}

using TTexts = std::vector<std::string>;

TEST(ICalAdapter, CustomNamedTimeZoneOfTheFileConvertsToLocalTime) {
    TZoneScope zone("UTC");
    TICalendar calendar = ReadICalendar(Calendar("BEGIN:VTIMEZONE\r\n"
                                                 "TZID:Office Time\r\n"
                                                 "BEGIN:STANDARD\r\n"
                                                 "DTSTART:19700101T000000\r\n"
                                                 "TZOFFSETFROM:+0530\r\n"
                                                 "TZOFFSETTO:+0530\r\n"
                                                 "END:STANDARD\r\n"
                                                 "END:VTIMEZONE\r\n"
                                                 "BEGIN:VEVENT\r\n"
                                                 "UID:office\r\n"
                                                 "DTSTART;TZID=Office Time:20270104T090000\r\n"
                                                 "SUMMARY:Stand-up\r\n"
                                                 "END:VEVENT\r\n"),
                                        Year2027);
    ASSERT_EQ(calendar.Events.size(), 1u);
    EXPECT_EQ(Starts(calendar.Events[0]), TTexts{"2027-01-04 03:30:00"});
    EXPECT_EQ(calendar.Events[0].Occurrences[0].RecurrenceID, "");
}

TEST(ICalAdapter, UtcAndSystemZoneTimesFollowTZWhileFloatingTimesStand) {
    std::string text = Calendar(
        "BEGIN:VEVENT\r\nUID:utc\r\nDTSTART:20270701T120000Z\r\nEND:VEVENT\r\n"
        "BEGIN:VEVENT\r\nUID:ny\r\nDTSTART;TZID=America/New_York:20270701T080000\r\nEND:VEVENT\r\n"
        "BEGIN:VEVENT\r\nUID:floating\r\nDTSTART:20270701T120000\r\nEND:VEVENT\r\n");
    {
        TZoneScope zone("Europe/Berlin");
        TICalendar calendar = ReadICalendar(text, Year2027);
        ASSERT_EQ(calendar.Events.size(), 3u);
        EXPECT_EQ(Starts(calendar.Events[0]), TTexts{"2027-07-01 14:00:00"});
        EXPECT_EQ(Starts(calendar.Events[1]), TTexts{"2027-07-01 14:00:00"});
        EXPECT_EQ(Starts(calendar.Events[2]), TTexts{"2027-07-01 12:00:00"});
    }
    {
        TZoneScope zone("Asia/Tokyo");
        TICalendar calendar = ReadICalendar(text, Year2027);
        ASSERT_EQ(calendar.Events.size(), 3u);
        EXPECT_EQ(Starts(calendar.Events[0]), TTexts{"2027-07-01 21:00:00"});
        EXPECT_EQ(Starts(calendar.Events[1]), TTexts{"2027-07-01 21:00:00"});
        EXPECT_EQ(Starts(calendar.Events[2]), TTexts{"2027-07-01 12:00:00"});
    }
}

TEST(ICalAdapter, UnusableEventsAreSkippedByNameAndTheOthersStillRead) {
    TICalendar calendar = ReadICalendar(
        Calendar("BEGIN:VEVENT\r\nUID:mars\r\nDTSTART;TZID=Mars/Olympus:20270104T090000\r\n"
                 "END:VEVENT\r\n"
                 "BEGIN:VEVENT\r\nSUMMARY:No start\r\nEND:VEVENT\r\n"
                 "BEGIN:VEVENT\r\nUID:day0\r\nDTSTART:2027010X\r\nEND:VEVENT\r\n"
                 "BEGIN:VEVENT\r\nUID:rule\r\nDTSTART:20270104T090000\r\n"
                 "RRULE:FREQ=SOMETIMES\r\nEND:VEVENT\r\n"
                 "BEGIN:VEVENT\r\nUID:good\r\nDTSTART:20270104T090000\r\nDESCRIPTION:\r\n"
                 "RRULE:FREQ=WEEKLY;UNTIL=99991231T000000Z\r\nEND:VEVENT\r\n"
                 "BEGIN:VEVENT\r\nUID:old\r\nDTSTART:00270104T090000\r\nEND:VEVENT\r\n"
                 "BEGIN:VEVENT\r\nUID:long\r\nDTSTART;VALUE=DATE:20270104\r\n"
                 "DTEND;VALUE=DATE:99991231\r\nEND:VEVENT\r\n"
                 "BEGIN:VEVENT\r\nUID:birthday\r\nDTSTART;VALUE=DATE:16040105\r\n"
                 "RRULE:FREQ=YEARLY\r\nEND:VEVENT\r\n"),
        Year2027);
    ASSERT_EQ(calendar.Events.size(), 2u);
    EXPECT_EQ(calendar.Events[0].UID, "good");
    EXPECT_EQ(calendar.Events[1].Occurrences.size(), 1u);
    ASSERT_EQ(calendar.Skipped.size(), 6u);
    // Days the store cannot hold; an UNTIL far off only means "no end", and a series may
    // start long ago.
    EXPECT_EQ(calendar.Skipped[4].Reason, "DTSTART 00270104T090000 is outside 1900-2200");
    EXPECT_EQ(calendar.Skipped[5].Reason, "DTEND 99991231 is outside 1900-2200");
    EXPECT_EQ(calendar.Skipped[0].Name, "mars");
    EXPECT_EQ(calendar.Skipped[0].Reason, "unknown time zone \"Mars/Olympus\"");
    EXPECT_EQ(calendar.Skipped[1].Name, "\"No start\" (event 2)");
    EXPECT_EQ(calendar.Skipped[1].Reason, "no DTSTART");
    EXPECT_EQ(calendar.Skipped[2].Name, "day0");
    EXPECT_NE(calendar.Skipped[2].Reason.find("no real date"), std::string::npos);
    // A property libical cannot read; an empty one (DESCRIPTION above) is only empty.
    EXPECT_EQ(calendar.Skipped[3].Reason,
              "broken property: Can't parse as RECUR value in RRULE property. Removing entire "
              "property: FREQ=SOMETIMES");
}

TEST(ICalAdapter, BrokenTextOfOursIsLeftOutAndNamedWhileTheEventReads) {
    TICalendar calendar = ReadICalendar(
        Calendar("BEGIN:VEVENT\r\nUID:ours\r\nDTSTART:20270104T090000\r\nX-MONDREL-DONE:yes\r\n"
                 "X-MONDREL-SCRIPT;ENCODING=BASE64;VALUE=BINARY:@@\r\nX-MONDREL-VALUE:7\r\n"
                 "END:VEVENT\r\n"),
        Year2027);
    ASSERT_EQ(calendar.Events.size(), 1u);
    EXPECT_EQ(calendar.Events[0].Value, "7");
    EXPECT_EQ(calendar.Events[0].Done, 0);
    EXPECT_EQ(
        calendar.Events[0].Warnings,
        (TTexts{"left out property X-MONDREL-DONE that cannot be read: X-MONDREL-DONE "
                "\"yes\" is no number",
                "left out property X-MONDREL-SCRIPT that cannot be read: broken base64 text"}));
}

// A text that holds no calendar is named in a few words where its kind is known.
TEST(ICalAdapter, TextsThatAreNoCalendarRaiseSayingWhatTheyAre) {
    struct TCase {
        std::string Text;
        std::string Message;
    };
    for (const TCase& text :
         {TCase{"hello world\n", "no iCalendar data (BEGIN:VCALENDAR is missing)"},
          TCase{"\r\n", "no iCalendar data: it is empty"},
          TCase{"<!DOCTYPE html>\n<html><body>Sign in</body></html>",
                "no iCalendar data: it is a web page (HTML): a feed's address may lead to a "
                "sign-in or error page"},
          TCase{std::string("\x1F\x8B\x08\0", 4),
                "no iCalendar data: it is gzip-compressed: "
                "unpack it first"},
          TCase{std::string("\xFF\xFE\0\0B\0\0\0", 8),
                "no iCalendar data: it is UTF-32 text, which is not read: save it as UTF-8"},
          TCase{"BEGIN:VCARD\r\nFN:Anna\r\nEND:VCARD\r\n",
                "no iCalendar data: it is an address book (vCard), not a calendar"}}) {
        EXPECT_THROW_MSG(ReadICalendar(text.Text, Year2027), EICalError, text.Message);
    }
    EXPECT_NO_THROW(ReadICalendar(Calendar(""), Year2027));
}

TEST(ICalAdapter, TextCutInsideABeginLineNamesTheComponentThatIsOpen) {
    try {
        ReadICalendar("BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nUID:a\r\nBEGIN:VAL", Year2027);
        FAIL() << "no ECutOffCalendar";
    } catch (const ECutOffCalendar& cut) {
        EXPECT_STREQ(cut.what(), "END:VEVENT is missing: the file looks cut off");
    }
}

// Lotus Notes ends lines with CR alone, Windows Calendar writes UTF-16 (with a byte-order mark),
// and some feeds still write Latin-1: each is read as the UTF-8 it stands for.
TEST(ICalAdapter, CrOnlyUtf16AndLatin1TextsReadAsUtf8) {
    std::string event =
        "BEGIN:VEVENT\r\nUID:a\r\nDTSTART:20270104T090000\r\n"
        "SUMMARY:M\xC3\xBCll \xE2\x82\xAC\r\nEND:VEVENT\r\n";
    std::string crOnly = Calendar(event);
    std::erase(crOnly, '\n');
    std::string utf16 = "\xFF\xFE";
    for (char16_t c : std::u16string(u"BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nUID:a\r\n"
                                     u"DTSTART:20270104T090000\r\nSUMMARY:M\u00FCll \u20AC\r\n"
                                     u"END:VEVENT\r\nEND:VCALENDAR\r\n")) {
        utf16 += static_cast<char>(c & 0xFF);
        utf16 += static_cast<char>(c >> 8);
    }
    std::string latin1 = Calendar(
        "BEGIN:VEVENT\r\nUID:a\r\nDTSTART:20270104T090000\r\n"
        "SUMMARY:M\xFCll \x80\r\nEND:VEVENT\r\n");
    // Without its byte-order mark, UTF-16 is known by the zero beside each ASCII letter.
    for (const std::string& text : {crOnly, utf16, utf16.substr(2), latin1}) {
        TICalendar calendar = ReadICalendar(text, Year2027);
        ASSERT_EQ(calendar.Events.size(), 1u);
        EXPECT_EQ(calendar.Events[0].Summary, "M\xC3\xBCll \xE2\x82\xAC");
        EXPECT_EQ(Starts(calendar.Events[0]), TTexts{"2027-01-04 09:00:00"});
    }
}

TEST(ICalAdapter, WeeklyRuleWithExdateAndRdateInAZoneKeepsItsWallClockTime) {
    TZoneScope zone("Europe/Berlin");
    TICalendar calendar = ReadICalendar(
        Calendar("BEGIN:VEVENT\r\nUID:w\r\nDTSTART;TZID=Europe/Berlin:20270315T090000\r\n"
                 "RRULE:FREQ=WEEKLY;COUNT=4\r\n"
                 "EXDATE;TZID=Europe/Berlin:20270322T090000\r\n"
                 "RDATE;TZID=Europe/Berlin:20270324T100000\r\n"
                 "END:VEVENT\r\n"),
        Year2027);
    ASSERT_EQ(calendar.Events.size(), 1u);
    // Summer time begins on 28 March; the appointment stays at 09:00.
    EXPECT_EQ(Starts(calendar.Events[0]), (TTexts{"2027-03-15 09:00:00", "2027-03-24 10:00:00",
                                                  "2027-03-29 09:00:00", "2027-04-05 09:00:00"}));
    EXPECT_EQ(calendar.Events[0].Occurrences[0].RecurrenceID, "20270315T080000Z");
    EXPECT_EQ(calendar.Events[0].Occurrences[2].RecurrenceID, "20270329T070000Z");
}

TEST(ICalAdapter, RecurrenceIdReplacesItsOccurrenceOrStandsAlone) {
    TICalendar calendar = ReadICalendar(
        Calendar("BEGIN:VEVENT\r\nUID:s\r\nDTSTART:20270104T090000Z\r\nSUMMARY:Series\r\n"
                 "RRULE:FREQ=DAILY;COUNT=3\r\nEND:VEVENT\r\n"
                 "BEGIN:VEVENT\r\nUID:s\r\nRECURRENCE-ID:20270105T090000Z\r\n"
                 "DTSTART:20270105T150000Z\r\nSUMMARY:Moved\r\nEND:VEVENT\r\n"
                 "BEGIN:VEVENT\r\nUID:s\r\nRECURRENCE-ID:20270106T090000Z\r\n"
                 "DTSTART:20270106T090000Z\r\nSTATUS:CANCELLED\r\nEND:VEVENT\r\n"
                 "BEGIN:VEVENT\r\nUID:lonely\r\nRECURRENCE-ID:20200101T090000Z\r\n"
                 "DTSTART:20200101T100000Z\r\nEND:VEVENT\r\n"),
        Year2027);
    ASSERT_EQ(calendar.Events.size(), 4u);
    EXPECT_EQ(Starts(calendar.Events[0]), TTexts{"2027-01-04 09:00:00"});
    EXPECT_EQ(Starts(calendar.Events[1]), TTexts{"2027-01-05 15:00:00"});
    EXPECT_EQ(calendar.Events[1].Occurrences[0].RecurrenceID, "20270105T090000Z");
    EXPECT_TRUE(calendar.Events[2].Occurrences.empty());
    EXPECT_EQ(Starts(calendar.Events[3]), TTexts{"2020-01-01 10:00:00"});
}

TEST(ICalAdapter, AllDayEventCoversEachOfItsDaysAtMidnight) {
    TICalendar calendar = ReadICalendar(
        Calendar("BEGIN:VEVENT\r\nUID:camp\r\nDTSTART;VALUE=DATE:20270802\r\n"
                 "DTEND;VALUE=DATE:20270805\r\nCATEGORIES:Family,MONDREL-FLAG\r\nEND:VEVENT\r\n"
                 "BEGIN:VEVENT\r\nUID:one\r\nDTSTART;VALUE=DATE:20300101\r\nEND:VEVENT\r\n"),
        Year2027);
    ASSERT_EQ(calendar.Events.size(), 2u);
    EXPECT_TRUE(calendar.Events[0].AllDay);
    EXPECT_EQ(Starts(calendar.Events[0]),
              (TTexts{"2027-08-02 00:00:00", "2027-08-03 00:00:00", "2027-08-04 00:00:00"}));
    EXPECT_EQ(calendar.Events[0].Categories, (TTexts{"Family", "MONDREL-FLAG"}));
    // Without a rule an event is taken whatever its date.
    EXPECT_EQ(Starts(calendar.Events[1]), TTexts{"2030-01-01 00:00:00"});
}

TEST(ICalAdapter, RuleIsExpandedInsideTheWindowAndCutAtTheCap) {
    TICalendar calendar = ReadICalendar(
        Calendar("BEGIN:VEVENT\r\nUID:daily\r\nDTSTART:20200101T070000\r\nRRULE:FREQ=DAILY\r\n"
                 "END:VEVENT\r\n"
                 "BEGIN:VEVENT\r\nUID:busy\r\nDTSTART:20270101T000000\r\nRRULE:FREQ=SECONDLY\r\n"
                 "END:VEVENT\r\n"),
        Year2027);
    ASSERT_EQ(calendar.Events.size(), 2u);
    EXPECT_EQ(calendar.Events[0].Occurrences.size(), 365u);
    EXPECT_FALSE(calendar.Events[0].Capped);
    EXPECT_EQ(calendar.Events[0].Occurrences.front().Start, (TICalStamp{2027, 1, 1, 7, 0, 0}));
    EXPECT_EQ(calendar.Events[0].Occurrences.front().RecurrenceID, "20270101T070000");
    EXPECT_EQ(calendar.Events[1].Occurrences.size(), ICalOccurrenceCap);
    EXPECT_TRUE(calendar.Events[1].Capped);
    EXPECT_EQ(calendar.Events[1].Occurrences.back().Start, (TICalStamp{2027, 1, 1, 2, 46, 39}));
}

TEST(ICalAdapter, CountIncludesADtstartTheRuleDoesNotProduce) {
    TZoneScope zone("UTC");
    TICalendar calendar = ReadICalendar(Calendar("BEGIN:VEVENT\r\nUID:c\r\n"
                                                 "DTSTART:20031209T091500Z\r\n"
                                                 "RRULE:FREQ=WEEKLY;COUNT=2;BYDAY=MO\r\n"
                                                 "END:VEVENT\r\n"),
                                        {{2003, 1, 1}, {2004, 12, 31}});
    ASSERT_EQ(calendar.Events.size(), 1u);
    EXPECT_EQ(Starts(calendar.Events[0]), (TTexts{"2003-12-09 09:15:00", "2003-12-15 09:15:00"}));
}

TEST(ICalAdapter, RepeatRulesExpandFromTheirFirstDay) {
    bool capped = true;
    TICalWindow window{{2027, 1, 1}, {2027, 12, 31}};
    auto count =
        ExpandRepeatRule("FREQ=WEEKLY;BYDAY=MO,FR;COUNT=5", {2027, 1, 4, 8, 0, 0}, window, capped);
    EXPECT_FALSE(capped);
    EXPECT_EQ(count, (std::vector<TICalStamp>{{2027, 1, 4, 8, 0, 0},
                                              {2027, 1, 8, 8, 0, 0},
                                              {2027, 1, 11, 8, 0, 0},
                                              {2027, 1, 15, 8, 0, 0},
                                              {2027, 1, 18, 8, 0, 0}}));
    auto lastDays = ExpandRepeatRule("FREQ=MONTHLY;BYMONTHDAY=-1;UNTIL=20270401T000000",
                                     {2027, 1, 31, 20, 0, 0}, window, capped);
    EXPECT_EQ(lastDays,
              (std::vector<TICalStamp>{
                  {2027, 1, 31, 20, 0, 0}, {2027, 2, 28, 20, 0, 0}, {2027, 3, 31, 20, 0, 0}}));
    EXPECT_EQ(ExpandRepeatRule("FREQ=YEARLY", {2027, 2, 1, 8, 0, 0}, window, capped).size(), 1u);
    EXPECT_EQ(ExpandRepeatRule("FREQ=MINUTELY", {2027, 2, 1, 8, 0, 0}, window, capped).size(),
              ICalOccurrenceCap);
    EXPECT_TRUE(capped);
}

TEST(ICalAdapter, BadRepeatRuleRaisesTheReason) {
    const std::string noFrequency =
        "no repeat rule: FREQ=SECONDLY, MINUTELY, HOURLY, DAILY, WEEKLY, MONTHLY or YEARLY is "
        "missing";
    EXPECT_THROW_MSG(CheckRepeatRule("FREQ=SOMETIMES"), ERepeatRuleError, noFrequency);
    EXPECT_THROW_MSG(CheckRepeatRule(""), ERepeatRuleError, noFrequency);
    try {
        CheckRepeatRule("FREQ=WEEKLY;BYDAY=XX");
        FAIL() << "no error";
    } catch (const ERepeatRuleError& error) {
        EXPECT_NE(std::string(error.what()), "");  // libical's reason; its wording is libical's
    }
    EXPECT_NO_THROW(CheckRepeatRule("FREQ=MONTHLY;BYMONTHDAY=-1"));
}

TEST(ICalAdapter, WrittenCalendarIsFoldedEscapedAndReadsBackByteForByte) {
    std::string longText;
    for (int i = 0; i < 60; ++i) {
        longText += "\xC3\xA4\xE2\x82\xAC";  // ä€
    }
    const std::vector<std::string> texts{"quote \" semi ; comma , backslash \\ end\\",
                                         "two\nlines\r\nand CR",
                                         "bin\x01\x7F\xFF\xFE",
                                         longText,
                                         "",
                                         " spaced  "};
    std::ostringstream out;
    {
        TICalWriter writer(out);
        for (size_t i = 0; i < texts.size(); ++i) {
            TICalOutEvent event;
            event.UID = "u" + std::to_string(i);
            event.Start = {2027, 1, 4, 9, 30, 15};
            event.Summary = texts[i];
            event.Value = texts[(i + 1) % texts.size()];
            event.Script = texts[(i + 2) % texts.size()];
            event.Done = static_cast<int>(i % 2);
            writer.Add(event);
        }
        TICalOutEvent flag;
        flag.UID = "flag";
        flag.AllDay = true;
        flag.Start = {2027, 12, 31};
        flag.Summary = "Public holiday";
        flag.Categories = {"MONDREL-FLAG"};
        writer.Add(flag);
        writer.Finish();
    }
    std::string text = out.str();
    EXPECT_EQ(text.rfind("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:", 0), 0u);
    size_t lineStart = 0;
    while (lineStart < text.size()) {
        size_t end = text.find("\r\n", lineStart);
        ASSERT_NE(end, std::string::npos) << "line without CRLF at " << lineStart;
        EXPECT_LE(end - lineStart, 75u) << text.substr(lineStart, end - lineStart);
        EXPECT_EQ(text.substr(lineStart, end - lineStart).find('\n'), std::string::npos);
        lineStart = end + 2;
    }

    TICalendar back = ReadICalendar(text, Year2027);
    ASSERT_TRUE(back.Skipped.empty()) << back.Skipped[0].Name << ": " << back.Skipped[0].Reason;
    ASSERT_EQ(back.Events.size(), texts.size() + 1);
    for (size_t i = 0; i < texts.size(); ++i) {
        const TICalEvent& event = back.Events[i];
        EXPECT_EQ(event.UID, "u" + std::to_string(i));
        EXPECT_EQ(event.Summary, texts[i]) << i;
        EXPECT_EQ(event.Value, texts[(i + 1) % texts.size()]) << i;
        EXPECT_EQ(event.Script, texts[(i + 2) % texts.size()]) << i;
        EXPECT_EQ(event.Done, static_cast<int>(i % 2));
        EXPECT_EQ(Starts(event), TTexts{"2027-01-04 09:30:15"});
    }
    const TICalEvent& flag = back.Events.back();
    EXPECT_TRUE(flag.AllDay);
    EXPECT_EQ(Starts(flag), TTexts{"2027-12-31 00:00:00"});
    EXPECT_EQ(flag.Categories, TTexts{"MONDREL-FLAG"});
    EXPECT_FALSE(flag.Value.has_value());
}

TEST(ICalAdapter, SummaryForOtherCalendarsReplacesOnlyTheBytesThatAreNoUtf8) {
    std::ostringstream out;
    TICalWriter writer(out);
    TICalOutEvent event;
    event.UID = "bins";
    event.Start = {2027, 1, 4, 7, 0, 0};
    event.Summary = "M\xFCllraus am Montag";  // Latin-1, not UTF-8
    writer.Add(event);
    writer.Finish();
    EXPECT_NE(out.str().find("\r\nSUMMARY:M\xEF\xBF\xBDllraus am Montag\r\n"), std::string::npos)
        << out.str();
    TICalendar back = ReadICalendar(out.str(), Year2027);
    ASSERT_EQ(back.Events.size(), 1u);
    EXPECT_EQ(back.Events[0].Summary, event.Summary);
}

}  // namespace
