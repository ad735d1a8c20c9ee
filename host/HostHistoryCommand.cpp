#include "HostHistoryCommand.h"

#include <QDate>
#include <charconv>

#include "HostJson.h"
#include "HostOptions.h"

namespace {

int ParseCount(const std::string& option, const std::string& text, int low, int high) {
    int value = 0;
    const char* end = text.data() + text.size();
    auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end || value < low || value > high) {
        throw EOptionError(option + " needs a whole number from " + std::to_string(low) + " to " +
                           std::to_string(high) + ", not \"" + text + "\"");
    }
    return value;
}

std::string Field(const char* name, const std::string& value) {
    std::string field = std::string("\"") + name + "\":";
    AppendJsonText(field, value);
    return field;
}

std::string Parameters(const THostStringPairs& parameters) {
    std::string object;
    AppendJsonTextObject(object, parameters);
    return object;
}

// What a line shows of a text from a script or a database: control bytes as '?'.
std::string Printable(std::string text) {
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
            c = '?';
        }
    }
    return text;
}

}  // namespace

bool ParseHistoryOption(THostHistoryOptions& options, const std::vector<std::string>& args,
                        size_t& i) {
    const std::string& arg = args[i];
    const size_t equals = arg.find('=');
    const std::string name = arg.substr(0, equals);
    if (name == "--show-history" || name == "--failed" || name == "--json") {
        if (equals != std::string::npos) {
            throw EOptionError(name + " takes no value");
        }
        (name == "--show-history" ? options.Show
         : name == "--failed"     ? options.Filter.FailedOnly
                                  : options.Json) = true;
        return true;
    }
    if (name != "--history" && name != "--history-days" && name != "--script-timeout" &&
        name != "--since" && name != "--script") {
        return false;
    }
    std::string value;
    if (equals != std::string::npos) {
        value = arg.substr(equals + 1);
    } else if (i + 1 < args.size()) {
        value = args[++i];
    }
    if (value.empty()) {
        throw EOptionError(name + " needs a value");
    }
    if (name == "--history") {
        options.File = value;
    } else if (name == "--history-days") {
        options.Days = ParseCount(name, value, 1, 36500);
    } else if (name == "--script-timeout") {
        options.ScriptTimeoutSeconds = ParseCount(name, value, 0, 7 * 24 * 3600);
    } else if (name == "--since") {
        if (!QDate::fromString(QString::fromStdString(value), Qt::ISODate).isValid() ||
            value.size() != 10) {
            throw EOptionError("--since needs a date YYYY-MM-DD, not \"" + value + "\"");
        }
        options.Filter.Since = value;
    } else {
        options.Filter.Script = value;
    }
    return true;
}

void CheckHistoryOptions(const THostHistoryOptions& options) {
    if (!options.Show && (!options.Filter.Since.empty() || options.Filter.FailedOnly ||
                          !options.Filter.Script.empty() || options.Json)) {
        throw EOptionError("--since, --failed, --script and --json need --show-history");
    }
}

std::string HistoryUsage() {
    return R"(  --history FILE         the run history, also the queue of script runs (default:
                         history.sdb in the kernel directory)
  --history-days N       keep finished runs N days, failures twice as long (default: 90)
  --script-timeout SECONDS
                         stop a script after that long: TERM, then KILL 5 s later
                         (default: 600; 0: never)
  --show-history [--since YYYY-MM-DD] [--failed] [--script NAME] [--json]
                         print the history, newest first, one run a line, and exit
)";
}

std::string HistoryFile(const THostHistoryOptions& options, const std::string& kernelDir) {
    return options.File.empty() ? kernelDir + "history.sdb" : options.File;
}

std::string HistoryLine(const THostRunRecord& record) {
    const THostScriptResult& r = record.Result;
    std::string line = std::to_string(r.HistoryId) + "  " + r.Asked + "  " + r.Outcome;
    if (r.ExitStatus >= 0) {
        line += " (exit " + std::to_string(r.ExitStatus) + ")";
    } else if (r.Signal > 0) {
        line += " (signal " + std::to_string(r.Signal) + ")";
    }
    line += "  " + Printable(r.Script) + "  from " + Printable(r.Sender);
    if (r.Instance > 0) {
        line += " (instance #" + std::to_string(r.Instance) + ")";
    }
    if (record.DurationMs) {
        line += "  " + std::to_string(*record.DurationMs) + " ms";
    }
    if (!r.Reason.empty()) {
        line += "  " + Printable(r.Reason);
    }
    if (!record.Note.empty()) {
        line += "  (" + Printable(record.Note) + ")";
    }
    return line;
}

std::string HistoryJson(const THostRunRecord& record) {
    const THostScriptResult& r = record.Result;
    std::string json =
        "{\"id\":" + std::to_string(r.HistoryId) + "," + Field("asked", r.Asked) + "," +
        Field("started", r.Started) + "," + Field("finished", r.Finished) + "," +
        Field("sender", r.Sender) +
        ",\"instance\":" + (r.Instance > 0 ? std::to_string(r.Instance) : "null") + "," +
        Field("script", r.Script) + ",\"parameters\":" + Parameters(r.Parameters) + "," +
        Field("outcome", r.Outcome) +
        ",\"exit_status\":" + (r.ExitStatus >= 0 ? std::to_string(r.ExitStatus) : "null") +
        ",\"signal\":" + (r.Signal > 0 ? std::to_string(r.Signal) : "null") +
        ",\"duration_ms\":" + (record.DurationMs ? std::to_string(*record.DurationMs) : "null") +
        "," + Field("reason", r.Reason) + "," + Field("output_tail", r.OutputTail) + "," +
        Field("note", record.Note) + "}";
    return json;
}

int ShowHistory(const std::string& file, const THostHistoryOptions& options, std::ostream& out,
                std::ostream& err) {
    try {
        THostRunHistory history(file, THostRunHistory::TAccess::Read);
        for (const THostRunRecord& record : history.List(options.Filter)) {
            out << (options.Json ? HistoryJson(record) : HistoryLine(record)) << '\n';
        }
        out.flush();
        return 0;
    } catch (const std::exception& e) {
        err << "nhx-host: " << e.what() << std::endl;
        return 1;
    }
}
