#include "RunHistory.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <optional>
#include <vector>

#include "DBCnx.h"
#include "DateTime.h"
#include "Sqlite3Db.h"
#include "TimeText.h"

namespace {

constexpr const char* Columns =
    "SELECT ID, Asked, Started, Finished, Sender, Script, Parameters, State, ExitStatus, Signal, "
    "Reason, DurationMs, OutputTail FROM ScriptRuns ";

bool HistoryAvailable(const std::string& file) {
    std::error_code error;
    return !file.empty() && std::filesystem::is_regular_file(file, error);
}

// Each row of the query, as its JSON object and its script and parameters text.
template <typename TEach>
void ReadRuns(const std::string& file, const std::string& where, const TSqliteParams& params,
              TEach&& each) {
    TSqliteDatabase database(file);
    auto text = [](TSqliteQueryResults& row, int column) {
        return row.FieldIsNull(column) ? TJsonValue(nullptr) : TJsonValue(row.FieldAsText(column));
    };
    auto number = [](TSqliteQueryResults& row, int column) {
        return row.FieldIsNull(column) ? TJsonValue(nullptr)
                                       : TJsonValue(row.FieldAsInteger(column));
    };
    for (auto row = database.Query(std::string(Columns) + where, params); !row->AtEnd();
         row->Next()) {
        TJsonValue run = TJsonValue::Object();
        run.Set("id", row->FieldAsInteger(0))
            .Set("asked", text(*row, 1))
            .Set("started", text(*row, 2))
            .Set("finished", text(*row, 3))
            .Set("sender", text(*row, 4))
            .Set("script", text(*row, 5))
            .Set("parameters", text(*row, 6))
            .Set("state", text(*row, 7))
            .Set("exit_status", number(*row, 8))
            .Set("signal", number(*row, 9))
            .Set("reason", text(*row, 10))
            .Set("duration_ms", number(*row, 11))
            .Set("output_tail", text(*row, 12));
        each(std::move(run), row->FieldIsNull(5) ? std::string() : row->FieldAsText(5),
             row->FieldIsNull(6) ? std::string() : row->FieldAsText(6));
    }
}

TJsonValue Runs(const std::string& file, const std::string& where, const TSqliteParams& params) {
    TJsonValue answer = TJsonValue::Object();
    if (!HistoryAvailable(file)) {
        return answer.Set("available", false);
    }
    TJsonValue runs = TJsonValue::Array();
    ReadRuns(file, where, params, [&runs](TJsonValue run, const std::string&, const std::string&) {
        runs.Append(std::move(run));
    });
    return answer.Set("available", true).Set("runs", runs);
}

// The four parameters the module passes, from the run's JSON object; nothing when the text is
// no such object or lacks one of them.
struct TFiringParameters {
    std::string Description, Value, Date, Time;
};
std::optional<TFiringParameters> FiringParameters(const std::string& text) {
    try {
        TJsonValue object = TJsonValue::Parse(text);
        TFiringParameters found;
        for (auto [name, field] :
             {std::pair{"Mondrel_Discription", &found.Description},
              std::pair{"Mondrel_Value", &found.Value}, std::pair{"Mondrel_Date", &found.Date},
              std::pair{"Mondrel_Time", &found.Time}}) {
            if (!object.IsObject() || !object.Get(name).IsText()) {
                return std::nullopt;
            }
            *field = object.Get(name).AsText();
        }
        return found;
    } catch (const std::exception&) {
        return std::nullopt;  // a row another program wrote badly fired nothing we know of
    }
}

}  // namespace

TJsonValue RunsOfDay(const std::string& HistoryFile, const std::string& Day) {
    return Runs(HistoryFile, "WHERE substr(Asked, 1, 10) = ? ORDER BY ID", {Day});
}

TJsonValue FailedRuns(const std::string& HistoryFile) {
    return Runs(HistoryFile,
                "WHERE State IN ('failed', 'timed out', 'not started') ORDER BY ID DESC LIMIT 200",
                {});
}

std::map<int64_t, TJsonValue> RunsOfAppointments(const std::string& HistoryFile,
                                                 const TDates& Appointments) {
    std::map<int64_t, TJsonValue> runs;
    if (Appointments.empty() || !HistoryAvailable(HistoryFile)) {
        return runs;
    }
    for (const TMondrelDate& appointment : Appointments) {
        runs.try_emplace(appointment.ID, TJsonValue::Array());
    }
    const TDateTime day = Appointments.front().Date;
    ReadRuns(HistoryFile, "WHERE Sender = 'Mondrel' AND substr(Asked, 1, 10) IN (?, ?) ORDER BY ID",
             {DateToDBText('-', day), DateToDBText('-', day + 1)},
             [&](TJsonValue run, const std::string& script, const std::string& parameters) {
                 std::optional<TFiringParameters> fired = FiringParameters(parameters);
                 if (!fired) {
                     return;
                 }
                 for (const TMondrelDate& appointment : Appointments) {
                     if (appointment.Script == script && !script.empty() &&
                         appointment.Discription == fired->Description &&
                         appointment.Value == fired->Value &&
                         FormatLongTime(appointment.Time) == fired->Time &&
                         ShortDateNames(fired->Date, appointment.Date)) {
                         runs.at(appointment.ID).Append(run);
                     }
                 }
             });
    return runs;
}

bool ShortDateNames(const std::string& Text, TDateTime Date) {
    static constexpr const char* Months[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                             "jul", "aug", "sep", "oct", "nov", "dec"};
    // The text's numbers and words in their order; a word counts when it begins with a month's
    // English name (the C locale's form; Qt's other short formats are numeric).
    std::vector<int> numbers;
    std::optional<int> monthName;
    for (size_t at = 0; at < Text.size();) {
        const unsigned char c = static_cast<unsigned char>(Text[at]);
        size_t end = at;
        if (std::isdigit(c)) {
            while (end < Text.size() && std::isdigit(static_cast<unsigned char>(Text[end]))) {
                ++end;
            }
            if (end - at > 4) {
                return false;
            }
            numbers.push_back(std::stoi(Text.substr(at, end - at)));
        } else if (std::isalpha(c)) {
            while (end < Text.size() && std::isalpha(static_cast<unsigned char>(Text[end]))) {
                ++end;
            }
            std::string word = Text.substr(at, std::min<size_t>(end - at, 3));
            std::transform(word.begin(), word.end(), word.begin(),
                           [](unsigned char l) { return static_cast<char>(std::tolower(l)); });
            const auto* month = std::find(std::begin(Months), std::end(Months), word);
            if (month == std::end(Months) || monthName) {
                return false;
            }
            monthName = static_cast<int>(month - std::begin(Months)) + 1;
        } else {
            end = at + 1;
        }
        at = end;
    }
    const TDateParts parts = DecodeDate(Date);
    auto isYear = [&parts](int n) { return n == parts.Year || (n < 100 && n == parts.Year % 100); };
    if (monthName) {
        return *monthName == parts.Month && numbers.size() == 2 &&
               ((numbers[0] == parts.Day && isYear(numbers[1])) ||
                (isYear(numbers[0]) && numbers[1] == parts.Day));
    }
    if (numbers.size() != 3) {
        return false;
    }
    // The year may stand first or last (yy.M.d, d.M.yy, yyyy-MM-dd); day and month either way.
    for (size_t year = 0; year < 3; ++year) {
        const int a = numbers[(year + 1) % 3], b = numbers[(year + 2) % 3];
        if (isYear(numbers[year]) &&
            ((a == parts.Day && b == parts.Month) || (a == parts.Month && b == parts.Day))) {
            return true;
        }
    }
    return false;
}
