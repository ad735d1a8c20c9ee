// Message boxes and the default error report. The module asks here; a presenter answers. The Qt
// presenter shows a modal box; tests install a responder with scripted answers; with no
// presenter installed each box is written as one line to standard error and answered with its
// first button, so nothing ever blocks where no one can answer.
#pragma once

#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <vector>

enum class TMsgIcon { None, Information, Warning, Error, Question };
enum class TMsgButton { OK, Yes, No, Abort, Ignore, Cancel, Retry };

struct TMessageBoxRequest {
    std::string Text;
    TMsgIcon Icon = TMsgIcon::None;
    std::vector<TMsgButton> Buttons;
    // The button Return presses; the first one when none is named.
    std::optional<TMsgButton> Default;
};

using TMessageBoxPresenter = std::function<TMsgButton(const TMessageBoxRequest&)>;

// Shows a box and answers the pressed button. A question whose first answer does harm names a
// harmless default, so that Return does not do it.
TMsgButton ShowMessageBox(const std::string& text, TMsgIcon icon,
                          std::vector<TMsgButton> buttons = {TMsgButton::OK},
                          std::optional<TMsgButton> defaultButton = std::nullopt);

// True while a box is shown: work that runs inside its event loop (a timer) leaves reporting to
// a later moment rather than open a second box inside the first.
bool MessageBoxOpen();

// The default report of an error that ended a handler: an error box with one OK button.
void ShowErrorReport(const std::string& text);

// Reports the exception in flight (call from a catch block).
void ReportCurrentException();

// Runs `action`, reporting anything it throws; answers false when it threw. Every entry point
// from the host or the event loop runs its work through this.
bool RunGuarded(const std::function<void()>& action);

// Installs a presenter for the whole process and answers the previous one.
TMessageBoxPresenter SetMessageBoxPresenter(TMessageBoxPresenter presenter);

// The presenter used where no one can answer: one line on standard error, first button.
TMsgButton WriteMessageBoxToStderr(const TMessageBoxRequest& request);

const char* MsgIconName(TMsgIcon icon);
const char* MsgButtonName(TMsgButton button);

// For tests: records every box and answers from a script (then the first button).
class TScopedMessageBoxResponder {
  public:
    TScopedMessageBoxResponder();
    ~TScopedMessageBoxResponder();
    TScopedMessageBoxResponder(const TScopedMessageBoxResponder&) = delete;
    TScopedMessageBoxResponder& operator=(const TScopedMessageBoxResponder&) = delete;

    void QueueAnswer(TMsgButton answer) { Answers.push_back(answer); }
    const std::vector<TMessageBoxRequest>& Requests() const { return Seen; }
    void Clear() { Seen.clear(); }

  private:
    TMessageBoxPresenter Previous;
    std::vector<TMsgButton> Answers;
    std::vector<TMessageBoxRequest> Seen;
};
