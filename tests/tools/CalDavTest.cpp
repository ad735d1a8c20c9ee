// CalDAV sources against two real servers started on 127.0.0.1 and free ports: Radicale, with
// users and a calendar shared between them, and Xandikos. What the server holds is read and
// changed with python3-caldav (dav_client.py), a client nobody here wrote. What no real server
// does on request (Digest sign-in, sync answers cut short, no sync support, ETags that change on
// every read, web pages, redirects to another host) comes from a small server of our own
// (dav_fake.py), whose events are files the tests change.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>

#include "FeedServer.h"
#include "StoreTestSupport.h"
#include "ToolTestSupport.h"

namespace {

using namespace std::chrono;

// YYYYMMDD, Days from today: the events lie inside the window import and refresh use.
std::string Ahead(int days) {
    year_month_day day{floor<std::chrono::days>(system_clock::now()) + std::chrono::days(days)};
    char text[16];
    std::snprintf(text, sizeof text, "%04d%02u%02u", static_cast<int>(day.year()),
                  static_cast<unsigned>(day.month()), static_cast<unsigned>(day.day()));
    return text;
}

std::string DbDay(int days) {
    std::string day = Ahead(days);
    return day.substr(0, 4) + "-" + day.substr(4, 2) + "-" + day.substr(6, 2);
}

std::string Quoted(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

class CalDavTest : public TReadyDatabaseTest {
  protected:
    CalDavTest(const char* kind, std::string calendar, std::string user, std::string password)
        : Server({PYTHON3_PROGRAM, DAV_SERVER_SCRIPT, kind, Temp.File("server")}),
          Calendar(Server.Url(calendar)),
          User(std::move(user)),
          Password(std::move(password)) {
        std::ofstream(Temp.File("password")) << Password << "\n";
    }

    // dav_client.py VERB ARGS... on the calendar; its output.
    std::string Client(const std::vector<std::string>& args, const std::string& calendar = "") {
        std::string command = Quoted(PYTHON3_PROGRAM) + " " + Quoted(DAV_CLIENT_SCRIPT) + " " +
                              Quoted(calendar.empty() ? Calendar : calendar) + " " +
                              Quoted(User.empty() ? "-" : User) + " " + Quoted(Password);
        for (const std::string& arg : args) {
            command += " " + Quoted(arg);
        }
        std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen((command + " 2>&1").c_str(), "r"), pclose);
        std::string out;
        char buffer[4096];
        size_t read = 0;
        while (pipe && (read = std::fread(buffer, 1, sizeof buffer, pipe.get())) > 0) {
            out.append(buffer, read);
        }
        return out;
    }
    void Put(const std::string& uid, const std::string& summary, int days,
             const std::string& rule = "") {
        std::vector<std::string> args = {"put", uid, summary, Ahead(days) + "T090000"};
        if (!rule.empty()) {
            args.push_back(rule);
        }
        Client(args);
    }
    std::vector<std::string> Account() {
        if (User.empty()) {
            return {"--caldav"};
        }
        return {"--caldav", "--user", User, "--password-file", Temp.File("password")};
    }
    TRun Import(std::vector<std::string> more = {}) {
        std::vector<std::string> args = {"import", Path,       Calendar, "--source",
                                         "family", "--script", "bell"};
        for (const std::string& arg : Account()) {
            args.push_back(arg);
        }
        args.insert(args.end(), more.begin(), more.end());
        return RunTool(args);
    }
    std::string Rows() {
        return QueryText(Path,
                         "SELECT group_concat(Date || ' ' || Discription, ', ') FROM "
                         "(SELECT * FROM Dates ORDER BY Date, Discription)");
    }

    TFeedServer Server;
    std::string Calendar;
    std::string User;
    std::string Password;
};

class Radicale : public CalDavTest {
  protected:
    Radicale() : CalDavTest("radicale", "alice/home/", "alice", "secret") {}
};

class Xandikos : public CalDavTest {
  protected:
    Xandikos() : CalDavTest("xandikos", "user/calendars/calendar/", "", "") {}
};

TEST_F(Radicale, DiscoveryFromTheRootFindsTheOwnCalendarAndTheSharedOne) {
    TRun run = RunTool({"calendars", Server.Url(""), "--user", "alice", "--password-file",
                        Temp.File("password"), "--json"});
    ASSERT_EQ(run.Exit, 0) << run.Err;
    nlohmann::json calendars = nlohmann::json::parse(run.Out);
    ASSERT_EQ(calendars.size(), 2u) << run.Out;
    EXPECT_EQ(calendars[0]["Url"], Server.Url("alice/home/"));
    EXPECT_EQ(calendars[0]["Shared"], false);
    EXPECT_EQ(calendars[1]["Url"], Server.Url("family/shared/"));
    EXPECT_EQ(calendars[1]["Shared"], true);
    EXPECT_EQ(calendars[1]["Writable"], true);
}

// The password is neither taken from the command line nor kept in the file: only its path.
TEST_F(Radicale, AWrongPasswordExitsOneWithTheServersAnswerAndWritesNothing) {
    Put("dentist", "Dentist", 10);
    std::ofstream(Temp.File("wrong")) << "not-the-password\n";
    TRun run = RunTool({"import", Path, Calendar, "--caldav", "--user", "alice", "--password-file",
                        Temp.File("wrong")});
    EXPECT_EQ(run.Exit, 1);
    EXPECT_NE(run.Err.find("refused the credentials (the server answered 401"), std::string::npos)
        << run.Err;
    EXPECT_EQ(RunTool({"sources", Path}).Out, "no sources\n");

    ASSERT_EQ(Import().Exit, 0);
    EXPECT_EQ(QueryText(Path, "SELECT PasswordFile FROM MondrelDavSources"), Temp.File("password"));
    EXPECT_EQ(QueryText(Path, "SELECT count(*) FROM sqlite_master WHERE sql LIKE '%secret%'"), "0");
    std::ofstream(Temp.File("password")) << "changed-elsewhere\n";
    run = RunTool({"refresh", Path});
    EXPECT_EQ(run.Exit, 1);
    EXPECT_NE(run.Err.find("refused the credentials"), std::string::npos) << run.Err;
    EXPECT_EQ(Rows(), DbDay(10) + " Dentist");
    EXPECT_NE(RunTool({"check", Path}).Out.find("CalDAV credentials refused"), std::string::npos);
}

TEST_F(Radicale, AnAddressThatIsNoCalendarGivesOneLineAndWritesNothing) {
    TRun run = RunTool({"import", Path, Server.Url("alice/"), "--caldav", "--user", "alice",
                        "--password-file", Temp.File("password")});
    EXPECT_EQ(run.Exit, 1);
    EXPECT_EQ(run.Err, "mondrel-db: \"" + Server.Url("alice/") +
                           "\" is no calendar of events (mondrel-db calendars URL lists the "
                           "calendars of an account)\n");
    EXPECT_EQ(RunTool({"sources", Path}).Out, "no sources\n");
}

TEST_F(Radicale, ChangesNewAndDeletedEventsOnTheServerArriveAtRefresh) {
    Put("dentist", "Dentist", 10);
    Put("bins", "Bins", 11);
    Put("school", "School", 12);
    TRun run = Import();
    ASSERT_EQ(run.Exit, 0) << run.Err;
    EXPECT_EQ(run.Out, "3 added, 0 updated, 0 removed, 0 unchanged, 0 skipped\n");

    Put("dentist", "Dentist", 13);
    Put("walk", "Walk", 14, "FREQ=DAILY;COUNT=2");
    Client({"delete", "bins"});
    run = RunTool({"refresh", Path});
    ASSERT_EQ(run.Exit, 0) << run.Err;
    EXPECT_EQ(run.Out, "family  2 added, 1 updated, 1 removed, 1 unchanged\n");
    EXPECT_EQ(Rows(), DbDay(12) + " School, " + DbDay(13) + " Dentist, " + DbDay(14) + " Walk, " +
                          DbDay(15) + " Walk");
    // Nothing changed: one sync-collection that reports nothing.
    run = RunTool({"refresh", Path});
    EXPECT_EQ(run.Out, "family  0 added, 0 updated, 0 removed, 4 unchanged\n");
}

std::string Line(const std::string& list, const std::string& start) {
    size_t at = list.find(start);
    return at == std::string::npos ? "" : list.substr(at, list.find('\n', at) - at);
}

TEST_F(Radicale, EditsDeletionsAndAddsHereReachTheServerWithTwoWayOnly) {
    Put("dentist", "Dentist", 10);
    Put("bins", "Bins", 11);
    Put("walk", "Walk", 20, "FREQ=DAILY;COUNT=3");
    ASSERT_EQ(Import().Exit, 0);
    auto id = [&](const std::string& what, int days) {
        return QueryText(Path, "SELECT ID FROM Dates WHERE Discription = '" + what +
                                   "' AND Date = '" + DbDay(days) + "'");
    };
    std::string before = Client({"list"});
    ASSERT_EQ(RunTool({"edit", Path, id("Dentist", 10), "--time", "10:00"}).Exit, 0);
    ASSERT_EQ(RunTool({"refresh", Path}).Exit, 0);
    EXPECT_EQ(Client({"list"}), before);

    TRun run = Import({"--two-way"});
    ASSERT_EQ(run.Exit, 0) << run.Err;
    run = RunTool({"remove", Path, id("Bins", 11)});
    ASSERT_EQ(run.Exit, 0) << run.Err;
    run = RunTool({"remove", Path, id("Walk", 21)});
    ASSERT_EQ(run.Exit, 0) << run.Err;
    run = RunTool({"edit", Path, id("Walk", 22), "--time", "07:30", "--value", "brisk"});
    ASSERT_EQ(run.Exit, 0) << run.Err;
    run = RunTool({"add", Path, "--date", DbDay(30), "--time", "18:00", "--description", "Choir",
                   "--value", "loud", "--script", "bell", "--source", "family"});
    ASSERT_EQ(run.Exit, 0) << run.Err;

    std::string list = Client({"list"});
    // Only what was edited travels: the script is the source's --script, not the event's.
    EXPECT_EQ(Line(list, "dentist|"), "dentist|Dentist|" + Ahead(10) + "T100000||||") << list;
    EXPECT_EQ(Line(list, "bins|"), "") << list;
    EXPECT_EQ(Line(list, "walk|Walk|" + Ahead(20)),
              "walk|Walk|" + Ahead(20) + "T090000|||" + "|" + Ahead(21) + "T090000")
        << list;
    EXPECT_EQ(Line(list, "walk|Walk|" + Ahead(22)),
              "walk|Walk|" + Ahead(22) + "T073000|brisk|bell|" + Ahead(22) + "T090000|")
        << list;
    EXPECT_NE(list.find("|Choir|" + Ahead(30) + "T180000|loud|bell||"), std::string::npos) << list;
    // What went to the server comes back unchanged: no row is added, moved or doubled.
    run = RunTool({"refresh", Path});
    EXPECT_EQ(run.Out, "family  0 added, 0 updated, 0 removed, 4 unchanged\n") << run.Err;
    EXPECT_EQ(QueryText(Path,
                        "SELECT group_concat(v, ',') FROM (SELECT Discription || '/' || "
                        "Value || '/' || Script AS v FROM Dates ORDER BY Date)"),
              "Dentist//bell,Walk//bell,Walk/brisk/bell,Choir/loud/bell");
}

TEST_F(Radicale, AConflictKeepsTheServersVersionAndReportsOurs) {
    Put("dentist", "Dentist", 10);
    ASSERT_EQ(Import({"--two-way"}).Exit, 0);
    Client({"put", "dentist", "Dentist", Ahead(10) + "T083000"});
    std::string row = QueryText(Path, "SELECT ID FROM Dates");
    TRun run = RunTool({"edit", Path, row, "--time", "10:00"});
    std::string message = "changed on both sides: kept the server's 'Dentist' " + DbDay(10) +
                          " 08:30; yours was 10:00";
    EXPECT_NE(run.Err.find(message), std::string::npos) << run.Err;
    EXPECT_EQ(QueryText(Path, "SELECT Time FROM Dates"), "08:30:00");
    EXPECT_EQ(Line(Client({"list"}), "dentist|"), "dentist|Dentist|" + Ahead(10) + "T083000||||");
    EXPECT_NE(RunTool({"sources", Path}).Out.find(message), std::string::npos);
}

// A run that ends between writing to the server and recording it (a crash, a read that failed):
// the next one finds what it wrote there and takes it as done. A new event is found by our UID
// at its address, an edit in the server's version; neither is written twice or called a conflict.
TEST_F(Radicale, WritesThatReachedTheServerButNotTheFileAreTakenAsDone) {
    Put("dentist", "Dentist", 10);
    ASSERT_EQ(Import({"--two-way"}).Exit, 0);
    RunSql(Path, "CREATE TABLE Saved AS SELECT * FROM MondrelDavSources");
    RunSql(Path, "CREATE TABLE SavedEvents AS SELECT * FROM MondrelDavEvents");
    ASSERT_EQ(RunTool({"add", Path, "--date", DbDay(30), "--time", "18:00", "--description",
                       "Choir", "--source", "family"})
                  .Err,
              "");
    ASSERT_EQ(RunTool({"edit", Path,
                       QueryText(Path, "SELECT ID FROM Dates WHERE Discription = 'Dentist'"),
                       "--time", "10:00"})
                  .Err,
              "");
    // The file as it was before those runs recorded what they wrote.
    RunSql(Path, "DELETE FROM MondrelDavEvents");
    RunSql(Path, "INSERT INTO MondrelDavEvents SELECT * FROM SavedEvents");
    RunSql(Path, "DELETE FROM MondrelDavSources");
    RunSql(Path, "INSERT INTO MondrelDavSources SELECT * FROM Saved");
    RunSql(Path, "UPDATE MondrelImports SET Time = '09:00:00' WHERE UID = 'dentist'");

    TRun run = RunTool({"refresh", Path});
    EXPECT_EQ(run.Err, "");
    EXPECT_EQ(run.Out, "family  0 added, 0 updated, 0 removed, 2 unchanged\n");
    std::string list = Client({"list"});
    EXPECT_EQ(std::count(list.begin(), list.end(), '\n'), 2) << list;
    EXPECT_EQ(Line(list, "dentist|"), "dentist|Dentist|" + Ahead(10) + "T100000||||");
    EXPECT_EQ(QueryText(Path, "SELECT count(*) FROM MondrelDavEvents WHERE Url LIKE '%caldav-%'"),
              "1");
}

TEST_F(Xandikos, ImportAndSyncAndARejectedTokenFallsBackToAFullRead) {
    Put("swim", "Swim", 5);
    ASSERT_EQ(Import().Exit, 0);
    ASSERT_NE(QueryText(Path, "SELECT SyncToken FROM MondrelDavSources"), "");
    Put("swim", "Swim", 6);
    TRun run = RunTool({"refresh", Path});
    EXPECT_EQ(run.Out, "family  0 added, 1 updated, 0 removed, 0 unchanged\n") << run.Err;

    RunSql(Path, "UPDATE MondrelDavSources SET SyncToken = 'expired'");
    Put("run", "Run", 7);
    run = RunTool({"refresh", Path});
    ASSERT_EQ(run.Exit, 0) << run.Err;
    EXPECT_NE(run.Err.find("did not take the sync token"), std::string::npos) << run.Err;
    EXPECT_EQ(Rows(), DbDay(6) + " Swim, " + DbDay(7) + " Run");
    EXPECT_NE(QueryText(Path, "SELECT SyncToken FROM MondrelDavSources"), "expired");
}

// The calendar of dav_fake.py: its events are files, its behaviour config.json.
class FakeDav : public TReadyDatabaseTest {
  protected:
    FakeDav()
        : Server(std::make_unique<TFeedServer>(
              std::vector<std::string>{PYTHON3_PROGRAM, DAV_FAKE_SCRIPT, Temp.File("fake")})),
          Calendar(Server->Url("cal/")) {
        std::ofstream(Temp.File("password")) << "secret\n";
    }

    void Config(const std::string& json) { std::ofstream(Temp.File("fake/config.json")) << json; }
    // Start: the DTSTART's value, or its parameters and value (";VALUE=DATE:20270304").
    void Event(const std::string& name, const std::string& uid, const std::string& summary,
               const std::string& start, const std::string& more = "") {
        std::ofstream(Temp.File("fake/events/" + name + ".ics"))
            << "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//test//fake//EN\r\nBEGIN:VEVENT\r\n"
            << (uid.empty() ? "" : "UID:" + uid + "\r\n") << "DTSTAMP:20260101T000000Z\r\nDTSTART"
            << (start[0] == ';' ? "" : ":") << start << "\r\n"
            << more << "SUMMARY:" << summary << "\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
    }
    std::string EventFile(const std::string& name) {
        std::ifstream in(Temp.File("fake/events/" + name + ".ics"));
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    TRun Import(std::vector<std::string> more = {}) {
        std::vector<std::string> args = {"import",   Path,     Calendar,
                                         "--source", "family", "--caldav"};
        args.insert(args.end(), more.begin(), more.end());
        return RunTool(args);
    }
    TRun SignedIn(std::vector<std::string> more = {}) {
        more.insert(more.begin(), {"--user", "alice", "--password-file", Temp.File("password")});
        return Import(more);
    }
    // The requests since the last call, one "METHOD PATH STATUS HOST KIND" line each.
    std::vector<std::string> Requests() {
        std::vector<std::string> lines;
        std::ifstream in(Temp.File("fake/requests.log"));
        for (std::string line; std::getline(in, line);) {
            lines.push_back(line);
        }
        std::filesystem::remove(Temp.File("fake/requests.log"));
        return lines;
    }
    // The lines that hold Part, and Also too.
    size_t Count(const std::vector<std::string>& lines, const std::string& part,
                 const std::string& also = "") {
        return static_cast<size_t>(std::count_if(lines.begin(), lines.end(), [&](auto& line) {
            return line.find(part) != std::string::npos && line.find(also) != std::string::npos;
        }));
    }
    std::string Rows() {
        return QueryText(Path,
                         "SELECT group_concat(Date || ' ' || Time || ' ' || Discription, "
                         "', ') FROM (SELECT * FROM Dates ORDER BY Date, Discription)");
    }

    std::unique_ptr<TFeedServer> Server;
    std::string Calendar;
};

TEST_F(FakeDav, DigestSignInAndASyncAnswerCutShortIsContinued) {
    Config(R"({"auth": "digest", "user": "alice", "password": "secret", "truncate": 3})");
    for (int i = 0; i < 10; ++i) {
        Event("e" + std::to_string(i), "e" + std::to_string(i), "Old", Ahead(10 + i) + "T090000");
    }
    TRun run = SignedIn();
    ASSERT_EQ(run.Exit, 0) << run.Err;
    EXPECT_EQ(run.Out, "10 added, 0 updated, 0 removed, 0 unchanged, 0 skipped\n");
    EXPECT_EQ(QueryText(Path, "SELECT Auth FROM MondrelDavSources"), "digest");

    for (int i = 0; i < 7; ++i) {
        Event("e" + std::to_string(i), "e" + std::to_string(i), "New", Ahead(10 + i) + "T090000");
    }
    Requests();
    run = RunTool({"refresh", Path});
    EXPECT_EQ(run.Out, "family  0 added, 7 updated, 0 removed, 3 unchanged\n") << run.Err;
    std::vector<std::string> asked = Requests();
    EXPECT_EQ(Count(asked, " 207 ", " sync-collection"), 3u);  // 3, 3 and 1 changes
    EXPECT_EQ(Count(asked, " 207 ", " calendar-multiget"), 1u);
    EXPECT_EQ(QueryText(Path, "SELECT count(*) FROM Dates WHERE Discription = 'New'"), "7");

    // Nothing changed: one request (after Digest's challenge, when the server sends one).
    run = RunTool({"refresh", Path});
    EXPECT_EQ(run.Out, "family  0 added, 0 updated, 0 removed, 10 unchanged\n") << run.Err;
    asked = Requests();
    EXPECT_EQ(asked.size() - Count(asked, " 401 "), 1u);
}

// 10,000 events, read by a server without sync support: the ctag says whether anything changed,
// the ETags what; without a ctag, the ETags.
TEST_F(FakeDav, WithoutSyncTheCtagAndETagsFindTheChangesOfTenThousandEvents) {
    Config(R"({"sync": false})");
    for (int i = 0; i < 10000; ++i) {
        Event("e" + std::to_string(i), "e" + std::to_string(i), "Bins",
              Ahead(1 + i % 300) + "T" + (i % 2 ? "09" : "10") + "0000");
    }
    TRun run = Import();
    ASSERT_EQ(run.Exit, 0) << run.Err;
    EXPECT_EQ(run.Out, "10000 added, 0 updated, 0 removed, 0 unchanged, 0 skipped\n");
    EXPECT_EQ(QueryText(Path, "SELECT SyncToken = '' AND CTag <> '' FROM MondrelDavSources"), "1");

    Requests();
    run = RunTool({"refresh", Path});
    EXPECT_EQ(run.Out, "family  0 added, 0 updated, 0 removed, 10000 unchanged\n") << run.Err;
    EXPECT_EQ(Requests().size(), 1u);

    Event("e5", "e5", "Paper", Ahead(2) + "T090000");
    std::filesystem::remove(Temp.File("fake/events/e6.ics"));
    Event("new", "new", "Glass", Ahead(3) + "T090000");
    run = RunTool({"refresh", Path});
    EXPECT_EQ(run.Out, "family  1 added, 1 updated, 1 removed, 9998 unchanged\n") << run.Err;
    std::vector<std::string> asked = Requests();
    EXPECT_EQ(asked.size(), 3u);  // the ctag, the ETags, one multiget of two events
    EXPECT_EQ(Count(asked, "calendar-multiget"), 1u);

    // No ctag either: the ETags, and only what changed.
    Config(R"({"sync": false, "ctag": false})");
    RunSql(Path, "UPDATE MondrelDavSources SET CTag = ''");
    Event("e7", "e7", "Paper", Ahead(2) + "T090000");
    run = RunTool({"refresh", Path});
    EXPECT_EQ(run.Out, "family  0 added, 1 updated, 0 removed, 9999 unchanged\n") << run.Err;
    asked = Requests();
    EXPECT_EQ(Count(asked, "PROPFIND"), 2u);
    EXPECT_EQ(Count(asked, "calendar-query"), 0u);
}

// A web page, a redirect to another host and a server that is down: one line each, exit 1, the
// rows as they were, and nothing sent to the other host.
TEST_F(FakeDav, AWebPageARedirectElsewhereAndADownServerKeepTheRows) {
    Config(R"({"auth": "basic", "user": "alice", "password": "secret"})");
    Event("swim", "swim", "Swim", Ahead(5) + "T090000");
    ASSERT_EQ(SignedIn().Exit, 0);
    const std::string rows = Rows();
    auto oneLine = [](const TRun& run, const std::string& part) {
        EXPECT_EQ(run.Exit, 1);
        EXPECT_EQ(std::count(run.Err.begin(), run.Err.end(), '\n'), 1) << run.Err;
        EXPECT_NE(run.Err.find(part), std::string::npos) << run.Err;
    };
    Config(R"({"answer": "html"})");
    oneLine(RunTool({"refresh", Path}), "answered a web page, not WebDAV");
    oneLine(SignedIn(), "answered a web page, not WebDAV");
    Config(R"({"answer": "redirect"})");
    Requests();
    oneLine(RunTool({"refresh", Path}), "redirected to another server (\"http://localhost:");
    EXPECT_EQ(Count(Requests(), " localhost:"), 0u);
    Server.reset();
    oneLine(RunTool({"refresh", Path}), "cannot reach \"" + Calendar + "\"");
    EXPECT_EQ(Rows(), rows);
}

// ETags that change whenever anyone reads the event make every If-Match fail: a write whose event
// is unchanged on the server is no conflict. An event without a UID is written back with one.
TEST_F(FakeDav, WritesReachAServerWhoseETagsChangeAndAnEventWithoutUID) {
    Config(R"({"volatile": true})");
    Event("dentist", "dentist", "Dentist", Ahead(10) + "T090000");
    Event("swim", "", "Swim", Ahead(11) + "T090000");
    ASSERT_EQ(Import({"--two-way"}).Exit, 0);
    const std::string phone = Temp.File("phone.sdb");
    ASSERT_EQ(RunTool({"init", phone}).Exit, 0);
    ASSERT_EQ(RunTool({"import", phone, Calendar, "--caldav"}).Exit, 0);  // a phone reads

    auto id = [&](const std::string& what) {
        return QueryText(Path, "SELECT ID FROM Dates WHERE Discription = '" + what + "'");
    };
    TRun run = RunTool({"edit", Path, id("Dentist"), "--time", "10:00"});
    EXPECT_EQ(run.Exit, 0) << run.Err;
    EXPECT_EQ(run.Err, "");
    EXPECT_NE(EventFile("dentist").find("T100000"), std::string::npos) << EventFile("dentist");
    run = RunTool({"edit", Path, id("Swim"), "--value", "quick"});
    EXPECT_EQ(run.Err, "");
    EXPECT_NE(EventFile("swim").find("X-MONDREL-VALUE:quick"), std::string::npos);
    EXPECT_NE(EventFile("swim").find("UID:"), std::string::npos);
    run = RunTool({"refresh", Path});
    EXPECT_EQ(run.Out, "family  0 added, 0 updated, 0 removed, 2 unchanged\n") << run.Err;
    EXPECT_EQ(QueryText(Path, "SELECT group_concat(Value, ',') FROM Dates"), ",quick");
}

// Only what was edited in a row travels, in the form the event gave its times and less the
// source's shaping (--at, --offset): a zone stays, UTC stays UTC, a day stays a day until its row
// is given another time. What was written reads back as the rows are.
TEST_F(FakeDav, WriteBackKeepsEachEventsFormOfTimeAndUndoesTheShaping) {
    TZoneScope zone("Asia/Kolkata");  // 05:30 ahead of UTC all year
    const std::string york = ";TZID=America/New_York:";
    Event("zoned", "zoned", "Zoned", york + Ahead(10) + "T090000",
          "DTEND" + york + Ahead(10) + "T100000\r\n");
    Event("utc", "utc", "Utc", Ahead(11) + "T080000Z");
    Event("floating", "floating", "Floating", Ahead(12) + "T090000");
    Event("day", "day", "Day", ";VALUE=DATE:" + Ahead(13),
          "DTEND;VALUE=DATE:" + Ahead(14) + "\r\n");
    Event("timed", "timed", "Timed", ";VALUE=DATE:" + Ahead(15));
    ASSERT_EQ(Import({"--two-way", "--at", "07:00", "--offset", "-1h"}).Exit, 0);
    auto edit = [&](const std::string& what, std::vector<std::string> args) {
        args.insert(args.begin(),
                    {"edit", Path,
                     QueryText(Path, "SELECT ID FROM Dates WHERE Discription = '" + what + "'")});
        TRun run = RunTool(args);
        EXPECT_EQ(run.Exit, 0) << run.Err;
        EXPECT_EQ(run.Err, "");
    };
    std::string time = QueryText(Path, "SELECT Time FROM Dates WHERE Discription = 'Zoned'");
    edit("Zoned", {"--time", std::to_string(std::stoi(time) + 1) + time.substr(2, 3)});
    edit("Utc", {"--value", "v"});
    edit("Floating", {"--time", "12:00"});
    edit("Day", {"--date", DbDay(16)});
    edit("Timed", {"--time", "08:30"});
    ASSERT_EQ(RunTool({"add", Path, "--date", DbDay(20), "--time", "18:00", "--description", "New",
                       "--source", "family"})
                  .Err,
              "");

    auto holds = [&](const std::string& name, const std::string& line) {
        EXPECT_NE(EventFile(name).find(line + "\r\n"), std::string::npos) << line << " in\n"
                                                                          << EventFile(name);
    };
    holds("zoned", "DTSTART" + york + Ahead(10) + "T100000");
    holds("zoned", "DTEND" + york + Ahead(10) + "T110000");
    holds("utc", "DTSTART:" + Ahead(11) + "T080000Z");
    holds("utc", "X-MONDREL-VALUE:v");
    holds("floating", "DTSTART:" + Ahead(12) + "T130000");
    holds("day", "DTSTART;VALUE=DATE:" + Ahead(16));
    holds("day", "DTEND;VALUE=DATE:" + Ahead(17));
    holds("timed", "DTSTART:" + Ahead(15) + "T040000Z");
    EXPECT_EQ(EventFile("timed").find("DTEND"), std::string::npos);
    std::string created;
    for (const auto& file : std::filesystem::directory_iterator(Temp.File("fake/events"))) {
        if (file.path().filename().string().rfind("caldav-", 0) == 0) {
            created = file.path().stem().string();
        }
    }
    holds(created, "DTSTART:" + Ahead(20) + "T133000Z");
    TRun run = RunTool({"refresh", Path});
    EXPECT_EQ(run.Out, "family  0 added, 0 updated, 0 removed, 6 unchanged\n") << run.Err;
}

}  // namespace
