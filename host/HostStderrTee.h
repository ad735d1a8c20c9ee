// Headless, what the host and its module write to standard error (message boxes and error reports
// that no one can answer, Qt's warnings) also goes to the host's log, one entry per line, so a
// service's log holds them. The module has its own copy of the message-box layer, so only the
// process's standard error reaches both.
//
// Standard error becomes a pipe; a thread of the tee's own copies every byte on to the real
// standard error at once and hands complete lines to the event loop, which logs them. The thread
// keeps writers from ever blocking on a full pipe while the event loop is busy.
#pragma once

#include <QObject>
#include <memory>
#include <thread>

#include "HostLog.h"

class THostStderrTee {
  public:
    explicit THostStderrTee(std::shared_ptr<THostLog> log);
    // Gives standard error back and logs what is still on its way.
    ~THostStderrTee();
    THostStderrTee(const THostStderrTee&) = delete;
    THostStderrTee& operator=(const THostStderrTee&) = delete;

    // "Sender error: ..." and "Sender warning: ..." lines (the box layer's) are errors.
    static int32_t KindOf(const std::string& line);

  private:
    void Copy();

    std::shared_ptr<THostLog> Log;
    QObject Context;
    int SavedStderr = -1;
    int ReadEnd = -1;
    int WriteEnd = -1;
    std::thread Reader;
};
