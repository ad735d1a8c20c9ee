// The host's log: every entry the module writes through the kernel's LogMessage and the host's own
// notes (variable writes, script runs). The last entries (HostHistoryLimit) are kept for tests and
// the window; every entry is handed to listeners as it arrives (the program prints them to
// standard output), so nothing older needs to stay in memory.
#pragma once

#include <QDateTime>
#include <functional>
#include <string>
#include <vector>

// Who wrote an entry: the module through LogMessage, or the host itself.
enum class THostLogOrigin { Module, Host };

struct THostLogEntry {
    QDateTime Time;
    int32_t Kind = 0;
    std::string Sender;
    std::string Text;
    THostLogOrigin Origin = THostLogOrigin::Module;
};

// The sender of the host's own entries.
inline constexpr const char* HostLogSender = "NHX";

class THostLog {
  public:
    using TListener = std::function<void(const THostLogEntry&)>;

    void Add(int32_t kind, std::string sender, std::string text,
             THostLogOrigin origin = THostLogOrigin::Module);
    // A note of the host itself, sender "NHX".
    void AddHostNote(int32_t kind, std::string text);

    // The last entries, in order.
    const std::vector<THostLogEntry>& Entries() const { return Items; }
    // Only what modules wrote through LogMessage, in order.
    std::vector<THostLogEntry> ModuleEntries() const;
    void Clear() { Items.clear(); }

    // Called for every entry after it is stored; answers a handle for RemoveListener.
    int AddListener(TListener listener);
    void RemoveListener(int handle);

    // One printable line: time, kind, sender, text.
    static std::string FormatEntry(const THostLogEntry& entry);

  private:
    std::vector<THostLogEntry> Items;
    std::vector<std::pair<int, TListener>> Listeners;
    int NextListener = 1;
};
