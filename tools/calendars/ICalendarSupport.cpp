#include "ICalendarSupport.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "FeedFetch.h"
#include "MondrelError.h"

TDateTime StampDay(const TICalStamp& Stamp) {
    return EncodeDate(Stamp.Year, Stamp.Month, Stamp.Day);
}

TDateTime StampTime(const TICalStamp& Stamp) {
    return EncodeTime(Stamp.Hour, Stamp.Minute, Stamp.Second, 0);
}

TICalStamp ToStamp(TDateTime Day, TDateTime Time) {
    TDateParts day = DecodeDate(Day);
    TTimeParts time = DecodeTime(Time);
    return {day.Year, day.Month, day.Day, time.Hour, time.Minute, time.Second};
}

std::string ReadCalendarText(const std::string& File, std::istream& In) {
    return ReadCalendarText(File, In, {});
}

std::string ReadCalendarText(const std::string& File, std::istream& In,
                             const TFeedAccount& Account) {
    if (File == "-") {
        return std::string(std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>());
    }
    if (IsFeedUrl(File)) {
        return FetchFeed(File, {}, Account);
    }
    std::ifstream file(File, std::ios::binary);
    if (!std::filesystem::is_regular_file(File) || !file) {
        throw EMondrelError("cannot read \"" + File + "\"");
    }
    std::ostringstream text;
    text << file.rdbuf();
    if (file.bad()) {
        throw EMondrelError("cannot read \"" + File + "\"");
    }
    return text.str();
}
