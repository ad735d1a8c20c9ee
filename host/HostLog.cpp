#include "HostLog.h"

#include <algorithm>

#include "HostHistory.h"
#include "UNHXTypes.h"

namespace {

// One printed line per entry, whatever the texts hold.
std::string OneLine(std::string text) {
    std::replace_if(
        text.begin(), text.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');
    return text;
}

}  // namespace

void THostLog::Add(int32_t kind, std::string sender, std::string text, THostLogOrigin origin) {
    Items.push_back(THostLogEntry{QDateTime::currentDateTime(), kind, std::move(sender),
                                  std::move(text), origin});
    KeepLast(Items);
    // Copies: a listener may add entries, or add or remove listeners.
    const THostLogEntry entry = Items.back();
    const auto listeners = Listeners;
    for (const auto& [handle, listener] : listeners) {
        listener(entry);
    }
}

void THostLog::AddHostNote(int32_t kind, std::string text) {
    Add(kind, HostLogSender, std::move(text), THostLogOrigin::Host);
}

std::vector<THostLogEntry> THostLog::ModuleEntries() const {
    std::vector<THostLogEntry> result;
    std::copy_if(Items.begin(), Items.end(), std::back_inserter(result),
                 [](const THostLogEntry& e) { return e.Origin == THostLogOrigin::Module; });
    return result;
}

int THostLog::AddListener(TListener listener) {
    const int handle = NextListener++;
    Listeners.emplace_back(handle, std::move(listener));
    return handle;
}

void THostLog::RemoveListener(int handle) {
    std::erase_if(Listeners, [handle](const auto& item) { return item.first == handle; });
}

std::string THostLog::FormatEntry(const THostLogEntry& entry) {
    const char* kind = entry.Kind == NHX_LOG_ERROR ? "error " : "notice";
    std::string line = entry.Time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")).toStdString();
    line += ' ';
    line += std::to_string(entry.Kind);
    line += ' ';
    line += kind;
    line += " [";
    line += OneLine(entry.Sender);
    line += "] ";
    line += OneLine(entry.Text);
    return line;
}
