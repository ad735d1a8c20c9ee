// import and refresh of a calendar feed by URL, served by a server of the test's own on
// 127.0.0.1.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "Clock.h"
#include "FeedFetch.h"
#include "FeedServer.h"
#include "MondrelError.h"
#include "StoreTestSupport.h"
#include "ToolTestSupport.h"

namespace {

class FeedImport : public TReadyDatabaseTest {
  protected:
    FeedImport() { Serve({{"paper", "20270105", "Paper"}, {"plastic", "20270112", "Plastic"}}); }

    struct TEvent {
        std::string UID;
        std::string Day;  // YYYYMMDD, at 07:00
        std::string Summary;
    };
    // What feed.ics answers from now on.
    void Serve(const std::vector<TEvent>& events) {
        std::string body;
        for (const TEvent& event : events) {
            body += "BEGIN:VEVENT\r\nUID:" + event.UID + "\r\nDTSTART:" + event.Day +
                    "T070000\r\nSUMMARY:" + event.Summary + "\r\nEND:VEVENT\r\n";
        }
        std::ofstream(Temp.File("feed.ics"), std::ios::binary) << Calendar(body);
    }
    TRun Import(const std::string& url) {
        return RunTool({"import", Path, url, "--script", "bins", "--from", "2027-01-01", "--until",
                        "2027-12-31"});
    }
    std::string Rows() {
        return QueryText(Path,
                         "SELECT group_concat(Date || ' ' || Discription, ', ') FROM "
                         "(SELECT * FROM Dates ORDER BY Date)");
    }

    TFeedServer Server{Temp.Path().string()};
};

TEST_F(FeedImport, ImportsAFeedThroughARedirect) {
    TRun run = Import(Server.Url("moved/feed.ics"));
    ASSERT_EQ(run.Exit, 0) << run.Err;
    EXPECT_EQ(run.Out, "2 added, 0 updated, 0 removed, 0 unchanged, 0 skipped\n");
    EXPECT_EQ(Rows(), "2027-01-05 Paper, 2027-01-12 Plastic");
}

// A failed fetch must never read as an empty feed, which would remove the feed's rows.
TEST_F(FeedImport, AFailedFetchNamesTheUrlAndReasonAndWritesNothing) {
    ASSERT_EQ(Import(Server.Url("feed.ics")).Exit, 0);
    std::string stopped;
    {
        TFeedServer gone(Temp.Path().string());
        stopped = gone.Url("feed.ics");
    }
    struct TCase {
        std::string Url;
        std::string Reason;
    };
    for (const TCase& failure : {TCase{Server.Url("gone.ics"), "HTTP status 404"},
                                 TCase{Server.Url("cut/feed.ics"), "the body was cut off after"},
                                 TCase{stopped, "Couldn't connect"}}) {
        TRun run = Import(failure.Url);
        EXPECT_EQ(run.Exit, 1) << failure.Url;
        EXPECT_EQ(run.Err.rfind("mondrel-db: cannot fetch \"" + failure.Url + "\": ", 0), 0u)
            << run.Err;
        EXPECT_NE(run.Err.find(failure.Reason), std::string::npos) << run.Err;
        EXPECT_EQ(std::count(run.Err.begin(), run.Err.end(), '\n'), 1) << run.Err;
        EXPECT_EQ(Rows(), "2027-01-05 Paper, 2027-01-12 Plastic");
    }
}

TEST_F(FeedImport, APasswordInTheUrlIsNeverShown) {
    auto withPassword = [&](const std::string& path) {
        std::string url = Server.Url(path);
        return url.insert(url.find("://") + 3, "family:s3cret@");
    };
    TRun imported = Import(withPassword("private/feed.ics"));
    ASSERT_EQ(imported.Exit, 0) << imported.Err;
    EXPECT_NE(imported.Err.find("the password in the URL is kept in the database"),
              std::string::npos)
        << imported.Err;
    std::string listed = RunTool({"sources", Path}).Out + RunTool({"sources", Path, "--json"}).Out;
    EXPECT_EQ(listed.find("s3cret"), std::string::npos) << listed;
    EXPECT_NE(listed.find("family:***@127.0.0.1"), std::string::npos) << listed;
    TRun failed = Import(withPassword("gone.ics"));
    EXPECT_EQ(failed.Exit, 1);
    EXPECT_EQ(failed.Err.find("s3cret"), std::string::npos) << failed.Err;
    EXPECT_NE(failed.Err.find("family:***@"), std::string::npos) << failed.Err;
}

// The password of a feed behind a sign-in is read from its file at each fetch and never stored.
TEST_F(FeedImport, APasswordFileSignsInAndTheDatabaseKeepsOnlyItsPath) {
    TScopedClock clock(EncodeDate(2027, 1, 1) + EncodeTime(8, 0, 0, 0));
    const std::string url = Server.Url("private/feed.ics");
    TRun anonymous = Import(url);
    EXPECT_EQ(anonymous.Exit, 1);
    EXPECT_NE(anonymous.Err.find("HTTP status 401: the feed needs a sign-in"), std::string::npos)
        << anonymous.Err;
    const std::string password = Temp.File("password");
    std::ofstream(password) << "s3cret\n";
    TRun signedIn = RunTool(
        {"import", Path, url, "--user", "family", "--password-file", password, "--script", "bins"});
    ASSERT_EQ(signedIn.Exit, 0) << signedIn.Err;
    EXPECT_EQ(Rows(), "2027-01-05 Paper, 2027-01-12 Plastic");
    EXPECT_EQ(QueryText(Path, "SELECT Options FROM MondrelSources"),
              "--script bins --user family --password-file " + password);

    // Changing the password is editing the file.
    std::ofstream(password) << "old\n";
    TRun refused = RunTool({"refresh", Path});
    EXPECT_EQ(refused.Exit, 1);
    EXPECT_NE(refused.Err.find("the server refused the user and password"), std::string::npos)
        << refused.Err;
    std::ofstream(password) << "s3cret\n";
    EXPECT_EQ(RunTool({"refresh", Path}).Exit, 0);
    std::ifstream file(Path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_EQ(bytes.find("s3cret"), std::string::npos);
}

TEST_F(FeedImport, RefreshFetchesTheFeedAgainAndKeepsTheRowsWhenTheFetchFails) {
    TScopedClock clock(EncodeDate(2027, 1, 1) + EncodeTime(8, 0, 0, 0));
    ASSERT_EQ(
        RunTool({"import", Path, Server.Url("feed.ics"), "--source", "bins", "--script", "bins"})
            .Exit,
        0);
    Serve({{"paper", "20270105", "Paper"}, {"glass", "20270119", "Glass"}});
    TRun refresh = RunTool({"refresh", Path});
    ASSERT_EQ(refresh.Exit, 0) << refresh.Err;
    EXPECT_EQ(refresh.Out, "bins  1 added, 0 updated, 1 removed, 1 unchanged\n");
    EXPECT_EQ(Rows(), "2027-01-05 Paper, 2027-01-19 Glass");

    std::filesystem::remove(Temp.File("feed.ics"));
    TRun failed = RunTool({"refresh", Path});
    EXPECT_EQ(failed.Exit, 1);
    EXPECT_EQ(failed.Out, "");
    EXPECT_EQ(failed.Err.rfind("mondrel-db: refresh: bins: cannot fetch \"" +
                                   Server.Url("feed.ics") + "\": HTTP status 404",
                               0),
              0u)
        << failed.Err;
    EXPECT_EQ(Rows(), "2027-01-05 Paper, 2027-01-19 Glass");
}

// The charset of the answer's Content-Type decides, even where the bytes would read as UTF-8.
TEST_F(FeedImport, TheCharsetTheServerDeclaresIsHonoured) {
    Serve({{"waste", "20270105", "M\xFCll 5 \xA4"}, {"city", "20270112", "\xC3\xA9"}});
    ASSERT_EQ(Import(Server.Url("charset/ISO-8859-15/feed.ics")).Exit, 0);
    EXPECT_EQ(Rows(), "2027-01-05 M\u00FCll 5 \u20AC, 2027-01-12 \u00C3\u00A9");
    RunSql(Path, "DELETE FROM Dates");
    ASSERT_EQ(Import(Server.Url("charset/\"windows-1252\"/feed.ics")).Exit, 0);
    EXPECT_EQ(Rows(), "2027-01-05 M\u00FCll 5 \u00A4, 2027-01-12 \u00C3\u00A9");
}

TEST_F(FeedImport, ABodyOverTheLimitOrASlowServerIsRefused) {
    EXPECT_THROW_MSG(
        FetchFeed(Server.Url("feed.ics"), {.MaxBodyBytes = 100}), EMondrelError,
        "cannot fetch \"" + Server.Url("feed.ics") + "\": the body is larger than 100 bytes");
    EXPECT_THROW_MSG(
        FetchFeed(Server.Url("slow/feed.ics"), {.TimeoutSeconds = 1}), EMondrelError,
        "cannot fetch \"" + Server.Url("slow/feed.ics") + "\": no complete answer within 1 s");
}

}  // namespace
