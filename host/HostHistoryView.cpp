#include "HostHistoryView.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "HostEventScripter.h"
#include "MessageBox.h"

namespace {

constexpr int ShownRuns = 500;

QString FromBytes(const std::string& bytes) {
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

}  // namespace

THostHistoryView::THostHistoryView(THostEventScripter& scripter, QWidget* parent)
    : QWidget(parent), Scripter(scripter) {
    setObjectName(QStringLiteral("HistoryView"));
    ScriptFilter = new QComboBox(this);
    ScriptFilter->setObjectName(QStringLiteral("HistoryScript"));
    OutcomeFilter = new QComboBox(this);
    OutcomeFilter->setObjectName(QStringLiteral("HistoryOutcome"));
    OutcomeFilter->addItem(tr("All outcomes"), QString());
    for (const char* state :
         {HostRunState::Ok, HostRunState::Failed, HostRunState::NotStarted, HostRunState::TimedOut,
          HostRunState::Queued, HostRunState::Running}) {
        OutcomeFilter->addItem(QString::fromLatin1(state), QString::fromLatin1(state));
    }
    Table = new QTableWidget(0, 7, this);
    Table->setObjectName(QStringLiteral("History"));
    Table->setHorizontalHeaderLabels({tr("Asked"), tr("Script"), tr("Sender"), tr("Outcome"),
                                      tr("Exit"), tr("Duration"), tr("Reason")});
    Table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Table->verticalHeader()->setVisible(false);
    Table->horizontalHeader()->setStretchLastSection(true);

    auto* filters = new QHBoxLayout;
    filters->addWidget(new QLabel(tr("Script:"), this));
    filters->addWidget(ScriptFilter);
    filters->addWidget(new QLabel(tr("Outcome:"), this));
    filters->addWidget(OutcomeFilter);
    filters->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(filters);
    layout->addWidget(Table);

    connect(ScriptFilter, &QComboBox::currentIndexChanged, this, [this] { ScheduleRefresh(); });
    connect(OutcomeFilter, &QComboBox::currentIndexChanged, this, [this] { ScheduleRefresh(); });
    QPointer<THostHistoryView> self(this);
    Scripter.AddResultListener([self](const THostScriptResult&) {
        if (self) {
            self->ScheduleRefresh();
        }
    });
    Refresh();
}

void THostHistoryView::ScheduleRefresh() {
    if (RefreshPending) {
        return;
    }
    RefreshPending = true;
    // Runs of a burst end close together: one read for all of them.
    QTimer::singleShot(200, this, [this] { RunGuarded([this] { Refresh(); }); });
}

void THostHistoryView::Refresh() {
    RefreshPending = false;
    const QString chosen = ScriptFilter->currentData().toString();
    {
        const QSignalBlocker quiet(ScriptFilter);
        ScriptFilter->clear();
        ScriptFilter->addItem(tr("All scripts"), QString());
        for (const std::string& name : Scripter.ListScripts()) {
            ScriptFilter->addItem(FromBytes(name), FromBytes(name));
        }
        ScriptFilter->setCurrentIndex(std::max(0, ScriptFilter->findData(chosen)));
    }
    THostRunHistory* history = Scripter.History();
    if (!history) {
        Table->setRowCount(0);
        return;
    }
    THostHistoryFilter filter;
    filter.Script = ScriptFilter->currentData().toString().toStdString();
    const std::string outcome = OutcomeFilter->currentData().toString().toStdString();
    std::vector<THostRunRecord> runs;
    try {
        runs = history->List(filter);
    } catch (const std::exception& e) {
        // The tab stays empty; the log says why.
        Table->setRowCount(0);
        ShowErrorReport(e.what());
        return;
    }
    std::erase_if(runs, [&outcome](const THostRunRecord& r) {
        return !outcome.empty() && r.Result.Outcome != outcome;
    });
    if (runs.size() > static_cast<size_t>(ShownRuns)) {
        runs.resize(ShownRuns);
    }
    Table->setRowCount(static_cast<int>(runs.size()));
    for (int row = 0; row < static_cast<int>(runs.size()); ++row) {
        const THostRunRecord& run = runs[row];
        const THostScriptResult& r = run.Result;
        const QStringList cells = {
            FromBytes(r.Asked),
            FromBytes(r.Script),
            r.Instance > 0 ? tr("%1 (instance #%2)").arg(FromBytes(r.Sender)).arg(r.Instance)
                           : FromBytes(r.Sender),
            FromBytes(r.Outcome),
            r.ExitStatus >= 0 ? QString::number(r.ExitStatus)
                              : (r.Signal > 0 ? tr("signal %1").arg(r.Signal) : QString()),
            run.DurationMs ? tr("%1 ms").arg(*run.DurationMs) : QString(),
            FromBytes(r.Reason.empty() ? run.Note : r.Reason)};
        for (int column = 0; column < static_cast<int>(cells.size()); ++column) {
            Table->setItem(row, column, new QTableWidgetItem(cells[column]));
        }
    }
    Table->resizeColumnsToContents();
}
