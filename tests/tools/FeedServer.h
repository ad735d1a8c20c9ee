// A small HTTP server of the test's own on 127.0.0.1 (feed_server.py), serving the files of one
// folder; stopped when the object goes.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

class TFeedServer {
  public:
    explicit TFeedServer(const std::string& Folder);
    // Another server of the tests: Command prints the port it listens on, then serves until
    // it is terminated.
    explicit TFeedServer(std::vector<std::string> Command);
    ~TFeedServer();
    TFeedServer(const TFeedServer&) = delete;
    TFeedServer& operator=(const TFeedServer&) = delete;

    // http://127.0.0.1:PORT/ followed by Path ("feed.ics", "moved/feed.ics", "cut/feed.ics").
    std::string Url(const std::string& Path) const;

  private:
    pid_t FProcess = -1;
    int FPort = 0;
};
