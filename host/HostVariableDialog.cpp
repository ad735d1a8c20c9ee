#include "HostVariableDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>

#include "HostVariableManager.h"

THostVariableDialog::THostVariableDialog(THostVariableManager& variables, QWidget* parent)
    : QDialog(parent), Variables(variables) {
    setWindowTitle(tr("Add variable"));
    setObjectName(QStringLiteral("VariableDialog"));
    auto* layout = new QFormLayout(this);
    NameEdit = new QLineEdit(this);
    NameEdit->setObjectName(QStringLiteral("VariableName"));
    TypeBox = new QComboBox(this);
    TypeBox->setObjectName(QStringLiteral("VariableType"));
    TypeBox->addItem(QString::fromLatin1(THostVariableManager::TypeName(NHX_VAR_BOOLEAN)),
                     NHX_VAR_BOOLEAN);
    TypeBox->addItem(QString::fromLatin1(THostVariableManager::TypeName(NHX_VAR_STRING)),
                     NHX_VAR_STRING);
    ValueEdit = new QLineEdit(QStringLiteral("false"), this);
    ValueEdit->setObjectName(QStringLiteral("VariableValue"));
    connect(TypeBox, &QComboBox::currentIndexChanged, this, [this] {
        const bool boolean = TypeBox->currentData().toInt() == NHX_VAR_BOOLEAN;
        ValueEdit->setText(boolean ? QStringLiteral("false") : QString());
    });
    Problem = new QLabel(this);
    Problem->setObjectName(QStringLiteral("VariableProblem"));
    Problem->setStyleSheet(QStringLiteral("color: #b00020"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addRow(tr("Name"), NameEdit);
    layout->addRow(tr("Type"), TypeBox);
    layout->addRow(tr("Value"), ValueEdit);
    layout->addRow(Problem);
    layout->addRow(buttons);
    resize(360, 160);
}

void THostVariableDialog::accept() {
    const std::string problem = Variables.Declare(
        NameEdit->text().toStdString(), static_cast<uint8_t>(TypeBox->currentData().toInt()),
        ValueEdit->text().toStdString());
    if (!problem.empty()) {
        Problem->setText(QString::fromStdString(problem));
        return;
    }
    QDialog::accept();
}
