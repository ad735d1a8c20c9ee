// The library's one exported symbol.
#include "Core.Mondrel.h"
#include "widgets/QtMessageBox.h"

namespace {

// Inside the host's process message boxes are real Qt boxes wherever someone can answer them.
struct TPresenterInstaller {
    TPresenterInstaller() { InstallQtMessageBoxPresenter(); }
} PresenterInstaller;

}  // namespace

NHX_EXPORT NHXResult NHXCALL NHXModuleInfo(const TNHXModuleInfo** out) {
    if (out) {
        *out = MondrelModuleInfo();
    }
    return S_OK;
}
