#include "CommandSupport.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <ostream>
#include <tuple>

#include "CommandTable.h"
#include "DBCnx.h"
#include "MondrelError.h"
#include "TimeText.h"

namespace {

// Width on a terminal, counting UTF-8 characters rather than bytes.
size_t DisplayWidth(const std::string& text) {
    return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

}  // namespace

void RequireDatabaseFile(const std::string& Path) {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::file_status link = fs::symlink_status(Path, error);
    const fs::file_status target = fs::status(Path, error);
    if (fs::is_regular_file(target)) {
        return;
    }
    // Only where nothing is does init help; anything else in the way is named.
    std::string what = fs::is_symlink(link) && !fs::exists(target) ? "a link to nothing"
                       : fs::is_directory(target)                  ? "a folder"
                       : fs::is_fifo(target)                       ? "a named pipe"
                       : fs::exists(target)                        ? "no regular file"
                                                                   : "";
    if (!what.empty()) {
        throw EMondrelError("\"" + Printable(Path) + "\" is " + what + ", not a database file");
    }
    throw EMondrelError("no database at \"" + Path + "\" (make one with: mondrel-db init " + Path +
                        ")");
}

std::string Printable(const std::string& Text) {
    std::string result;
    for (unsigned char c : Text) {
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

std::string Counted(int64_t Count, const char* One, const char* Many) {
    return std::to_string(Count) + " " + (Count == 1 ? One : Many);
}

void PrintTable(std::ostream& Out, const std::vector<std::vector<std::string>>& Rows) {
    std::vector<size_t> widths;
    for (const auto& row : Rows) {
        widths.resize(std::max(widths.size(), row.size()));
        for (size_t column = 0; column < row.size(); ++column) {
            widths[column] = std::max(widths[column], DisplayWidth(row[column]));
        }
    }
    for (const auto& row : Rows) {
        std::string line;
        for (size_t column = 0; column < row.size(); ++column) {
            line += row[column];
            line.append(widths[column] - DisplayWidth(row[column]) + 2, ' ');
        }
        line.erase(line.find_last_not_of(' ') + 1);
        Out << line << '\n';
    }
}

void ReportSkippedRows(TToolStreams& Streams, const std::string& Command,
                       const TSkippedRows& Skipped) {
    for (const TSkippedRow& row : Skipped) {
        Streams.Err << "mondrel-db: " << Command << ": " << Printable(DescribeSkippedRow(row))
                    << " (left out)\n";
    }
}

TJsonValue AppointmentJson(const TMondrelDate& Date) {
    TJsonValue json = TJsonValue::Object();
    AppointmentFields(
        Date, [&json](const char* name, const auto& value) { json.Set(name, TJsonValue(value)); });
    return json;
}

std::string AppointmentLine(const TMondrelDate& Date) {
    return "ID " + std::to_string(Date.ID) + ": " + DateToDBText('-', Date.Date) + " " +
           FormatLongTime(Date.Time) + " " + Printable(Date.Discription) +
           (Date.Done != 0 ? " (done)" : " (open)");
}

std::string AppointmentTag(const TMondrelDate& Date) {
    // FNV-1a over every field, each ended by a zero byte so that fields cannot run together.
    uint64_t hash = 14695981039346656037ull;
    auto add = [&hash](const std::string& text) {
        for (char c : text) {
            hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
        }
        hash = hash * 1099511628211ull;
    };
    add(std::to_string(Date.ID));
    add(DateToDBText('-', Date.Date));
    add(FormatLongTime(Date.Time));
    add(Date.Discription);
    add(Date.Value);
    add(Date.Script);
    add(std::to_string(Date.Done));
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

void RequireTag(const TMondrelDate& Date, const std::string& Tag) {
    if (!Tag.empty() && Tag != AppointmentTag(Date)) {
        throw ERowChanged("The appointment " + std::to_string(Date.ID) +
                          " was changed by someone else since it was read; nothing was "
                          "written (reload it to see what it holds now)");
    }
}

void SortByDay(TDates& Dates) {
    std::sort(Dates.begin(), Dates.end(), [](const TMondrelDate& a, const TMondrelDate& b) {
        return std::tie(a.Date, a.Time, a.ID) < std::tie(b.Date, b.Time, b.ID);
    });
}
