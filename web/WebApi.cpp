#include "WebApi.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <optional>
#include <sstream>

#include "Clock.h"
#include "CommandLine.h"
#include "CommandSupport.h"
#include "DBCnx.h"
#include "DatabaseCheck.h"
#include "JsonValue.h"
#include "MondrelError.h"
#include "PageFiles.h"
#include "PasswordHash.h"
#include "RunHistory.h"
#include "SourceTables.h"
#include "Sqlite3Db.h"
#include "TimeText.h"
#include "ToolCall.h"
#include "ToolTables.h"

namespace {

constexpr const char* SessionCookie = "mondrel_session";

// A request the server refuses, with the status that says whose fault it is.
class EHttpError : public EMondrelError {
  public:
    EHttpError(int Status, const std::string& Message) : EMondrelError(Message), Status(Status) {}
    int Status;
};

std::vector<std::string> Segments(const std::string& path) {
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(path);
    while (std::getline(in, part, '/')) {
        if (!part.empty()) {
            parts.push_back(part);
        }
    }
    return parts;
}

std::optional<std::map<std::string, std::string>> Match(const std::string& pattern,
                                                        const std::string& path) {
    std::vector<std::string> want = Segments(pattern), have = Segments(path);
    if (want.size() != have.size()) {
        return std::nullopt;
    }
    std::map<std::string, std::string> parts;
    for (size_t i = 0; i < want.size(); ++i) {
        if (want[i].front() == '{') {
            parts[want[i].substr(1, want[i].size() - 2)] = have[i];
        } else if (want[i] != have[i]) {
            return std::nullopt;
        }
    }
    return parts;
}

// Messages of the store may span lines; an answer carries one.
std::string OneLine(std::string text) {
    for (char& c : text) {
        if (c == '\n' || c == '\r') {
            c = ' ';
        }
    }
    while (!text.empty() && text.back() == ' ') {
        text.pop_back();
    }
    return text;
}

THttpResponse Json(const TJsonValue& value, int status = 200) {
    return {status, "application/json", value.CompactText(), {}};
}

THttpResponse ErrorResponse(int status, const std::string& message) {
    return Json(TJsonValue::Object().Set("error", OneLine(message)), status);
}

bool IsBusy(const std::string& message) {
    return message.find("database is locked") != std::string::npos ||
           message.find("database is busy") != std::string::npos;
}

TJsonValue Body(const THttpRequest& request) {
    if (request.Body.empty()) {
        return TJsonValue::Object();
    }
    TJsonValue body = TJsonValue::Parse(request.Body);
    if (!body.IsObject()) {
        throw EHttpError(400, "the body must be a JSON object");
    }
    return body;
}

// A text field of the body, if given; anything but a text is refused.
std::optional<std::string> TextField(const TJsonValue& body, const std::string& name) {
    if (!body.Has(name) || body.Get(name).IsNull()) {
        return std::nullopt;
    }
    TJsonValue value = body.Get(name);
    if (!value.IsText()) {
        throw EHttpError(400, "\"" + name + "\" must be a text");
    }
    return value.AsText();
}

bool BoolField(const TJsonValue& body, const std::string& name) {
    if (!body.Has(name) || body.Get(name).IsNull()) {
        return false;
    }
    TJsonValue value = body.Get(name);
    if (!value.IsBool()) {
        throw EHttpError(400, "\"" + name + "\" must be true or false");
    }
    return value.AsBool();
}

// The options of a command from the body's text fields, each given only when present.
void AddOptions(std::vector<std::string>& args, const TJsonValue& body,
                const std::vector<std::pair<std::string, std::string>>& fields) {
    for (const auto& [field, option] : fields) {
        if (std::optional<std::string> value = TextField(body, field)) {
            args.push_back(ToolOption(option, *value));
        }
    }
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty()) {
            lines.push_back(line);
        }
    }
    return lines;
}

// A command's report as an answer: what it printed and its warnings, line by line.
THttpResponse Report(const TToolOutput& output, std::vector<std::string> warnings = {}) {
    TJsonValue lines = TJsonValue::Array(), warned = TJsonValue::Array();
    for (const std::string& line : Lines(output.Out)) {
        lines.Append(line);
    }
    for (const std::string& line : Lines(output.Err)) {
        warned.Append(line.rfind("mondrel-db: ", 0) == 0 ? line.substr(12) : line);
    }
    for (const std::string& line : warnings) {
        warned.Append(line);
    }
    return Json(TJsonValue::Object().Set("done", lines).Set("warnings", warned));
}

// A command's `--json` document, as the command line prints it.
THttpResponse Document(const TToolOutput& output) {
    return {200, "application/json", output.Out, {}};
}

std::string CookieValue(const std::string& header, const std::string& name) {
    std::istringstream in(header);
    for (std::string pair; std::getline(in, pair, ';');) {
        size_t start = pair.find_first_not_of(' ');
        if (start == std::string::npos) {
            continue;
        }
        pair = pair.substr(start);
        if (pair.rfind(name + "=", 0) == 0) {
            return pair.substr(name.size() + 1);
        }
    }
    return "";
}

std::string ColorHex(int32_t color) {
    auto value = static_cast<uint32_t>(color);
    char text[8];
    std::snprintf(text, sizeof text, "#%02X%02X%02X", value & 0xFF, (value >> 8) & 0xFF,
                  (value >> 16) & 0xFF);
    return text;
}

TDateTime ParseDay(const std::string& text) {
    TArguments args("date", {.Options = {"date"}}, {ToolOption("date", text)});
    return args.Day("date");
}

TDateTime ParseMonth(const std::string& text) {
    TArguments args("month", {.Options = {"month"}}, {ToolOption("month", text)});
    return args.Month("month");
}

// The calendar a path's {c} names: its number among Count, or nothing.
std::optional<size_t> CalendarIndex(const std::string& text, size_t count) {
    if (text.empty() || text.size() > 4 ||
        text.find_first_not_of("0123456789") != std::string::npos || std::stoul(text) >= count) {
        return std::nullopt;
    }
    return std::stoul(text);
}

// Where each row of a source came from, by Dates.ID.
struct TOrigin {
    std::string Source;
    std::string Kind;
    bool Edited = false;
};
std::map<int64_t, TOrigin> Origins(TDBTransaction& transaction, const TDates& rows) {
    std::map<int64_t, TOrigin> origins;
    TSqliteDatabase& database = transaction.Database();
    if (rows.empty() || !HasImportTable(database)) {
        return origins;
    }
    std::vector<TSource> sources = ReadSources(database);
    for (const std::string& name : UnlistedSources(database)) {
        sources.push_back({name, LegacySource, "", {}, "", "", ""});
    }
    std::map<int64_t, bool> wanted;
    for (const TMondrelDate& row : rows) {
        wanted[row.ID] = true;
    }
    for (const TSource& source : sources) {
        for (const TImportRecord& record : ReadImportRecords(database, source.Name)) {
            if (record.RowExists && wanted.count(record.ID) != 0) {
                origins[record.ID] = {source.Name, source.Kind, !(record.Current == record.Last)};
            }
        }
    }
    return origins;
}

}  // namespace

// What a handler gets: the request, the path's parts by name and the session.
struct TCall {
    const THttpRequest& Request;
    std::map<std::string, std::string> Parts;
    const TWebSession* Session = nullptr;

    const std::string& Part(const std::string& name) const { return Parts.at(name); }
};

using TRouteHandler = std::function<THttpResponse(TCall&)>;

struct TWebApi::TRoute {
    std::string Method;
    std::string Pattern;  // parts in braces match one path segment
    TRouteHandler Handler;
    // Work that waits for another server (a feed, up to its time-out) holds no gate, so that
    // the calendar's reads and the server's other writes go on meanwhile; its own writes meet
    // them in the file's lock, as another program's would.
    bool Fetches = false;
};

TWebApi::TWebApi(TWebConfig Config) : FConfig(std::move(Config)), FRoutes(MakeRoutes()) {
    for (size_t i = 0; i < FConfig.Databases.size(); ++i) {
        FGates.push_back(std::make_unique<TReadWriteGate>());
        FPools.push_back(std::make_unique<TConnectionPool>(FConfig.Databases[i]));
    }
}

TWebApi::~TWebApi() = default;

THttpResponse TWebApi::Refused(int Status) {
    if (Status == 413) {
        return ErrorResponse(413, "the request is larger than 1 MB");
    }
    if (Status == 404) {
        return ErrorResponse(404, "no such page");
    }
    if (Status >= 500) {
        return ErrorResponse(Status, "internal error");
    }
    return ErrorResponse(Status, "bad request");
}

std::vector<TWebApi::TRoute> TWebApi::MakeRoutes() {
    const TWebConfig& config = FConfig;
    auto calendarIndex = [&config](const TCall& call) {
        const std::string& text = call.Part("c");
        std::optional<size_t> index = CalendarIndex(text, config.Databases.size());
        if (!index) {
            throw EHttpError(404, "no calendar " + text);
        }
        return *index;
    };
    auto calendar = [&config, calendarIndex](const TCall& call) -> const std::string& {
        return config.Databases[calendarIndex(call)];
    };
    // The month's and the day's reads, on the calendar's kept connections.
    auto reading = [this, calendarIndex](const TCall& call) -> TConnectionPool& {
        return *FPools[calendarIndex(call)];
    };
    auto flagCaption = [=](const TCall& call) {
        const std::string path = calendar(call);
        const std::string& text = call.Part("flag");
        TFlags flags = InTransaction(path, [](TDBTransaction& t) { return GetFlags(t); });
        for (const TFlag& flag : flags) {
            if (std::to_string(flag.ID) == text) {
                return flag.Caption;
            }
        }
        throw EHttpError(400, "no flag with ID " + text);
    };
    // `days` for one day, or with ?to=LAST the range from the day to LAST.
    auto dayFlagArgs = [=](const TCall& call, bool clear) {
        std::vector<std::string> args{"days", ToolOption("flag", flagCaption(call))};
        if (clear) {
            args.push_back("--clear");
        }
        if (call.Request.Param("to").empty()) {
            args.push_back(ToolOption("date", call.Part("day")));
        } else {
            args.push_back(ToolOption("from", call.Part("day")));
            args.push_back(ToolOption("to", call.Request.Param("to")));
        }
        args.insert(args.end(), {"--", calendar(call)});
        return args;
    };
    auto scriptWarnings = [&config](const TJsonValue& body) {
        std::vector<std::string> warnings;
        std::optional<std::string> script = TextField(body, "script");
        if (script && script->find_first_not_of(' ') != std::string::npos &&
            !config.ScriptsDir.empty()) {
            std::error_code error;
            if (!std::filesystem::is_regular_file(
                    std::filesystem::path(config.ScriptsDir) / *script, error)) {
                warnings.push_back("the script \"" + *script + "\" is not in the scripts folder " +
                                   config.ScriptsDir);
            }
        }
        return warnings;
    };

    return {
        {"GET", "/api/calendars",
         [=, &config](TCall&) {
             TJsonValue list = TJsonValue::Array();
             for (size_t i = 0; i < config.Databases.size(); ++i) {
                 const std::string& database = config.Databases[i];
                 TJsonValue entry = TJsonValue::Object();
                 entry.Set("id", static_cast<int64_t>(i))
                     .Set("name", std::filesystem::path(database).stem().string())
                     .Set("path", database);
                 try {
                     CheckDatabase(database);
                     entry.Set("ok", true).Set("error", nullptr);
                 } catch (const std::exception& error) {
                     entry.Set("ok", false).Set("error", OneLine(error.what()));
                 }
                 list.Append(entry);
             }
             return Json(TJsonValue::Object().Set("calendars", list));
         }},
        {"GET", "/api/calendars/{c}/month/{month}",
         [=, &config](TCall& call) {
             TConnectionPool& pool = reading(call);
             TDateTime first = ParseMonth(call.Part("month"));
             TDateParts parts = DecodeDate(first);
             TDateTime last =
                 EncodeDate(parts.Year, parts.Month, DaysInMonth(parts.Year, parts.Month));
             // Written as text as it is read: a month may hold hundreds of appointments, and
             // a tree of them would cost as much as reading them.
             TJsonText out;
             out.BeginObject().Key("month").Value(call.Part("month")).Key("days").BeginArray();
             TSkippedRows skipped;
             pool.Read([&](TDBTransaction& transaction) {
                 std::map<TDateTime, std::vector<int64_t>> flagsOfDay;
                 for (const TDayFlag& flag :
                      GetDayFlagsBetween(transaction, first, last, &skipped)) {
                     flagsOfDay[flag.Date].push_back(flag.FlagID);
                 }
                 for (TDateTime day = first; day <= last; day += 1) {
                     out.BeginObject().Key("date").Value(DateToDBText('-', day));
                     out.Key("flags").BeginArray();
                     for (int64_t id : flagsOfDay[day]) {
                         out.Value(id);
                     }
                     out.EndArray().EndObject();
                 }
                 out.EndArray().Key("appointments").BeginArray();
                 TDates dates = GetDatesBetween(transaction, first, last, &skipped);
                 SortByDay(dates);
                 for (const TMondrelDate& date : dates) {
                     out.BeginObject();
                     AppointmentFields(date, [&out](const char* name, const auto& value) {
                         out.Key(name).Value(value);
                     });
                     out.Key("tag").Value(AppointmentTag(date)).EndObject();
                 }
             });
             out.EndArray().Key("skipped").Value(static_cast<int64_t>(skipped.size()));
             return THttpResponse{200, "application/json", out.EndObject().Text(), {}};
         }},
        {"GET", "/api/calendars/{c}/days/{day}",
         [=, &config](TCall& call) {
             const std::string& database = calendar(call);
             TDateTime day = ParseDay(call.Part("day"));
             // upcoming says in words when each open one fires, in the module's order.
             TJsonValue upcoming =
                 TJsonValue::Parse(RunTool({"upcoming", ToolOption("from", call.Part("day")),
                                            "--days=1", "--json", "--", database})
                                       .Out);
             TJsonValue ids = TJsonValue::Array(), appointments = TJsonValue::Array();
             reading(call).Read([&](TDBTransaction& transaction) {
                 for (const TDayFlag& flag : GetDayFlags(transaction, day)) {
                     ids.Append(flag.FlagID);
                 }
                 TDates dates = GetDatesBetween(transaction, day, day);
                 SortByDay(dates);
                 std::map<int64_t, TOrigin> origins = Origins(transaction, dates);
                 std::map<int64_t, TJsonValue> fired =
                     RunsOfAppointments(config.HistoryFile, dates);
                 for (const TMondrelDate& date : dates) {
                     TJsonValue json = AppointmentJson(date).Set("tag", AppointmentTag(date));
                     auto runs = fired.find(date.ID);
                     json.Set("runs", runs == fired.end() ? TJsonValue::Array() : runs->second);
                     auto origin = origins.find(date.ID);
                     if (origin == origins.end()) {
                         json.Set("origin", TJsonValue::Object().Set("kind", "own"));
                     } else {
                         json.Set("origin", TJsonValue::Object()
                                                .Set("kind", origin->second.Kind)
                                                .Set("source", origin->second.Source)
                                                .Set("edited", origin->second.Edited));
                     }
                     appointments.Append(json);
                 }
             });
             return Json(TJsonValue::Object()
                             .Set("date", call.Part("day"))
                             .Set("flags", ids)
                             .Set("appointments", appointments)
                             .Set("upcoming", upcoming)
                             .Set("runs", RunsOfDay(config.HistoryFile, call.Part("day"))));
         }},
        {"POST", "/api/calendars/{c}/appointments",
         [=, &config](TCall& call) {
             TJsonValue body = Body(call.Request);
             std::vector<std::string> args{"add"};
             AddOptions(args, body,
                        {{"date", "date"},
                         {"time", "time"},
                         {"description", "description"},
                         {"value", "value"},
                         {"script", "script"},
                         {"repeat", "repeat"},
                         {"until", "until"},
                         {"source", "source"}});
             args.insert(args.end(), {"--", calendar(call)});
             return Report(RunTool(args), scriptWarnings(body));
         }},
        {"PATCH", "/api/calendars/{c}/appointments/{id}",
         [=, &config](TCall& call) {
             TJsonValue body = Body(call.Request);
             std::vector<std::string> args{"edit"};
             AddOptions(args, body,
                        {{"tag", "if-match"},
                         {"date", "date"},
                         {"time", "time"},
                         {"description", "description"},
                         {"value", "value"},
                         {"script", "script"}});
             if (body.Has("done") && !body.Get("done").IsNull()) {
                 args.push_back(BoolField(body, "done") ? "--done" : "--open");
             }
             if (BoolField(body, "series")) {
                 args.push_back("--series");
             }
             args.insert(args.end(), {"--", calendar(call), call.Part("id")});
             return Report(RunTool(args), scriptWarnings(body));
         }},
        {"DELETE", "/api/calendars/{c}/appointments/{id}",
         [=, &config](TCall& call) {
             std::vector<std::string> args{"remove", "--done"};
             if (!call.Request.Param("tag").empty()) {
                 args.push_back(ToolOption("if-match", call.Request.Param("tag")));
             }
             args.insert(args.end(), {"--", calendar(call), call.Part("id")});
             return Report(RunTool(args));
         }},
        {"GET", "/api/calendars/{c}/flags",
         [=, &config](TCall& call) {
             const std::string& database = calendar(call);
             TJsonValue flags = TJsonValue::Parse(RunTool({"flags", "--json", "--", database}).Out);
             TJsonValue colors = TJsonValue::Array();
             TFlags stored;
             InTransaction(database, [&](TDBTransaction& transaction) {
                 for (const TDBColor& color : GetColors(transaction)) {
                     colors.Append(TJsonValue::Object()
                                       .Set("name", color.Name)
                                       .Set("rgb", ColorHex(color.Value)));
                 }
                 stored = GetFlags(transaction);
             });
             // The colour as the page paints it, whatever name the file gives it.
             TJsonValue painted = TJsonValue::Object();
             for (const TFlag& flag : stored) {
                 painted.Set(std::to_string(flag.ID), ColorHex(flag.Color));
             }
             return Json(flags.Set("colors", colors).Set("rgb", painted));
         }},
        {"POST", "/api/calendars/{c}/flags",
         [=, &config](TCall& call) {
             TJsonValue body = Body(call.Request);
             std::vector<std::string> args{"flags"};
             AddOptions(args, body, {{"variable", "variable"}, {"color", "color"}});
             std::optional<std::string> caption = TextField(body, "caption");
             if (!caption || caption->empty()) {
                 throw EHttpError(400, "\"caption\" is missing");
             }
             args.insert(args.end(), {"--", calendar(call), "add", *caption});
             return Report(RunTool(args));
         }},
        {"PATCH", "/api/calendars/{c}/flags/{flag}",
         [=, &config](TCall& call) {
             TJsonValue body = Body(call.Request);
             std::vector<std::string> args{"flags"};
             AddOptions(args, body,
                        {{"caption", "caption"}, {"variable", "variable"}, {"color", "color"}});
             args.insert(args.end(), {"--", calendar(call), "edit", flagCaption(call)});
             return Report(RunTool(args));
         }},
        {"DELETE", "/api/calendars/{c}/flags/{flag}",
         [=, &config](TCall& call) {
             return Report(RunTool({"flags", "--", calendar(call), "remove", flagCaption(call)}));
         }},
        {"PUT", "/api/calendars/{c}/days/{day}/flags/{flag}",
         [=, &config](TCall& call) { return Report(RunTool(dayFlagArgs(call, false))); }},
        {"DELETE", "/api/calendars/{c}/days/{day}/flags/{flag}",
         [=, &config](TCall& call) { return Report(RunTool(dayFlagArgs(call, true))); }},
        {"GET", "/api/calendars/{c}/upcoming",
         [=, &config](TCall& call) {
             std::string days = call.Request.Param("days");
             return Document(RunTool({"upcoming", ToolOption("days", days.empty() ? "7" : days),
                                      "--json", "--", calendar(call)}));
         }},
        {"GET", "/api/calendars/{c}/sources",
         [=, &config](TCall& call) {
             return Document(RunTool({"sources", "--json", "--", calendar(call)}));
         }},
        {"GET", "/api/calendars/{c}/check",
         [=](TCall& call) {
             // What `check` finds, as the sources page shows it beside the list.
             static constexpr const char* Kinds[] = {"error", "warning", "note", "fixed"};
             TJsonValue findings = TJsonValue::Array();
             for (const TFinding& finding : CheckDatabase(calendar(call), DateOf(Now()))) {
                 TJsonValue entry = TJsonValue::Object();
                 entry.Set("kind", Kinds[static_cast<int>(finding.Kind)])
                     .Set("what", finding.What)
                     .Set("detail", finding.Detail);
                 findings.Append(std::move(entry));
             }
             return Json(TJsonValue::Object().Set("findings", std::move(findings)));
         }},
        {"POST", "/api/calendars/{c}/sources/refresh",
         [=, &config](TCall& call) {
             return Report(RunTool({"refresh", "--", calendar(call)}));
         },
         true},
        {"POST", "/api/calendars/{c}/sources/{name}/refresh",
         [=, &config](TCall& call) {
             return Report(RunTool(
                 {"refresh", ToolOption("source", call.Part("name")), "--", calendar(call)}));
         },
         true},
        {"DELETE", "/api/calendars/{c}/sources/{name}",
         [=, &config](TCall& call) {
             return Report(RunTool({"forget", "--", calendar(call), call.Part("name")}));
         }},
        {"POST", "/api/calendars/{c}/sources",
         [=, &config](TCall& call) {
             TJsonValue body = Body(call.Request);
             std::vector<std::string> args{"import"};
             AddOptions(args, body,
                        {{"source", "source"},
                         {"script", "script"},
                         {"value", "value"},
                         {"at", "at"},
                         {"offset", "offset"},
                         {"from", "from"},
                         {"until", "until"},
                         {"as_flag", "as-flag"}});
             std::optional<std::string> url = TextField(body, "url");
             std::optional<std::string> content = TextField(body, "content");
             if (url.has_value() == content.has_value()) {
                 throw EHttpError(400,
                                  "give \"url\" or \"content\" (an uploaded file), one of them");
             }
             // A path on the server is the command line's business, not a browser's.
             if (url && url->rfind("http://", 0) != 0 && url->rfind("https://", 0) != 0) {
                 throw EHttpError(400, "\"url\" must begin with http:// or https://");
             }
             if (content && !TextField(body, "source")) {
                 throw EHttpError(400, "\"source\" is missing: an uploaded file needs a name");
             }
             args.insert(args.end(), {"--", calendar(call), url ? *url : "-"});
             return Report(RunTool(args, content.value_or("")));
         },
         true},
        {"GET", "/api/scripts",
         [=, &config](TCall&) {
             TJsonValue names = TJsonValue::Array();
             std::vector<std::string> found;
             std::error_code error;
             if (!config.ScriptsDir.empty()) {
                 for (const auto& entry :
                      std::filesystem::directory_iterator(config.ScriptsDir, error)) {
                     if (entry.is_regular_file(error)) {
                         found.push_back(entry.path().filename().string());
                     }
                 }
             }
             std::sort(found.begin(), found.end());
             for (const std::string& name : found) {
                 names.Append(name);
             }
             return Json(TJsonValue::Object().Set("scripts", names));
         }},
        {"GET", "/api/runs", [&config](TCall&) { return Json(FailedRuns(config.HistoryFile)); }},
    };
}

THttpResponse TWebApi::Handle(const THttpRequest& Request) {
    // Shared by every answer: nothing runs that the page itself did not bring, nothing frames it.
    auto secure = [this](THttpResponse response) {
        response.Headers.push_back(
            {"Content-Security-Policy",
             "default-src 'self'; img-src 'self' data:; frame-ancestors 'none'; base-uri 'none'; "
             "form-action 'self'"});
        response.Headers.push_back({"X-Content-Type-Options", "nosniff"});
        response.Headers.push_back({"Referrer-Policy", "no-referrer"});
        response.Headers.push_back({"X-Frame-Options", "DENY"});
        if (FConfig.Tls) {
            response.Headers.push_back({"Strict-Transport-Security", "max-age=31536000"});
        }
        if (response.ContentType == "application/json") {
            response.Headers.push_back({"Cache-Control", "no-store"});
        }
        return response;
    };

    const std::string& path = Request.Path;
    if (path.rfind("/api/", 0) != 0) {
        if (Request.Method != "GET") {
            return secure(ErrorResponse(405, "the page's files are only read"));
        }
        const TPageFile* file = FindPageFile(path == "/" ? "index.html" : path.substr(1));
        if (file == nullptr) {
            return secure(ErrorResponse(404, "no such page"));
        }
        return secure({200, file->ContentType, std::string(file->Data, file->Size), {}});
    }

    try {
        if (path == "/api/session") {
            return secure(Session(Request));
        }
        for (const TRoute& route : FRoutes) {
            std::optional<std::map<std::string, std::string>> parts = Match(route.Pattern, path);
            if (!parts) {
                continue;
            }
            if (route.Method != Request.Method) {
                continue;
            }
            std::optional<TWebSession> session =
                FSessions.Find(CookieValue(Request.Header("cookie"), SessionCookie));
            if (!session) {
                return secure(ErrorResponse(401, "sign in first"));
            }
            if (Request.Method != "GET") {
                CheckOrigin(Request);
                if (!SameSecret(Request.Header("x-csrf-token"), session->Csrf)) {
                    return secure(ErrorResponse(403, "the request lacks the page's CSRF token"));
                }
            }
            TCall call{Request, *parts, &*session};
            // A calendar's path part that names none is the handler's 404.
            std::optional<TGateHold> hold;
            if (auto c = parts->find("c"); c != parts->end() && !route.Fetches) {
                if (std::optional<size_t> index = CalendarIndex(c->second, FGates.size())) {
                    hold.emplace(*FGates[*index], Request.Method != "GET");
                }
            }
            return secure(route.Handler(call));
        }
        return secure(ErrorResponse(404, "no such API path: " + Request.Method + " " + path));
    } catch (const EHttpError& error) {
        return secure(ErrorResponse(error.Status, error.what()));
    } catch (const EUsageError& error) {
        return secure(ErrorResponse(400, error.what()));
    } catch (const ERowChanged& error) {
        return secure(ErrorResponse(409, error.what()));
    } catch (const ESqliteException& error) {
        if (IsBusy(error.what())) {
            return secure(
                ErrorResponse(503, "busy, try again (another program is writing the file)"));
        }
        return secure(ErrorResponse(500, error.what()));
    } catch (const EMondrelError& error) {
        if (IsBusy(error.what())) {
            return secure(
                ErrorResponse(503, "busy, try again (another program is writing the file)"));
        }
        return secure(ErrorResponse(400, error.what()));
    } catch (const std::exception& error) {
        return secure(ErrorResponse(500, error.what()));
    }
}

void TWebApi::CheckOrigin(const THttpRequest& Request) const {
    std::string expected = (FConfig.Tls ? "https://" : "http://") + Request.Header("host");
    if (Request.Header("origin") != expected) {
        throw EHttpError(403, "the request comes from another site (Origin \"" +
                                  Request.Header("origin") + "\")");
    }
}

THttpResponse TWebApi::Session(const THttpRequest& Request) {
    std::string token = CookieValue(Request.Header("cookie"), SessionCookie);
    if (Request.Method == "GET") {
        std::optional<TWebSession> session = FSessions.Find(token);
        if (!session) {
            return ErrorResponse(401, "sign in first");
        }
        return Json(TJsonValue::Object().Set("csrf", session->Csrf));
    }
    if (Request.Method == "DELETE") {
        CheckOrigin(Request);
        FSessions.Remove(token);
        THttpResponse response = Json(TJsonValue::Object().Set("signed_out", true));
        response.Headers.push_back({"Set-Cookie", std::string(SessionCookie) +
                                                      "=; Path=/; Max-Age=0; HttpOnly; "
                                                      "SameSite=Strict"});
        return response;
    }
    if (Request.Method != "POST") {
        return ErrorResponse(405, "sign in with POST");
    }
    CheckOrigin(Request);
    const std::string& address = Request.RemoteAddress;
    if (int wait = FSessions.WaitSeconds(address); wait > 0) {
        THttpResponse response = ErrorResponse(
            429, "too many wrong passwords: wait " + std::to_string(wait) + " s and try again");
        response.Headers.push_back({"Retry-After", std::to_string(wait)});
        return response;
    }
    TJsonValue body = TJsonValue::Parse(Request.Body.empty() ? "{}" : Request.Body);
    std::optional<std::string> password =
        body.IsObject() && body.Get("password").IsText()
            ? std::optional<std::string>(body.Get("password").AsText())
            : std::nullopt;
    if (!password) {
        return ErrorResponse(400, "\"password\" is missing");
    }
    if (!VerifyPassword(FConfig.PasswordHash, *password)) {
        FSessions.Failed(address);
        return ErrorResponse(401, "wrong password");
    }
    FSessions.Succeeded(address);
    // Someone knows the password now: the first start's copy of it goes.
    if (!FConfig.FirstPasswordFile.empty() && !FFirstPasswordGone.exchange(true) &&
        unlink(FConfig.FirstPasswordFile.c_str()) != 0 && errno != ENOENT) {
        std::cerr << "mondrel-web: cannot remove " << FConfig.FirstPasswordFile << ": "
                  << std::strerror(errno) << std::endl;
    }
    TWebSession session = FSessions.Create();
    THttpResponse response = Json(TJsonValue::Object().Set("csrf", session.Csrf));
    response.Headers.push_back(
        {"Set-Cookie", std::string(SessionCookie) + "=" + session.Token + "; Path=/; Max-Age=" +
                           std::to_string(std::chrono::seconds(TWebSessions::IdleLimit).count()) +
                           "; HttpOnly; SameSite=Strict" + (FConfig.Tls ? "; Secure" : "")});
    return response;
}
