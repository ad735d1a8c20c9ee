#include "MessageBox.h"

#include <cstdio>
#include <utility>

namespace {

TMessageBoxPresenter& Presenter() {
    static TMessageBoxPresenter presenter;
    return presenter;
}

// Boxes being shown now; a box's event loop may run timers that want to show one more.
int& OpenBoxes() {
    static int open = 0;
    return open;
}

// One line: control characters of the text become blanks.
std::string OneLine(const std::string& text) {
    std::string line = text;
    for (char& c : line) {
        if (c == '\r' || c == '\n' || c == '\t') {
            c = ' ';
        }
    }
    return line;
}

}  // namespace

const char* MsgIconName(TMsgIcon icon) {
    switch (icon) {
        case TMsgIcon::Information:
            return "information";
        case TMsgIcon::Warning:
            return "warning";
        case TMsgIcon::Error:
            return "error";
        case TMsgIcon::Question:
            return "question";
        case TMsgIcon::None:
            break;
    }
    return "message";
}

const char* MsgButtonName(TMsgButton button) {
    switch (button) {
        case TMsgButton::OK:
            return "OK";
        case TMsgButton::Yes:
            return "Yes";
        case TMsgButton::No:
            return "No";
        case TMsgButton::Abort:
            return "Abort";
        case TMsgButton::Ignore:
            return "Ignore";
        case TMsgButton::Cancel:
            return "Cancel";
        case TMsgButton::Retry:
            return "Retry";
    }
    return "?";
}

TMsgButton WriteMessageBoxToStderr(const TMessageBoxRequest& request) {
    TMsgButton answer = request.Buttons.empty() ? TMsgButton::OK : request.Buttons.front();
    std::fprintf(stderr, "Mondrel %s: %s [answered %s]\n", MsgIconName(request.Icon),
                 OneLine(request.Text).c_str(), MsgButtonName(answer));
    std::fflush(stderr);
    return answer;
}

TMsgButton ShowMessageBox(const std::string& text, TMsgIcon icon, std::vector<TMsgButton> buttons,
                          std::optional<TMsgButton> defaultButton) {
    if (buttons.empty()) {
        buttons.push_back(TMsgButton::OK);
    }
    TMessageBoxRequest request{text, icon, std::move(buttons), defaultButton};
    // A copy, so a presenter that replaces itself while showing stays alive.
    TMessageBoxPresenter presenter = Presenter();
    struct TOpenBox {
        TOpenBox() { ++OpenBoxes(); }
        ~TOpenBox() { --OpenBoxes(); }
    } open;
    return presenter ? presenter(request) : WriteMessageBoxToStderr(request);
}

bool MessageBoxOpen() {
    return OpenBoxes() > 0;
}

void ShowErrorReport(const std::string& text) {
    ShowMessageBox(text, TMsgIcon::Error, {TMsgButton::OK});
}

void ReportCurrentException() {
    try {
        throw;
    } catch (const std::exception& e) {
        ShowErrorReport(e.what());
    } catch (...) {
        ShowErrorReport("Unknown error");
    }
}

bool RunGuarded(const std::function<void()>& action) {
    try {
        action();
        return true;
    } catch (...) {
        try {
            ReportCurrentException();
        } catch (...) {
            // The report itself failed; there is no one left to tell.
            std::fputs("Mondrel: an error could not be reported\n", stderr);
        }
        return false;
    }
}

TMessageBoxPresenter SetMessageBoxPresenter(TMessageBoxPresenter presenter) {
    return std::exchange(Presenter(), std::move(presenter));
}

TScopedMessageBoxResponder::TScopedMessageBoxResponder() {
    Previous = SetMessageBoxPresenter([this](const TMessageBoxRequest& request) {
        Seen.push_back(request);
        if (!Answers.empty()) {
            TMsgButton answer = Answers.front();
            Answers.erase(Answers.begin());
            return answer;
        }
        return request.Buttons.empty() ? TMsgButton::OK : request.Buttons.front();
    });
}

TScopedMessageBoxResponder::~TScopedMessageBoxResponder() {
    SetMessageBoxPresenter(std::move(Previous));
}
