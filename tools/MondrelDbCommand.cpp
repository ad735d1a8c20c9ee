#include "MondrelDbCommand.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <map>
#include <memory>
#include <ostream>
#include <set>
#include <tuple>

#include "DBCnx.h"
#include "MondrelError.h"
#include "MondrelSchema.h"
#include "Sqlite3Db.h"
#include "TimeText.h"

namespace {

constexpr const char* Usage =
    "usage: mondrel-db init PATH\n"
    "       mondrel-db list PATH [--month YYYY-MM]\n"
    "       mondrel-db add PATH --date YYYY-MM-DD --time HH:MM --description TEXT\n"
    "                           [--value TEXT] [--script NAME]\n";

// Bad command-line input: reported with the usage text and exit code 2.
class EUsageError : public EMondrelError {
  public:
    using EMondrelError::EMondrelError;
};

struct TCommandLine {
    std::string Path;
    std::map<std::string, std::string> Options;

    std::string Option(const std::string& name) const {
        auto found = Options.find(name);
        return found == Options.end() ? std::string() : found->second;
    }
    bool Has(const std::string& name) const { return Options.count(name) != 0; }
};

// PATH, then --name VALUE or --name=VALUE pairs from `allowed`, each at most once.
TCommandLine ParseCommandLine(const std::string& command, const std::vector<std::string>& args,
                              const std::set<std::string>& allowed) {
    TCommandLine line;
    bool havePath = false;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.rfind("--", 0) != 0) {
            if (havePath) {
                throw EUsageError(command + ": unexpected argument '" + arg + "'");
            }
            line.Path = arg;
            havePath = true;
            continue;
        }
        std::string name = arg.substr(2);
        std::string value;
        size_t equals = name.find('=');
        if (equals != std::string::npos) {
            value = name.substr(equals + 1);
            name.resize(equals);
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            throw EUsageError(command + ": --" + name + " needs a value");
        }
        if (allowed.count(name) == 0) {
            throw EUsageError(command + ": unknown option --" + name);
        }
        if (!line.Options.emplace(name, value).second) {
            throw EUsageError(command + ": --" + name + " given twice");
        }
    }
    if (!havePath || line.Path.empty()) {
        throw EUsageError(command + ": no database PATH given");
    }
    return line;
}

void RequireOption(const std::string& command, const TCommandLine& line, const std::string& name) {
    if (!line.Has(name)) {
        throw EUsageError(command + ": --" + name + " is required");
    }
}

// Digits where the pattern has 'D', the pattern's own character elsewhere.
bool MatchesDigits(const std::string& text, const std::string& pattern) {
    if (text.size() != pattern.size()) {
        return false;
    }
    for (size_t i = 0; i < text.size(); ++i) {
        bool digit = text[i] >= '0' && text[i] <= '9';
        if (pattern[i] == 'D' ? !digit : text[i] != pattern[i]) {
            return false;
        }
    }
    return true;
}

TDateTime ParseDayOption(const std::string& text) {
    try {
        if (MatchesDigits(text, "DDDD-DD-DD")) {
            return DBTextToDate(text, '-');
        }
    } catch (const EConvertError&) {
    }
    throw EUsageError("add: --date '" + text + "' is no valid day (expected YYYY-MM-DD)");
}

TDateTime ParseMonthOption(const std::string& text) {
    TDateTime first = 0;
    if (!MatchesDigits(text, "DDDD-DD") ||
        !TryEncodeDate(std::stoi(text.substr(0, 4)), std::stoi(text.substr(5, 2)), 1, first)) {
        throw EUsageError("list: --month '" + text + "' is no valid month (expected YYYY-MM)");
    }
    return first;
}

TDateTime ParseTimeOption(const std::string& text) {
    try {
        return ParseTime(text);
    } catch (const EConvertError&) {
        throw EUsageError("add: --time '" + text + "' is no valid time (expected HH:MM)");
    }
}

// The module only reads and writes rows; listing or adding must not leave an empty file where
// a mistyped path pointed.
void RequireDatabaseFile(const std::string& path) {
    if (!std::filesystem::is_regular_file(path)) {
        throw EMondrelError("no database at \"" + path + "\" (make one with: mondrel-db init " +
                            path + ")");
    }
}

// Control characters would break the table's lines.
std::string Printable(const std::string& text) {
    std::string result;
    for (unsigned char c : text) {
        if (c == '\n') {
            result += "\\n";
        } else if (c == '\t') {
            result += "\\t";
        } else if (c < 0x20 || c == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
            result += escaped;
        } else {
            result += static_cast<char>(c);
        }
    }
    return result;
}

// Width on a terminal, counting UTF-8 characters rather than bytes.
size_t DisplayWidth(const std::string& text) {
    return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

void PrintTable(std::ostream& out, const std::vector<std::vector<std::string>>& rows) {
    std::vector<size_t> widths;
    for (const auto& row : rows) {
        widths.resize(std::max(widths.size(), row.size()));
        for (size_t column = 0; column < row.size(); ++column) {
            widths[column] = std::max(widths[column], DisplayWidth(row[column]));
        }
    }
    for (const auto& row : rows) {
        std::string line;
        for (size_t column = 0; column < row.size(); ++column) {
            line += row[column];
            line.append(widths[column] - DisplayWidth(row[column]) + 2, ' ');
        }
        line.erase(line.find_last_not_of(' ') + 1);
        out << line << '\n';
    }
}

std::vector<int64_t> AllDateIDs(const std::string& path) {
    std::vector<int64_t> ids;
    TSqliteDatabase database(path);
    auto query = database.Query("SELECT ID FROM Dates");
    while (!query->AtEnd()) {
        ids.push_back(query->FieldAsInteger(0));
        query->Next();
    }
    return ids;
}

std::vector<int64_t> MonthDateIDs(const std::string& path, TDateTime month) {
    std::vector<int64_t> ids;
    for (const TMondrelDate& date : GetDates(path, dqMonth, month)) {
        ids.push_back(date.ID);
    }
    return ids;
}

int List(const std::vector<std::string>& args, std::ostream& out) {
    TCommandLine line = ParseCommandLine("list", args, {"month"});
    std::vector<int64_t> ids;
    if (line.Has("month")) {
        TDateTime month = ParseMonthOption(line.Option("month"));
        RequireDatabaseFile(line.Path);
        ids = MonthDateIDs(line.Path, month);
    } else {
        RequireDatabaseFile(line.Path);
        ids = AllDateIDs(line.Path);
    }
    TDates dates;
    for (int64_t id : ids) {
        dates.push_back(GetDate(line.Path, id));
    }
    std::sort(dates.begin(), dates.end(), [](const TMondrelDate& a, const TMondrelDate& b) {
        return std::tie(a.Date, a.Time, a.ID) < std::tie(b.Date, b.Time, b.ID);
    });
    std::vector<std::vector<std::string>> rows{
        {"ID", "Date", "Time", "Done", "Description", "Value", "Script"}};
    for (const TMondrelDate& date : dates) {
        rows.push_back({std::to_string(date.ID), DateToDBText('-', date.Date),
                        FormatLongTime(date.Time), date.Done != 0 ? "yes" : "no",
                        Printable(date.Discription), Printable(date.Value),
                        Printable(date.Script)});
    }
    PrintTable(out, rows);
    out << dates.size() << (dates.size() == 1 ? " appointment" : " appointments") << '\n';
    return mdbOK;
}

int Add(const std::vector<std::string>& args, std::ostream& out) {
    TCommandLine line =
        ParseCommandLine("add", args, {"date", "time", "description", "value", "script"});
    for (const char* required : {"date", "time", "description"}) {
        RequireOption("add", line, required);
    }
    TMondrelDate date;
    date.ID = -1;
    date.Date = ParseDayOption(line.Option("date"));
    date.Time = ParseTimeOption(line.Option("time"));
    date.Discription = line.Option("description");
    date.Value = line.Option("value");
    date.Script = line.Option("script");
    RequireDatabaseFile(line.Path);
    AddDate(line.Path, date);
    out << "Added " << DateToDBText('-', date.Date) << ' ' << FormatLongTime(date.Time) << ' '
        << Printable(date.Discription) << '\n';
    return mdbOK;
}

int Init(const std::vector<std::string>& args, std::ostream& out) {
    TCommandLine line = ParseCommandLine("init", args, {});
    CreateMondrelDatabase(line.Path);
    out << "Created " << line.Path << '\n';
    return mdbOK;
}

int Dispatch(const std::vector<std::string>& args, std::ostream& out) {
    if (args.empty()) {
        throw EUsageError("no command given");
    }
    const std::string& command = args[0];
    if (command == "init") {
        return Init(args, out);
    }
    if (command == "list") {
        return List(args, out);
    }
    if (command == "add") {
        return Add(args, out);
    }
    if (command == "help" || command == "--help" || command == "-h") {
        out << Usage;
        return mdbOK;
    }
    throw EUsageError("unknown command '" + command + "'");
}

}  // namespace

int RunMondrelDb(const std::vector<std::string>& Args, std::ostream& Out, std::ostream& Err) {
    try {
        return Dispatch(Args, Out);
    } catch (const EUsageError& error) {
        Err << "mondrel-db: " << error.what() << '\n' << Usage;
        return mdbUsage;
    } catch (const std::exception& error) {
        Err << "mondrel-db: " << error.what() << '\n';
        return mdbFailed;
    }
}
