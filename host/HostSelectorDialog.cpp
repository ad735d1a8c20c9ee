#include "HostSelectorDialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

THostSelectorDialog::THostSelectorDialog(QWidget* parent, const QString& title,
                                         const std::vector<std::string>& items)
    : QDialog(parent) {
    setWindowTitle(title);
    setObjectName(QStringLiteral("SelectorDialog"));
    auto* layout = new QVBoxLayout(this);
    List = new QListWidget(this);
    List->setObjectName(QStringLiteral("SelectorList"));
    for (const std::string& item : items) {
        List->addItem(QString::fromStdString(item));
    }
    if (items.empty()) {
        layout->addWidget(new QLabel(tr("Nothing to choose from."), this));
    }
    layout->addWidget(List);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
    ok->setEnabled(false);
    connect(List, &QListWidget::currentRowChanged, ok, [ok](int row) { ok->setEnabled(row >= 0); });
    connect(List, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    resize(320, 360);
}

std::optional<std::string> THostSelectorDialog::Selected() const {
    const QListWidgetItem* item = List->currentItem();
    if (!item) {
        return std::nullopt;
    }
    return item->text().toStdString();
}

std::optional<std::string> THostSelectorDialog::Choose(QWidget* parent, const QString& title,
                                                       const std::vector<std::string>& items) {
    THostSelectorDialog dialog(parent, title, items);
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return dialog.Selected();
}
