// nhx-host as a user runs it: its command line, a headless run over the test module, a stop by
// signal, and the whole main job with the real module under a sped-up clock.
#include <QApplication>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QThread>
#include <csignal>
#include <map>
#include <sstream>

#include "HostOptions.h"
#include "MqttBroker.h"

namespace {

using HostProgram = HostTest;

struct TRunResult {
    int ExitCode = -1;
    bool Finished = false;
    std::string Out;
    std::string Err;
};

// Runs a program to its end, killed after `timeoutMs` so no test can hang.
TRunResult RunProgram(const QString& program, const QStringList& args, int timeoutMs = 60000) {
    QProcess process;
    // faketime preloads its library ahead of the sanitizer runtime of an instrumented build.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    const QString sanitizer = environment.value("ASAN_OPTIONS");
    environment.insert("ASAN_OPTIONS",
                       (sanitizer.isEmpty() ? "" : sanitizer + ":") + "verify_asan_link_order=0");
    process.setProcessEnvironment(environment);
    process.start(program, args);
    TRunResult result;
    if (!process.waitForStarted(10000)) {
        result.Err = process.errorString().toStdString();
        return result;
    }
    result.Finished = process.waitForFinished(timeoutMs);
    if (!result.Finished) {
        process.kill();
        process.waitForFinished(5000);
    }
    result.ExitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.Out = process.readAllStandardOutput().toStdString();
    result.Err = process.readAllStandardError().toStdString();
    return result;
}

TRunResult RunHost(const QStringList& args, int timeoutMs = 60000) {
    return RunProgram(QStringLiteral(NHX_HOST_PATH), args, timeoutMs);
}

size_t Find(const std::string& text, const std::string& what) {
    return text.find(what);
}

}  // namespace

TEST_F(HostProgram, ProgramRejectsBadCommandLines) {
    TRunResult bad = RunHost({"--bogus"});
    EXPECT_EQ(bad.ExitCode, 2);
    EXPECT_NE(Find(bad.Err, "Unknown option --bogus"), std::string::npos) << bad.Err;

    TRunResult quit = RunHost({"--headless", "--quit-after", "soon"});
    EXPECT_EQ(quit.ExitCode, 2);
    EXPECT_NE(Find(quit.Err, "--quit-after needs"), std::string::npos) << quit.Err;

    TRunResult dir =
        RunHost({"--headless", "--kernel-dir", QString::fromStdString(KernelDir() + "none")});
    EXPECT_EQ(dir.ExitCode, 2);
    EXPECT_NE(Find(dir.Err, "no such directory"), std::string::npos) << dir.Err;

    TRunResult mqtt = RunHost({"--headless", "--mqtt", "mqtt://"});
    EXPECT_EQ(mqtt.ExitCode, 2);
    EXPECT_EQ(mqtt.Err,
              "nhx-host: --mqtt: no broker host in \"mqtt://\"\nTry 'nhx-host --help'.\n");

    TRunResult variables =
        RunHost({"--headless", "--kernel-dir", QString::fromStdString(KernelDir()), "--variables",
                 QString::fromStdString(ScriptsDir())});
    EXPECT_EQ(variables.ExitCode, 2);
    EXPECT_NE(
        Find(variables.Err, "nhx-host: the variables file " + ScriptsDir() + " is a directory\n"),
        std::string::npos)
        << variables.Err;

    TRunResult help = RunHost({"--help"});
    EXPECT_EQ(help.ExitCode, 0);
    EXPECT_NE(Find(help.Out, "--quit-after SECONDS"), std::string::npos);
}

TEST_F(HostProgram, ProgramReportsAModuleItCannotLoad) {
    WriteWholeFile(KernelDir() + "garbage.so", "not a library", false);
    for (const std::string& module : {KernelDir() + "missing.so", KernelDir() + "garbage.so"}) {
        TRunResult run = RunHost({"--headless", "--quit-after", "5", "--kernel-dir",
                                  QString::fromStdString(KernelDir()), "--module",
                                  QString::fromStdString(module)});
        EXPECT_EQ(run.ExitCode, 1) << module;
        EXPECT_NE(Find(run.Err, "Cannot load module " + module), std::string::npos) << run.Err;
    }
}

TEST_F(HostProgram, ProgramRunsHeadlessAndShutsDownInOrder) {
    const std::string dump = KernelDir() + "variables.tsv";
    TRunResult run = RunHost({"--headless", "--quit-after", "0.3", "--module", FAKE_MODULE_PATH,
                              "--kernel-dir", QString::fromStdString(KernelDir()),
                              "--variables-out", QString::fromStdString(dump)});
    ASSERT_TRUE(run.Finished);
    EXPECT_EQ(run.ExitCode, 0) << run.Err;
    const size_t registered = Find(run.Out, "[Fake] Register");
    const size_t unregistered = Find(run.Out, "[Fake] Unregister");
    ASSERT_NE(registered, std::string::npos) << run.Out;
    ASSERT_NE(unregistered, std::string::npos) << run.Out;
    EXPECT_LT(registered, unregistered);
    EXPECT_NE(Find(run.Out, "Module Fake unloaded"), std::string::npos);
    EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(dump)));
}

TEST_F(HostProgram, ProgramStopsCleanlyOnTerminate) {
    QProcess process;
    process.start(QStringLiteral(NHX_HOST_PATH),
                  {"--headless", "--module", FAKE_MODULE_PATH, "--kernel-dir",
                   QString::fromStdString(KernelDir())});
    ASSERT_TRUE(process.waitForStarted(10000));
    // Wait until it has registered, then ask it to stop.
    std::string out;
    for (int i = 0; i < 200 && Find(out, "[Fake] Register") == std::string::npos; ++i) {
        process.waitForReadyRead(100);
        out += process.readAllStandardOutput().toStdString();
    }
    ASSERT_NE(Find(out, "[Fake] Register"), std::string::npos);
    process.terminate();
    const bool finished = process.waitForFinished(20000);
    if (!finished) {
        process.kill();
        process.waitForFinished(5000);
    }
    ASSERT_TRUE(finished);
    out += process.readAllStandardOutput().toStdString();
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0);
    EXPECT_NE(Find(out, "[Fake] Unregister"), std::string::npos);
}

// The main job: an appointment due in the next minute fires its script with the appointment's
// data, and the row ends done. The clock runs sixty times fast, so the minute takes a second.
// The module never writes settings: a path chosen in the page lives on in the host's settings
// file, which the host writes when it stops, so the next start uses it.
TEST_F(HostProgram, ThePathChosenInThePageSurvivesARestart) {
    if (!QFileInfo::exists(MONDREL_MODULE_PATH) || !QFileInfo::exists(MONDREL_DB_PATH)) {
        GTEST_SKIP() << "the module or the database tool is not built";
    }
    ASSERT_TRUE(QDir(Dir.path()).mkdir("kitchen"));
    const std::string chosen = KernelDir() + "kitchen/Mondrel.sdb";
    ASSERT_EQ(RunProgram(MONDREL_DB_PATH, {"init", QString::fromStdString(chosen)}).ExitCode, 0);
    const auto instanceDatabase = [](TNHXHost& host) {
        auto mondrel = NHXQuery<INHXMondrel>(host.Instances().Find(1), IID_INHXMondrel);
        TNHXMondrelSettings settings{};
        EXPECT_EQ(mondrel->GetSettings(&settings), S_OK);
        return TNHXTextRef::Adopt(settings.Database).Str();
    };
    {
        TNHXHost host(Options());
        host.LoadModule(MONDREL_MODULE_PATH);
        ASSERT_EQ(host.RegisterModule(), S_OK);  // the add-in asks for instance #1
        ASSERT_EQ(host.Instances().Find(1)->OpenPage(), S_OK);
        QWidget* page = nullptr;
        for (QWidget* window : QApplication::topLevelWidgets()) {
            page = window->objectName() == "frmPropertyPage" ? window : page;
        }
        ASSERT_NE(page, nullptr);
        page->findChild<QLineEdit*>("EdtDataBase")->setText(QString::fromStdString(chosen));
        page->findChild<QPushButton*>("BtnSetupClose")->click();
        page->findChild<QPushButton*>("btnOK")->click();
        EXPECT_EQ(instanceDatabase(host), chosen);
        host.Shutdown();
    }
    TNHXHost again(Options());
    again.LoadModule(MONDREL_MODULE_PATH);
    ASSERT_EQ(again.RegisterModule(), S_OK);
    EXPECT_EQ(instanceDatabase(again), chosen);
    EXPECT_EQ(again.Settings().Value(1, {"Settings"}, "Database"), chosen);
}

TEST_F(HostProgram, DueAppointmentRunsItsScriptUnderTheRealModule) {
    const QString faketime = QStandardPaths::findExecutable("faketime");
    const QString sqlite = QStandardPaths::findExecutable("sqlite3");
    if (!QFileInfo::exists(MONDREL_MODULE_PATH) || !QFileInfo::exists(MONDREL_DB_PATH)) {
        GTEST_SKIP() << "the module (" MONDREL_MODULE_PATH
                        ") or the database tool (" MONDREL_DB_PATH ") is not built";
    }
    if (faketime.isEmpty() || sqlite.isEmpty()) {
        GTEST_SKIP() << "faketime or sqlite3 is not installed (scripts/setup installs both)";
    }
    ASSERT_TRUE(QDir(Dir.path()).mkdir("Database"));
    const QString database = QString::fromStdString(KernelDir() + "Database/Mondrel.sdb");
    ASSERT_EQ(RunProgram(MONDREL_DB_PATH, {"init", database}).ExitCode, 0);
    TRunResult added =
        RunProgram(MONDREL_DB_PATH,
                   {"add", database, "--date", "2026-12-08", "--time", "10:30", "--description",
                    "Feed the cat", "--value", "2 cups", "--script", "show.sh"});
    ASSERT_EQ(added.ExitCode, 0) << added.Err;
    const std::string seen = KernelDir() + "seen.txt";
    WriteScript("show.sh",
                "{ echo \"sender=$NHX_SENDER\"; echo \"d=$Mondrel_Discription\";"
                " echo \"v=$Mondrel_Value\"; echo \"date=$Mondrel_Date\";"
                " echo \"time=$Mondrel_Time\"; } > '" +
                    seen + "'\n");

    TRunResult run =
        RunProgram(faketime,
                   {"-f", "@2026-12-08 10:29:50 x60", NHX_HOST_PATH, "--headless", "--quit-after",
                    "150", "--kernel-dir", QString::fromStdString(KernelDir()), "--scripts",
                    QString::fromStdString(ScriptsDir())},
                   120000);
    ASSERT_TRUE(run.Finished) << run.Out;
    EXPECT_EQ(run.ExitCode, 0) << run.Err;

    const std::string environment = ReadWholeFile(seen);
    EXPECT_NE(Find(environment, "sender=Mondrel\n"), std::string::npos) << run.Out;
    EXPECT_NE(Find(environment, "d=Feed the cat\n"), std::string::npos) << environment;
    EXPECT_NE(Find(environment, "v=2 cups\n"), std::string::npos) << environment;
    EXPECT_NE(Find(environment, "time=10:30:00\n"), std::string::npos) << environment;
    EXPECT_EQ(Find(environment, "date=\n"), std::string::npos) << environment;
    EXPECT_NE(Find(run.Out, "Script show.sh finished with exit code 0"), std::string::npos)
        << run.Out;

    TRunResult done = RunProgram(sqlite, {database, "SELECT Done FROM Dates"});
    EXPECT_EQ(done.Out, "1\n") << done.Err;
}

// Headless, the module's error report (no database at the first tick) reaches the log too.
TEST_F(HostProgram, HeadlessErrorReportsGoToTheLog) {
    const QString faketime = QStandardPaths::findExecutable("faketime");
    if (!QFileInfo::exists(MONDREL_MODULE_PATH) || faketime.isEmpty()) {
        GTEST_SKIP() << "needs the module and faketime";
    }
    TRunResult run = RunProgram(
        faketime, {"-f", "@2026-12-08 10:29:50 x60", NHX_HOST_PATH, "--headless", "--quit-after",
                   "90", "--kernel-dir", QString::fromStdString(KernelDir())});
    ASSERT_TRUE(run.Finished);
    EXPECT_NE(Find(run.Out, " 10024 error  [NHX] Mondrel error: Failed to open database"),
              std::string::npos)
        << run.Out;
    EXPECT_NE(Find(run.Err, "Failed to open database"), std::string::npos) << run.Err;
}

// The real module's minute-0 tick writes the flag variable the user declared in the variables
// file: the write reaches its MQTT topic and the file. The clock runs sixty times fast.
TEST_F(HostProgram, DeclaredFlagVariableReachesMqttAndTheFile) {
    const QString faketime = QStandardPaths::findExecutable("faketime");
    const QString sqlite = QStandardPaths::findExecutable("sqlite3");
    if (!QFileInfo::exists(MONDREL_MODULE_PATH) || !QFileInfo::exists(MONDREL_DB_PATH) ||
        faketime.isEmpty() || sqlite.isEmpty() || !TMqttBroker::Installed()) {
        GTEST_SKIP() << "needs the module, mondrel-db, faketime, sqlite3 and mosquitto";
    }
    TMqttBroker broker(KernelDir());
    ASSERT_TRUE(broker.Start());
    ASSERT_TRUE(QDir(Dir.path()).mkdir("Database"));
    const QString database = QString::fromStdString(KernelDir() + "Database/Mondrel.sdb");
    ASSERT_EQ(RunProgram(MONDREL_DB_PATH, {"init", database}).ExitCode, 0);
    ASSERT_EQ(RunProgram(sqlite, {database,
                                  "INSERT INTO Flags (Caption, Variable, Color, isFix) "
                                  "VALUES ('Vacation', 'Vacation', 255, 0);"
                                  "INSERT INTO DayFlags (Date, FlagID) "
                                  "VALUES ('2026-12-08', last_insert_rowid());"})
                  .ExitCode,
              0);
    const std::string variables = KernelDir() + "variables.tsv";
    WriteWholeFile(variables, "Vacation\tboolean\tfalse\n", false);

    // The retained "false" from the host's connect, then the tick's "true".
    TMqttSubscriber vacation(broker.Port, {"nhx/variables/Vacation"}, 2, 60);
    TRunResult run =
        RunProgram(faketime,
                   {"-f", "@2026-12-08 09:59:40 x60", NHX_HOST_PATH, "--headless", "--quit-after",
                    "120", "--kernel-dir", QString::fromStdString(KernelDir()), "--variables",
                    QString::fromStdString(variables), "--mqtt",
                    QStringLiteral("mqtt://127.0.0.1:%1").arg(broker.Port)},
                   120000);
    ASSERT_TRUE(run.Finished) << run.Out;
    EXPECT_EQ(run.ExitCode, 0) << run.Err;
    EXPECT_EQ(vacation.Lines(), (std::vector<std::string>{"nhx/variables/Vacation false",
                                                          "nhx/variables/Vacation true"}))
        << run.Out;
    EXPECT_EQ(Find(run.Out, "no variable named \"Vacation\""), std::string::npos) << run.Out;
    EXPECT_NE(Find(ReadWholeFile(variables), "Vacation\t0\ttrue\n"), std::string::npos);
}

// make install's tree under a DESTDIR: programs, module, helper and units; the installed host
// finds its module, and systemd-analyze accepts the units (where it exists).
TEST_F(HostProgram, InstallLaysOutATreeUnderDestdir) {
    if (!QFileInfo::exists(MONDREL_MODULE_PATH) || !QFileInfo::exists(MONDREL_DB_PATH)) {
        GTEST_SKIP() << "the module or mondrel-db is not built";
    }
    const std::string stage = KernelDir() + "stage";
    QProcess install;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("DESTDIR", QString::fromStdString(stage));
    install.setProcessEnvironment(environment);
    install.start(QStandardPaths::findExecutable("cmake"),
                  {"--install", BUILD_DIR, "--prefix", "/opt/nhx"});
    ASSERT_TRUE(install.waitForFinished(120000));
    ASSERT_EQ(install.exitCode(), 0) << install.readAllStandardError().toStdString();

    const std::string root = stage + "/opt/nhx/";
    for (const std::string file :
         {"bin/nhx-host", "bin/mondrel-db", "bin/mondrel-web", "lib/nhx/Core.Mondrel.so",
          "lib/nhx/refresh-databases", "lib/systemd/system/nhx-host.service",
          "lib/systemd/system/mondrel-refresh.service", "lib/systemd/system/mondrel-refresh.timer",
          "lib/systemd/system/mondrel-web.service"}) {
        EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(root + file))) << file;
    }
    const std::string unit = ReadWholeFile(root + "lib/systemd/system/nhx-host.service");
    EXPECT_NE(Find(unit,
                   "ExecStart=/opt/nhx/bin/nhx-host --headless --module "
                   "/opt/nhx/lib/nhx/Core.Mondrel.so"),
              std::string::npos)
        << unit;

    // The installed helper asks the installed host for the databases: none exists here.
    TRunResult refresh = RunProgram(QString::fromStdString(root + "lib/nhx/refresh-databases"),
                                    {QString::fromStdString(KernelDir())});
    EXPECT_EQ(refresh.ExitCode, 0) << refresh.Err;
    EXPECT_EQ(refresh.Out, "refresh-databases: no such database, skipped: " + KernelDir() +
                               "Database/Mondrel.sdb\n");
    TRunResult module = RunProgram(
        QString::fromStdString(root + "bin/nhx-host"),
        {"--headless", "--quit-after", "0.2", "--kernel-dir", QString::fromStdString(KernelDir())});
    EXPECT_EQ(module.ExitCode, 0) << module.Err;
    EXPECT_NE(Find(module.Out, "loaded from " + root + "bin/../lib/nhx/Core.Mondrel.so"),
              std::string::npos)
        << module.Out;

    const QString analyze = QStandardPaths::findExecutable("systemd-analyze");
    if (analyze.isEmpty()) {
        GTEST_SKIP() << "systemd-analyze is not installed; the units were not verified";
    }
    // Checked where they are installed: the programs they name exist under the stage.
    QStringList units;
    for (const std::string name : {"nhx-host.service", "mondrel-refresh.service",
                                   "mondrel-refresh.timer", "mondrel-web.service"}) {
        std::string text = ReadWholeFile(root + "lib/systemd/system/" + name);
        for (size_t at; (at = text.find(" /opt/nhx/")) != std::string::npos ||
                        (at = text.find("=/opt/nhx/")) != std::string::npos;) {
            text.replace(at + 1, 9, stage + "/opt/nhx/");
        }
        WriteWholeFile(KernelDir() + name, text, false);
        units << QString::fromStdString(KernelDir() + name);
    }
    TRunResult verify = RunProgram(analyze, QStringList{"verify"} + units);
    EXPECT_EQ(verify.ExitCode, 0) << verify.Out << verify.Err;
    EXPECT_EQ(verify.Err, "") << "systemd-analyze warns";
}

// The units' sandbox, as systemd-analyze scores it (lower is tighter): the host, whose scripts
// are the user's own, at most 4.5; the refresh at most 2.5.
TEST_F(HostProgram, UnitsKeepTheirSandboxScores) {
    const QString analyze = QStandardPaths::findExecutable("systemd-analyze");
    if (analyze.isEmpty()) {
        GTEST_SKIP() << "systemd-analyze is not installed; the scores were not checked";
    }
    for (const auto& [unit, limit] : std::vector<std::pair<std::string, double>>{
             {"nhx-host.service", 4.5}, {"mondrel-refresh.service", 2.5}}) {
        TRunResult security = RunProgram(
            analyze, {"security", "--offline=yes",
                      QString::fromStdString(std::string(SOURCE_DIR) + "/dist/systemd/" + unit)});
        const QRegularExpressionMatch score =
            QRegularExpression(QString::fromStdString("exposure level for " + unit + ": ([0-9.]+)"))
                .match(QString::fromStdString(security.Out));
        ASSERT_TRUE(score.hasMatch()) << security.Out << security.Err;
        EXPECT_LE(score.captured(1).toDouble(), limit) << unit;
    }
}

// What refresh-databases reads, one path a line: a path with a line break and a section whose
// number is no instance's are named on standard error, not split or dropped without a word.
TEST_F(HostProgram, ListDatabasesNamesWhatItCannotList) {
    WriteWholeFile(KernelDir() + "nhx-host.ini",
                   "[Instance1]\nSettings\\Database=\"/d/a\\nb.sdb\"\n"
                   "[Instance2]\nSettings\\Database=/d/ok.sdb\n"
                   "[Instance70000]\nSettings\\Database=/d/big.sdb\n",
                   false);
    TRunResult list =
        RunHost({"--kernel-dir", QString::fromStdString(KernelDir()), "--list-databases"});
    EXPECT_EQ(list.ExitCode, 0);
    EXPECT_EQ(list.Out, "/d/ok.sdb\n" + KernelDir() + "Database/Mondrel.sdb\n");
    EXPECT_EQ(list.Err,
              "nhx-host: [Instance70000] ignored: instance numbers run from 0 to 65535\n"
              "nhx-host: the database of [Instance1] holds a line break and is skipped: "
              "/d/a\\nb.sdb\n");
}

// The broker password from a file (or the environment) connects; one in the URL still does, with
// a warning, and the password is never printed.
TEST_F(HostProgram, MqttPasswordComesFromAFileAndIsNeverShown) {
    if (!TMqttBroker::Installed()) {
        GTEST_SKIP() << "mosquitto is not installed (scripts/setup)";
    }
    TMqttBroker broker(KernelDir());
    ASSERT_TRUE(broker.RequirePassword(KernelDir(), "nhx", "s3cret-word"));
    ASSERT_TRUE(broker.Start());
    WriteWholeFile(KernelDir() + "password", "s3cret-word\n", false);
    const QString address = QStringLiteral("127.0.0.1:%1").arg(broker.Port);
    const QStringList common{"--headless",
                             "--quit-after",
                             "2",
                             "--module",
                             FAKE_MODULE_PATH,
                             "--kernel-dir",
                             QString::fromStdString(KernelDir())};
    TRunResult fromFile =
        RunHost(common + QStringList{"--mqtt", "mqtt://nhx@" + address, "--mqtt-password-file",
                                     QString::fromStdString(KernelDir() + "password")});
    EXPECT_NE(Find(fromFile.Out, "MQTT: connected to " + address.toStdString()), std::string::npos)
        << fromFile.Out;
    qputenv(MqttPasswordVariable, "s3cret-word");
    TRunResult fromEnvironment = RunHost(common + QStringList{"--mqtt", "mqtt://nhx@" + address});
    qunsetenv(MqttPasswordVariable);
    EXPECT_NE(Find(fromEnvironment.Out, "MQTT: connected to"), std::string::npos)
        << fromEnvironment.Out;
    TRunResult inUrl = RunHost(common + QStringList{"--mqtt", "mqtt://nhx:s3cret-word@" + address});
    EXPECT_NE(Find(inUrl.Out, "MQTT: connected to"), std::string::npos) << inUrl.Out;
    EXPECT_NE(Find(inUrl.Out, "MQTT: the password is in the broker URL"), std::string::npos);
    TRunResult bad = RunHost({"--mqtt", "mqtt://nhx:s3cret-word@" + address + "/path"});
    EXPECT_EQ(bad.ExitCode, 2);
    EXPECT_NE(Find(bad.Err, "mqtt://nhx:***@"), std::string::npos) << bad.Err;
    for (const TRunResult* run : {&fromFile, &fromEnvironment, &inUrl, &bad}) {
        EXPECT_EQ(Find(run->Out + run->Err, "s3cret"), std::string::npos) << run->Out << run->Err;
    }
}

namespace {

// nhx-host over the test module, which asks for `runs` runs of `script` at registration.
class THostProcess {
  public:
    THostProcess(const std::string& kernelDir, int runs, const std::string& script) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        if (runs > 0) {
            environment.insert("FAKE_MODULE_RUNS", QString::number(runs));
            environment.insert("FAKE_MODULE_SCRIPT", QString::fromStdString(script));
        }
        Process.setProcessEnvironment(environment);
        Process.setProcessChannelMode(QProcess::MergedChannels);
        Process.start(QStringLiteral(NHX_HOST_PATH),
                      {"--headless", "--module", FAKE_MODULE_PATH, "--kernel-dir",
                       QString::fromStdString(kernelDir)});
        Process.waitForStarted(10000);
    }
    ~THostProcess() {
        if (Process.state() != QProcess::NotRunning) {
            Process.kill();
            Process.waitForFinished(5000);
        }
    }
    // Reads the log until it holds `text` `count` times, or `timeoutMs` passes.
    bool WaitFor(const std::string& text, int count, int timeoutMs) {
        QDeadlineTimer deadline(timeoutMs);
        while (!deadline.hasExpired()) {
            Out += Process.readAllStandardOutput().toStdString();
            int seen = 0;
            for (size_t at = 0; (at = Out.find(text, at)) != std::string::npos; at += text.size()) {
                ++seen;
            }
            if (seen >= count) {
                return true;
            }
            Process.waitForReadyRead(100);
        }
        return false;
    }
    bool Stop(bool kill) {
        kill ? Process.kill() : Process.terminate();
        const bool ended = Process.waitForFinished(30000);
        Out += Process.readAllStandardOutput().toStdString();
        return ended;
    }

    QProcess Process;
    std::string Out;
};

std::vector<int> CountsOfValues(const std::string& file, int values) {
    std::vector<int> counts(values, 0);
    std::istringstream lines(ReadWholeFile(file));
    for (std::string line; std::getline(lines, line);) {
        ++counts.at(std::stoul(line));
    }
    return counts;
}

}  // namespace

TEST_F(HostProgram, ShowHistoryPrintsFailedRunsAsJsonWhileAHostRuns) {
    WriteScript("odd.sh", "exit $((Mondrel_Value % 2))\n");
    THostProcess host(KernelDir(), 4, "odd.sh");
    ASSERT_TRUE(host.WaitFor("Script odd.sh finished", 4, 30000)) << host.Out;

    TRunResult shown = RunHost({"--show-history", "--failed", "--json", "--kernel-dir",
                                QString::fromStdString(KernelDir())});
    EXPECT_EQ(shown.ExitCode, 0) << shown.Err;
    std::vector<std::string> values;
    std::istringstream lines(shown.Out);
    for (std::string line; std::getline(lines, line);) {
        const QJsonObject run = QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
        EXPECT_EQ(run.value("outcome").toString(), "failed") << line;
        EXPECT_EQ(run.value("exit_status").toInt(), 1) << line;
        EXPECT_EQ(run.value("sender").toString(), "Fake") << line;
        values.push_back(
            run.value("parameters").toObject().value("Mondrel_Value").toString().toStdString());
    }
    // Newest first.
    EXPECT_EQ(values, (std::vector<std::string>{"3", "1"})) << shown.Out;
    EXPECT_TRUE(host.Stop(false));
}

// The host reads SIGINT and SIGTERM with every thread blocking them; its scripts block nothing
// (a script must stop on TERM).
TEST_F(HostProgram, ProgramsScriptsStartWithNoSignalBlocked) {
    WriteScript("mask.sh", "grep SigBlk /proc/self/status\n");
    THostProcess host(KernelDir(), 1, "mask.sh");
    ASSERT_TRUE(host.WaitFor("Script mask.sh finished", 1, 30000)) << host.Out;
    EXPECT_NE(Find(host.Out, R"(Script mask.sh: SigBlk:\t0000000000000000)"), std::string::npos)
        << host.Out;
    EXPECT_TRUE(host.Stop(false));
}

// 200 runs due at once, each taking a second: the host is stopped after 5 s, and then again
// killed after 5 s. Every run is made at the next start; none twice after the clean stop.
TEST_F(HostProgram, RunsLeftWhenTheHostStopsOrIsKilledRunAtTheNextStart) {
    constexpr int Runs = 200;
    for (const bool kill : {false, true}) {
        const std::string out = KernelDir() + (kill ? "killed.txt" : "stopped.txt");
        WriteScript("rec.sh", "sleep 1\necho \"$Mondrel_Value\" >> '" + out + "'\n");
        {
            THostProcess first(KernelDir(), Runs, "rec.sh");
            ASSERT_TRUE(first.WaitFor("[Fake] Register", 1, 20000)) << first.Out;
            QThread::msleep(5000);
            ASSERT_TRUE(first.Stop(kill));
        }
        const std::vector<int> before = CountsOfValues(out, Runs);
        EXPECT_LT(std::count(before.begin(), before.end(), 1), Runs) << "all ran before the stop";
        THostProcess second(KernelDir(), 0, "");
        EXPECT_TRUE(second.WaitFor("script runs accepted before the last stop run now", 1, 20000))
            << second.Out;
        TRunResult shown;
        for (int i = 0; i < 600; ++i) {
            shown =
                RunHost({"--show-history", "--kernel-dir", QString::fromStdString(KernelDir())});
            if (Find(shown.Out, "  queued  ") == std::string::npos &&
                Find(shown.Out, "  running  ") == std::string::npos) {
                break;
            }
            QThread::msleep(100);
        }
        EXPECT_TRUE(second.Stop(false));
        const std::vector<int> counts = CountsOfValues(out, Runs);
        for (int i = 0; i < Runs; ++i) {
            if (kill) {
                EXPECT_GE(counts[i], 1) << i;
            } else {
                EXPECT_EQ(counts[i], 1) << i;
            }
        }
        EXPECT_NE(Find(shown.Out, "(run after a restart"), std::string::npos) << shown.Out;
    }
}

// Two calendars in the settings: the instance of each fires its appointment, and the history
// says which instance asked, for a script it could not find too (with the appointment's text).
TEST_F(HostProgram, EveryInstanceTheSettingsNameFiresAndItsRunsCarryItsNumber) {
    const QString faketime = QStandardPaths::findExecutable("faketime");
    if (!QFileInfo::exists(MONDREL_MODULE_PATH) || !QFileInfo::exists(MONDREL_DB_PATH) ||
        faketime.isEmpty()) {
        GTEST_SKIP() << "needs the module, mondrel-db and faketime";
    }
    std::string settings;
    for (const std::string name : {"House", "Garden"}) {
        const std::string database = KernelDir() + name + ".sdb";
        ASSERT_EQ(RunProgram(MONDREL_DB_PATH, {"init", QString::fromStdString(database)}).ExitCode,
                  0);
        for (const std::string& script : {name, name + "Gone"}) {
            ASSERT_EQ(
                RunProgram(MONDREL_DB_PATH,
                           {"add", QString::fromStdString(database), "--date", "2026-12-08",
                            "--time", "10:30", "--description", QString::fromStdString(script),
                            "--script", QString::fromStdString(script + ".sh")})
                    .ExitCode,
                0);
        }
        WriteScript(name + ".sh",
                    "echo \"$Mondrel_Discription\" > '" + KernelDir() + name + ".txt'\n");
        settings += "[Instance" + std::to_string(settings.empty() ? 1 : 2) +
                    "]\nSettings\\Database=" + database + "\n";
    }
    WriteWholeFile(KernelDir() + "nhx-host.ini", settings, false);

    TRunResult run =
        RunProgram(faketime,
                   {"-f", "@2026-12-08 10:29:50 x60", NHX_HOST_PATH, "--headless", "--quit-after",
                    "150", "--kernel-dir", QString::fromStdString(KernelDir())},
                   120000);
    ASSERT_TRUE(run.Finished) << run.Out;
    EXPECT_NE(Find(run.Out, "Creating instance #2 named in the settings"), std::string::npos)
        << run.Out;
    EXPECT_EQ(ReadWholeFile(KernelDir() + "House.txt"), "House\n") << run.Out;
    EXPECT_EQ(ReadWholeFile(KernelDir() + "Garden.txt"), "Garden\n") << run.Out;

    TRunResult shown =
        RunHost({"--show-history", "--json", "--kernel-dir", QString::fromStdString(KernelDir())});
    std::map<std::string, std::pair<int, std::string>> runs;  // script: instance, outcome
    std::istringstream lines(shown.Out);
    for (std::string line; std::getline(lines, line);) {
        const QJsonObject r = QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
        runs[r["script"].toString().toStdString()] = {r["instance"].toInt(),
                                                      r["outcome"].toString().toStdString()};
        if (r["script"] == "GardenGone.sh") {
            EXPECT_EQ(QJsonDocument(r["parameters"].toObject()).toJson(QJsonDocument::Compact),
                      R"({"Mondrel_TriggerValue":"GardenGone"})");
        }
    }
    using TRun = std::pair<int, std::string>;
    EXPECT_EQ(runs, (std::map<std::string, TRun>{{"House.sh", {1, "ok"}},
                                                 {"HouseGone.sh", {1, "not started"}},
                                                 {"Garden.sh", {2, "ok"}},
                                                 {"GardenGone.sh", {2, "not started"}}}))
        << shown.Out;
}
