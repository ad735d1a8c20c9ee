#include "HostLog.h"

#include <algorithm>

#include "HostHistory.h"
#include "UNHXTypes.h"

namespace {

// One printed line per entry, whatever the texts hold: control characters (escape sequences,
// zero bytes, line breaks from descriptions and feeds) are shown escaped, never sent to the
// terminal or the journal as they are.
std::string OneLine(const std::string& text) {
    static const char digits[] = "0123456789abcdef";
    std::string line;
    line.reserve(text.size());
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\n') {
            line += "\\n";
        } else if (c == '\r') {
            line += "\\r";
        } else if (c == '\t') {
            line += "\\t";
        } else if (byte < 0x20 || byte == 0x7F) {
            line += "\\x";
            line += digits[byte >> 4];
            line += digits[byte & 0x0F];
        } else {
            line += c;
        }
    }
    return line;
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
