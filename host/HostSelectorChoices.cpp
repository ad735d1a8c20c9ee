#include "HostSelectorChoices.h"

void THostSelectorChoices::QueueAnswer(THostSelectKind kind, std::optional<std::string> answer) {
    (kind == THostSelectKind::Variable ? VariableAnswers : ScriptAnswers)
        .push_back(std::move(answer));
}

std::optional<std::string> THostSelectorChoices::Choose(THostSelectKind kind, uint8_t types) {
    Seen.push_back(THostSelectCall{kind, types});
    auto& queue = kind == THostSelectKind::Variable ? VariableAnswers : ScriptAnswers;
    if (!queue.empty()) {
        std::optional<std::string> answer = std::move(queue.front());
        queue.pop_front();
        return answer;
    }
    if (Chooser) {
        return Chooser(kind, types);
    }
    return std::nullopt;
}
