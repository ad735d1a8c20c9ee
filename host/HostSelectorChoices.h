// How the host's selector module answers: from scripted answers (tests, headless runs) or, when an
// interactive chooser is installed (the window), by asking the user. With neither, no choice is
// made and the select call fails.
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

enum class THostSelectKind { Variable, Script };

struct THostSelectCall {
    THostSelectKind Kind = THostSelectKind::Variable;
    uint8_t Types = 0;  // SelectVariable's type set
};

class THostSelectorChoices {
  public:
    // Asks the user; answers the choice, or nothing when the user cancelled.
    using TChooser = std::function<std::optional<std::string>(THostSelectKind kind, uint8_t types)>;

    // Queues the answer of the next select call of that kind; nothing means "cancelled".
    void QueueAnswer(THostSelectKind kind, std::optional<std::string> answer);
    void SetChooser(TChooser chooser) { Chooser = std::move(chooser); }

    // The answer of one select call: a queued one first, then the chooser's.
    std::optional<std::string> Choose(THostSelectKind kind, uint8_t types);
    const std::vector<THostSelectCall>& Calls() const { return Seen; }

  private:
    std::deque<std::optional<std::string>> VariableAnswers;
    std::deque<std::optional<std::string>> ScriptAnswers;
    TChooser Chooser;
    std::vector<THostSelectCall> Seen;
};
