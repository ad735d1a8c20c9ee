#include "HostWindow.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "HostHistory.h"
#include "HostHistoryView.h"
#include "HostVariableDialog.h"
#include "MessageBox.h"
#include "NHXHost.h"

namespace {

QString FromBytes(const std::string& bytes) {
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

QTableWidget* MakeTable(QWidget* parent, const QString& name, const QStringList& headers) {
    auto* table = new QTableWidget(0, static_cast<int>(headers.size()), parent);
    table->setObjectName(name);
    table->setHorizontalHeaderLabels(headers);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionMode(QAbstractItemView::NoSelection);
    table->verticalHeader()->setVisible(false);
    table->horizontalHeader()->setStretchLastSection(true);
    return table;
}

QWidget* InGroup(const QString& title, QWidget* content) {
    auto* group = new QGroupBox(title);
    auto* layout = new QVBoxLayout(group);
    layout->addWidget(content);
    return group;
}

// The add-in's own interface, asked for under its AddInID.
TNHXInterfacePtr<INHXMondrelAddIn> AddInInterface(const TNHXAddIn& addIn) {
    return NHXQuery<INHXMondrelAddIn>(addIn.Plugin, addIn.AddInID);
}

}  // namespace

THostWindow::THostWindow(TNHXHost& host, QWidget* parent) : QWidget(parent), Host(host) {
    setObjectName(QStringLiteral("HostWindow"));
    setWindowTitle(QStringLiteral("NHX stand-in host"));

    AddInTable = MakeTable(this, QStringLiteral("AddIns"),
                           {tr("Bitmap"), tr("Name"), tr("Description"), QString()});
    InstanceTable = MakeTable(this, QStringLiteral("Instances"),
                              {tr("Number"), tr("Module"), QString(), QString()});
    VariableTable =
        MakeTable(this, QStringLiteral("Variables"), {tr("Name"), tr("Type"), tr("Value")});
    LogView = new QPlainTextEdit(this);
    LogView->setObjectName(QStringLiteral("Log"));
    LogView->setReadOnly(true);
    LogView->setMaximumBlockCount(static_cast<int>(HostHistoryLimit));
    LogView->setLineWrapMode(QPlainTextEdit::NoWrap);

    auto* top = new QSplitter(Qt::Horizontal);
    auto* left = new QSplitter(Qt::Vertical);
    left->addWidget(InGroup(tr("Add-ins"), AddInTable));
    left->addWidget(InGroup(tr("Instances"), InstanceTable));
    top->addWidget(left);
    auto* variables = new QWidget;
    auto* variablesLayout = new QVBoxLayout(variables);
    variablesLayout->setContentsMargins(0, 0, 0, 0);
    variablesLayout->addWidget(VariableTable);
    auto* addVariable = new QPushButton(tr("Add variable"));
    addVariable->setObjectName(QStringLiteral("AddVariable"));
    connect(addVariable, &QPushButton::clicked, this, [this] {
        RunGuarded([this] {
            THostVariableDialog dialog(Host.Variables(), this);
            dialog.exec();
        });
    });
    variablesLayout->addWidget(addVariable, 0, Qt::AlignRight);
    top->addWidget(InGroup(tr("Variables"), variables));
    top->setSizes({600, 360});
    auto* all = new QSplitter(Qt::Vertical);
    all->addWidget(top);
    auto* pages = new QTabWidget;
    pages->setObjectName(QStringLiteral("LogPages"));
    pages->addTab(LogView, tr("Log"));
    pages->addTab(new THostHistoryView(Host.Scripter()), tr("History"));
    all->addWidget(pages);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(all);
    resize(960, 720);

    for (const THostLogEntry& entry : Host.Log().Entries()) {
        AppendLog(entry);
    }
    LogListener = Host.Log().AddListener([this](const THostLogEntry& entry) { AppendLog(entry); });
    Host.Variables().SetChangeListener([this] { ScheduleRefresh(); });
    Host.Instances().SetChangeListener([this] { ScheduleRefresh(); });
    Host.AddIns().SetChangeListener([this] { ScheduleRefresh(); });
    Refresh();
}

THostWindow::~THostWindow() {
    Host.Log().RemoveListener(LogListener);
    Host.Variables().SetChangeListener({});
    Host.Instances().SetChangeListener({});
    Host.AddIns().SetChangeListener({});
}

void THostWindow::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    QCoreApplication::quit();
}

void THostWindow::ScheduleRefresh() {
    if (RefreshPending) {
        return;
    }
    RefreshPending = true;
    QTimer::singleShot(0, this, [this] { RunGuarded([this] { Refresh(); }); });
}

void THostWindow::Refresh() {
    RefreshPending = false;
    RefreshAddIns();
    RefreshInstances();
    RefreshVariables();
}

void THostWindow::AppendLog(const THostLogEntry& entry) {
    LogView->appendPlainText(FromBytes(THostLog::FormatEntry(entry)));
}

void THostWindow::RefreshAddIns() {
    const std::vector<TNHXAddIn>& addIns = Host.AddIns().AddIns();
    AddInTable->setRowCount(static_cast<int>(addIns.size()));
    for (int row = 0; row < static_cast<int>(addIns.size()); ++row) {
        TNHXInterfacePtr<INHXMondrelAddIn> addIn = AddInInterface(addIns[row]);
        TNHXTextRef name;
        TNHXTextRef description;
        TNHXBytesRef bitmap;
        if (addIn) {
            addIn->GetName(name.Out());
            addIn->GetDescription(description.Out());
            addIn->GetBitmap(bitmap.Out());
        }
        auto* picture = new QLabel;
        QPixmap pixmap;
        if (bitmap.Get() && pixmap.loadFromData(bitmap.Get(), bitmap.Length(), "BMP")) {
            picture->setPixmap(pixmap);
        } else {
            picture->setText(tr("(none)"));
        }
        picture->setAlignment(Qt::AlignCenter);
        AddInTable->setCellWidget(row, 0, picture);
        AddInTable->setItem(row, 1, new QTableWidgetItem(FromBytes(name.Str())));
        AddInTable->setItem(row, 2, new QTableWidgetItem(FromBytes(description.Str())));
        auto* open = new QPushButton(tr("Open"));
        open->setObjectName(QStringLiteral("OpenAddIn%1").arg(row));
        open->setEnabled(static_cast<bool>(addIn));
        connect(open, &QPushButton::clicked, this,
                [this, row] { RunGuarded([this, row] { OpenAddIn(row); }); });
        AddInTable->setCellWidget(row, 3, open);
        AddInTable->setRowHeight(row, std::max(36, pixmap.height() + 6));
    }
    AddInTable->resizeColumnsToContents();
    AddInTable->horizontalHeader()->setStretchLastSection(false);
}

void THostWindow::OpenAddIn(int row) {
    const std::vector<TNHXAddIn>& addIns = Host.AddIns().AddIns();
    if (row < 0 || row >= static_cast<int>(addIns.size())) {
        return;
    }
    TNHXInterfacePtr<INHXMondrelAddIn> addIn = AddInInterface(addIns[row]);
    if (!addIn) {
        return;
    }
    const NHXResult result = addIn->Open();
    if (NHXFailed(result)) {
        Host.Log().AddHostNote(NHX_LOG_ERROR, "The add-in's Open failed");
    }
}

void THostWindow::RefreshInstances() {
    const std::vector<THostInstance>& instances = Host.Instances().Instances();
    InstanceTable->setRowCount(static_cast<int>(instances.size()));
    for (int row = 0; row < static_cast<int>(instances.size()); ++row) {
        const THostInstance& instance = instances[row];
        const THostModuleEntry* module = Host.Modules().Find(instance.ModuleID);
        InstanceTable->setItem(row, 0, new QTableWidgetItem(QString::number(instance.Number)));
        InstanceTable->setItem(
            row, 1, new QTableWidgetItem(module ? FromBytes(module->Name) : tr("(unloaded)")));
        const uint16_t number = instance.Number;
        auto* open = new QPushButton(tr("Open page"));
        open->setObjectName(QStringLiteral("OpenPage%1").arg(number));
        connect(open, &QPushButton::clicked, this,
                [this, number] { RunGuarded([this, number] { CallPage(number, true); }); });
        auto* close = new QPushButton(tr("Close page"));
        close->setObjectName(QStringLiteral("ClosePage%1").arg(number));
        connect(close, &QPushButton::clicked, this,
                [this, number] { RunGuarded([this, number] { CallPage(number, false); }); });
        InstanceTable->setCellWidget(row, 2, open);
        InstanceTable->setCellWidget(row, 3, close);
    }
    InstanceTable->resizeColumnsToContents();
}

void THostWindow::CallPage(uint16_t number, bool open) {
    // A reference for the call: the page's own calls may change the host's list meanwhile.
    TNHXInterfacePtr<INHXModule> module =
        TNHXInterfacePtr<INHXModule>::Share(Host.Instances().Find(number));
    if (!module) {
        return;
    }
    const NHXResult result = open ? module->OpenPage() : Host.Instances().ClosePage(number);
    if (NHXFailed(result)) {
        Host.Log().AddHostNote(NHX_LOG_ERROR, std::string(open ? "OpenPage" : "ClosePage") +
                                                  " of instance #" + std::to_string(number) +
                                                  " failed");
    }
}

void THostWindow::RefreshVariables() {
    const std::vector<THostVariable>& variables = Host.Variables().Variables();
    VariableTable->setRowCount(static_cast<int>(variables.size()));
    for (int row = 0; row < static_cast<int>(variables.size()); ++row) {
        const THostVariable& v = variables[row];
        VariableTable->setItem(row, 0, new QTableWidgetItem(FromBytes(v.Name)));
        VariableTable->setItem(
            row, 1,
            new QTableWidgetItem(QString::fromLatin1(THostVariableManager::TypeName(v.TypeCode))));
        VariableTable->setItem(row, 2, new QTableWidgetItem(FromBytes(v.Value)));
    }
    VariableTable->resizeColumnsToContents();
}
