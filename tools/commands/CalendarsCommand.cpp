#include "CalendarsCommand.h"

#include <ostream>

#include "AccountPassword.h"
#include "CalDavClient.h"
#include "CommandSupport.h"
#include "DavSource.h"
#include "JsonValue.h"

namespace {

int Calendars(const TArguments& Args, TToolStreams& Streams) {
    std::string url = Args.Positional("URL");
    if (!IsFeedUrl(url) || LowerCase(url).rfind("webcal://", 0) == 0) {
        Args.Fail("'" + Printable(url) + "' is no http:// or https:// address");
    }
    std::string user = Args.Option("user");
    if (Args.Has("password-file") && user.empty()) {
        Args.Fail("--password-file needs --user NAME");
    }
    TCalDavClient client({user, ReadAccountPassword(user, Args.Option("password-file"))}, {});
    std::vector<TDavCalendar> calendars = client.Discover(url);
    if (Args.Has("json")) {
        TJsonValue list = TJsonValue::Array();
        for (const TDavCalendar& calendar : calendars) {
            list.Append(TJsonValue::Object()
                            .Set("Name", calendar.Name)
                            .Set("Url", calendar.Url)
                            .Set("Colour", calendar.Colour.empty() ? TJsonValue(nullptr)
                                                                   : TJsonValue(calendar.Colour))
                            .Set("Writable", calendar.Writable)
                            .Set("Shared", calendar.Shared));
        }
        list.Write(Streams.Out);
        return 0;
    }
    if (calendars.empty()) {
        Streams.Out << "no calendars of events\n";
        return 0;
    }
    std::vector<std::vector<std::string>> rows = {{"NAME", "URL", "COLOUR", "WRITABLE", "SHARED"}};
    for (const TDavCalendar& calendar : calendars) {
        rows.push_back({calendar.Name.empty() ? "-" : Printable(calendar.Name),
                        Printable(calendar.Url),
                        calendar.Colour.empty() ? "-" : Printable(calendar.Colour),
                        calendar.Writable ? "yes" : "no", calendar.Shared ? "yes" : "no"});
    }
    PrintTable(Streams.Out, rows);
    return 0;
}

}  // namespace

const TCommand CalendarsCommand = {
    "calendars",
    "calendars URL [--user NAME] [--password-file FILE] [--json]",
    {.Positionals = {"URL"}, .Options = {"user", "password-file"}, .Switches = {"json"}},
    Calendars,
    {{"URL", "a CalDAV server, an account's address or one calendar (http:// or https://)"},
     {"--user NAME", "the account (default: none)"},
     {"--password-file FILE",
      "its password, the file's first line (default: MONDREL_DAV_PASSWORD)"},
     {"--json", "one JSON array of the calendars instead of a table (default: a table)"}}};
