// import of a calendar feed by URL, served by a server of the test's own on 127.0.0.1.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "FeedFetch.h"
#include "FeedServer.h"
#include "MondrelError.h"
#include "StoreTestSupport.h"
#include "ToolTestSupport.h"

namespace {

class FeedImport : public TReadyDatabaseTest {
  protected:
    FeedImport() {
        std::ofstream(Temp.File("feed.ics"), std::ios::binary)
            << "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//test//test//EN\r\n"
               "BEGIN:VEVENT\r\nUID:paper\r\nDTSTART:20270105T070000\r\nSUMMARY:Paper\r\n"
               "END:VEVENT\r\n"
               "BEGIN:VEVENT\r\nUID:plastic\r\nDTSTART:20270112T070000\r\nSUMMARY:Plastic\r\n"
               "END:VEVENT\r\nEND:VCALENDAR\r\n";
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

TEST_F(FeedImport, ABodyOverTheLimitIsRefused) {
    EXPECT_THROW_MSG(
        FetchFeed(Server.Url("feed.ics"), {.MaxBodyBytes = 100}), EMondrelError,
        "cannot fetch \"" + Server.Url("feed.ics") + "\": the body is larger than 100 bytes");
}

}  // namespace
