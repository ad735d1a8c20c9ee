// The property page's answer to a click, on the offscreen platform: a day click (the page's
// LoadData plus ShowDay, and the repaint that follows) and a month step with the calendar's
// arrow, on a file of 100,000 appointments spread evenly over ten years (about 27 a day) with 10
// on each clicked day. Every click is timed on its own, wall clock and thread CPU time, so the
// median and the maximum are both reported; warm (click after click) and cold (EvictProcessState
// before each click, as a click after a minute of the host's own work finds the process).
#include <QApplication>
#include <QLabel>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <ctime>
#include <map>
#include <string>
#include <vector>

#include "BenchReport.h"
#include "Clock.h"
#include "ColdState.h"
#include "FPropertyPage.h"
#include "NHXObjects.h"
#include "NHXPtr.h"
#include "TickFiles.h"

namespace {

constexpr int64_t PageAppointments = 100000;
const TDatesIndex Indexes[] = {TDatesIndex::None, TDatesIndex::DateOnly, TDatesIndex::Chosen};

// The instance as the page sees it: it only hands out the database path.
class TPathInstance final : public TNHXModuleObject<INHXMondrel> {
  public:
    explicit TPathInstance(std::string database) : Database(std::move(database)) {}
    NHXResult NHXCALL GetSettings(TNHXMondrelSettings* out) override {
        out->Database = TNHXTextRef(Database).Detach();
        return S_OK;
    }
    NHXResult NHXCALL SetSettings(const TNHXMondrelSettings*) override { return S_OK; }

  protected:
    bool AnswersInterface(const GUID& iid) const override {
        return iid == IID_INHXMondrel || iid == IID_INHXModule;
    }

  private:
    std::string Database;
};

struct TClickTimes {
    std::vector<double> WallUs;
    std::vector<double> CpuUs;
};
std::map<std::string, TClickTimes>& Clicks() {
    static std::map<std::string, TClickTimes> clicks;
    return clicks;
}

double ThreadCpuUs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e6 + static_cast<double>(now.tv_nsec) / 1e3;
}

QWidget* DayCell(TfrmPropertyPage& page, int day) {
    for (QLabel* cell : page.findChildren<QLabel*>()) {
        if (cell->objectName().startsWith("DayCell") && cell->text() == QString::number(day) &&
            cell->isVisible()) {
            return cell;
        }
    }
    return nullptr;
}

enum class TClick { Day, MonthStep };

void TimeClicks(benchmark::State& state, const std::string& name, TDatesIndex index, TClick kind,
                bool cold) {
    const TTickFile& file = PageFile(PageAppointments, index);
    TScopedClock clock(PageDay() + EncodeTime(10, 0, 0, 0));
    auto instance = TNHXInterfacePtr<INHXMondrel>::Adopt(new TPathInstance(file.Path));
    TfrmPropertyPage page;
    page.SetInstance(instance.Get());
    page.show();
    QApplication::processEvents();

    const int firstDay = static_cast<int>(DecodeDate(PageDay()).Day);
    std::vector<QWidget*> targets;
    if (kind == TClick::Day) {
        targets = {DayCell(page, firstDay), DayCell(page, firstDay + 1)};
    } else {
        targets = {page.findChild<QWidget*>("RightArrow"), page.findChild<QWidget*>("LeftArrow")};
    }
    if (std::count(targets.begin(), targets.end(), nullptr) != 0) {
        state.SkipWithError("the page shows no such widget");
        return;
    }
    TClickTimes& times = Clicks()[name];
    size_t next = 0;
    for (auto _ : state) {
        QWidget* target = targets[next++ % targets.size()];
        if (cold) {
            state.PauseTiming();
            EvictProcessState();
            state.ResumeTiming();
        }
        auto wall = std::chrono::steady_clock::now();
        double cpu = ThreadCpuUs();
        QTest::mouseClick(target, Qt::LeftButton, {}, target->rect().center());
        QApplication::processEvents();
        times.CpuUs.push_back(ThreadCpuUs() - cpu);
        times.WallUs.push_back(
            std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - wall)
                .count());
    }
    page.hide();
    page.SetInstance(nullptr);
}

void RegisterAll() {
    for (TDatesIndex index : Indexes) {
        for (TClick kind : {TClick::Day, TClick::MonthStep}) {
            for (bool cold : {false, true}) {
                std::string name = std::string("page/") +
                                   (kind == TClick::Day ? "day-click" : "month-step") + "/" +
                                   std::to_string(PageAppointments) + "/" + IndexName(index) + "/" +
                                   (cold ? "cold" : "warm");
                benchmark::RegisterBenchmark(
                    name.c_str(),
                    [=](benchmark::State& state) { TimeClicks(state, name, index, kind, cold); })
                    ->Unit(benchmark::kMicrosecond)
                    ->Iterations(index == TDatesIndex::None ? 40 : 200);
            }
        }
    }
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

double Maximum(const std::vector<double>& values) {
    return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}

void Summary(const TMedians&) {
    for (const auto& [name, times] : Clicks()) {
        PrintTime(name + "/median-wall", Median(times.WallUs));
        PrintTime(name + "/max-wall", Maximum(times.WallUs));
        PrintTime(name + "/median-cpu", Median(times.CpuUs));
        PrintTime(name + "/max-cpu", Maximum(times.CpuUs));
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    RegisterAll();
    return RunBenchmarks(argc, argv, Summary);
}
