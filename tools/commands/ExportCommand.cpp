#include "ExportCommand.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <ostream>
#include <set>
#include <tuple>

#include "CommandSupport.h"
#include "DBCnx.h"
#include "ICalendarSupport.h"
#include "MondrelError.h"
#include "Sqlite3Db.h"
#include "ToolTables.h"

namespace {

constexpr const char* FlagCategory = "MONDREL-FLAG";

struct TExportRows {
    TDates Dates;
    TDayFlags DayFlags;
    TFlags Flags;
    std::map<int64_t, TImportKey> Keys;
};

TExportRows ReadRows(const std::string& path, TToolStreams& streams) {
    TSkippedRows skipped;
    TExportRows rows = InTransaction(path, [&](TDBTransaction& transaction) {
        TExportRows read;
        read.Dates = GetAllDates(transaction, &skipped);
        read.DayFlags = GetDayFlags(transaction, 0, &skipped);
        read.Flags = GetFlags(transaction);
        read.Keys = ReadImportKeys(transaction.Database());
        return read;
    });
    ReportSkippedRows(streams, "export", skipped);
    return rows;
}

// A file written beside the target and renamed over it once complete, so that an existing file
// is replaced whole or not at all. Removed again unless Commit renamed it.
class TReplacingFile {
  public:
    explicit TReplacingFile(const std::string& target) : Target(target) {
        std::filesystem::path path(target);
        std::string pattern =
            (path.parent_path() / ("." + path.filename().string() + ".XXXXXX")).string();
        int fd = mkstemp(pattern.data());
        if (fd < 0) {
            throw EMondrelError("cannot write \"" + target + "\": " + std::strerror(errno));
        }
        close(fd);
        Temp = pattern;
        // mkstemp makes the file private; give it the target's permissions, or the usual ones.
        mode_t mask = umask(0);
        umask(mask);
        std::error_code error;
        auto status = std::filesystem::status(target, error);
        std::filesystem::permissions(Temp,
                                     std::filesystem::exists(status)
                                         ? status.permissions()
                                         : static_cast<std::filesystem::perms>(0666 & ~mask),
                                     error);
        Stream.open(Temp, std::ios::binary | std::ios::trunc);
    }
    ~TReplacingFile() {
        if (!Temp.empty()) {
            std::error_code error;
            std::filesystem::remove(Temp, error);
        }
    }
    TReplacingFile(const TReplacingFile&) = delete;
    TReplacingFile& operator=(const TReplacingFile&) = delete;

    std::ostream& Out() { return Stream; }

    void Commit() {
        Stream.close();
        if (Stream.fail()) {
            throw EMondrelError("cannot write \"" + Target + "\"");
        }
        if (std::rename(Temp.c_str(), Target.c_str()) != 0) {
            throw EMondrelError("cannot write \"" + Target + "\": " + std::strerror(errno));
        }
        Temp.clear();
    }

  private:
    std::string Target;
    std::string Temp;
    std::ofstream Stream;
};

struct TExportCounts {
    size_t Appointments = 0;
    size_t DayFlags = 0;
};

TExportCounts WriteCalendar(std::ostream& out, const TExportRows& rows, const std::string& token,
                            const std::optional<TDateTime>& from,
                            const std::optional<TDateTime>& to) {
    auto inRange = [&](TDateTime day) { return (!from || day >= *from) && (!to || day <= *to); };
    TDates dates;
    std::copy_if(rows.Dates.begin(), rows.Dates.end(), std::back_inserter(dates),
                 [&](const TMondrelDate& date) { return inRange(date.Date); });
    std::sort(dates.begin(), dates.end(), [](const TMondrelDate& a, const TMondrelDate& b) {
        return std::tie(a.Date, a.Time, a.ID) < std::tie(b.Date, b.Time, b.ID);
    });
    // An imported row keeps its event's UID (and occurrence) as long as no other row of the
    // export claims the same pair; each other row gets one of this file.
    std::map<TImportKey, size_t> claims;
    for (const TMondrelDate& date : dates) {
        auto key = rows.Keys.find(date.ID);
        if (key != rows.Keys.end() && !key->second.UID.empty()) {
            ++claims[key->second];
        }
    }

    TICalWriter writer(out);
    TExportCounts counts;
    for (const TMondrelDate& date : dates) {
        TICalOutEvent event;
        auto key = rows.Keys.find(date.ID);
        if (key != rows.Keys.end() && !key->second.UID.empty() && claims[key->second] == 1) {
            event.UID = key->second.UID;
            event.RecurrenceID = key->second.Occurrence;
        } else {
            event.UID = ExportedUID(date.ID, token);
        }
        event.Start = ToStamp(date.Date, date.Time);
        event.Summary = date.Discription;
        event.Value = date.Value;
        event.Script = date.Script;
        event.Done = date.Done != 0 ? 1 : 0;
        writer.Add(event);
        ++counts.Appointments;
    }

    std::map<int64_t, std::string> captions;
    for (const TFlag& flag : rows.Flags) {
        captions.emplace(flag.ID, flag.Caption);
    }
    std::set<std::pair<TDateTime, int64_t>> flagDays;
    for (const TDayFlag& dayFlag : rows.DayFlags) {
        if (inRange(dayFlag.Date) && captions.count(dayFlag.FlagID) != 0) {
            flagDays.insert({dayFlag.Date, dayFlag.FlagID});
        }
    }
    for (const auto& [day, flagID] : flagDays) {
        TICalOutEvent event;
        TICalStamp stamp = ToStamp(day);
        char dayText[16];
        std::snprintf(dayText, sizeof dayText, "%04d%02d%02d", stamp.Year, stamp.Month, stamp.Day);
        event.UID = ExportedFlagUID(flagID, dayText, token);
        event.Start = stamp;
        event.AllDay = true;
        event.Summary = captions[flagID];
        event.Categories = {FlagCategory};
        writer.Add(event);
        ++counts.DayFlags;
    }
    writer.Finish();
    return counts;
}

int Export(const TArguments& Args, TToolStreams& Streams) {
    std::string path = Args.Positional("PATH");
    std::string file = Args.Positional("FILE");
    std::optional<TDateTime> from;
    std::optional<TDateTime> to;
    if (Args.Has("from")) {
        from = Args.Day("from");
    }
    if (Args.Has("to")) {
        to = Args.Day("to");
    }
    if (from && to && *from > *to) {
        Args.Fail("--from " + DateToDBText('-', *from) + " is after --to " +
                  DateToDBText('-', *to));
    }
    RequireDatabaseFile(path);
    TExportRows rows = ReadRows(path, Streams);
    std::string token = FileToken(path);

    TExportCounts counts;
    if (file == "-") {
        counts = WriteCalendar(Streams.Out, rows, token, from, to);
        if (!Streams.Out) {
            throw EMondrelError("cannot write to standard output");
        }
    } else {
        TReplacingFile target(file);
        counts = WriteCalendar(target.Out(), rows, token, from, to);
        target.Commit();
    }
    (file == "-" ? Streams.Err : Streams.Out)
        << counts.Appointments << (counts.Appointments == 1 ? " appointment, " : " appointments, ")
        << counts.DayFlags << (counts.DayFlags == 1 ? " day flag" : " day flags") << " exported\n";
    return 0;
}

}  // namespace

const TCommand ExportCommand = {
    "export",
    "export PATH FILE [--from YYYY-MM-DD] [--to YYYY-MM-DD]",
    {.Positionals = {"PATH", "FILE"}, .Options = {"from", "to"}},
    Export,
    {{"FILE", "the iCalendar file to write (replaced whole), or - for standard output"},
     {"--from YYYY-MM-DD", "the first day exported (default: the earliest)"},
     {"--to YYYY-MM-DD", "the last day exported (default: the latest)"}}};
