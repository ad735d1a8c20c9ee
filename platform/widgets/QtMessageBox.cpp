#include "QtMessageBox.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <QWindow>

namespace {

QPointer<QWidget>& Owner() {
    static QPointer<QWidget> owner;
    return owner;
}

QMessageBox::StandardButton ToStandard(TMsgButton b) {
    switch (b) {
        case TMsgButton::OK:
            return QMessageBox::Ok;
        case TMsgButton::Yes:
            return QMessageBox::Yes;
        case TMsgButton::No:
            return QMessageBox::No;
        case TMsgButton::Abort:
            return QMessageBox::Abort;
        case TMsgButton::Ignore:
            return QMessageBox::Ignore;
        case TMsgButton::Cancel:
            return QMessageBox::Cancel;
        case TMsgButton::Retry:
            return QMessageBox::Retry;
    }
    return QMessageBox::Ok;
}

QMessageBox::Icon ToIcon(TMsgIcon icon) {
    switch (icon) {
        case TMsgIcon::Information:
            return QMessageBox::Information;
        case TMsgIcon::Warning:
            return QMessageBox::Warning;
        case TMsgIcon::Error:
            return QMessageBox::Critical;
        case TMsgIcon::Question:
            return QMessageBox::Question;
        case TMsgIcon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

bool SomeoneCanAnswer() {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
        return false;
    }
    const QString platform = QGuiApplication::platformName();
    return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

}  // namespace

TMsgButton PresentWithQMessageBox(const TMessageBoxRequest& request) {
    if (!SomeoneCanAnswer()) {
        return WriteMessageBoxToStderr(request);
    }
    QMessageBox box(ToIcon(request.Icon), QStringLiteral("Mondrel"),
                    QString::fromUtf8(request.Text.data(), static_cast<int>(request.Text.size())));
    QMessageBox::StandardButtons buttons;
    for (TMsgButton b : request.Buttons) {
        buttons |= ToStandard(b);
    }
    box.setStandardButtons(buttons);
    box.setDefaultButton(ToStandard(request.Default.value_or(request.Buttons.front())));
    // Centred on its window and kept in front of it by the window manager. No Qt parent: the
    // box lives on this stack, and a parent freed meanwhile would free it a second time.
    if (QWidget* owner = CurrentBoxOwner(); owner && owner->window()->isVisible()) {
        box.winId();
        if (QWindow* window = box.windowHandle()) {
            window->setTransientParent(owner->window()->windowHandle());
        }
    }
    const int pressed = box.exec();
    for (TMsgButton b : request.Buttons) {
        if (pressed == ToStandard(b)) {
            return b;
        }
    }
    return request.Buttons.back();
}

void InstallQtMessageBoxPresenter() {
    SetMessageBoxPresenter(&PresentWithQMessageBox);
}

TScopedBoxOwner::TScopedBoxOwner(QWidget* owner) : Previous(Owner()) {
    Owner() = owner;
}

TScopedBoxOwner::~TScopedBoxOwner() {
    Owner() = Previous;
}

QWidget* CurrentBoxOwner() {
    return Owner().data();
}
