#include "HostStderrTee.h"

#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QRegularExpression>
#include <cerrno>
#include <cstdio>
#include <string>

#include "UNHXTypes.h"

THostStderrTee::THostStderrTee(std::shared_ptr<THostLog> log) : Log(std::move(log)) {
    int ends[2] = {-1, -1};
    std::fflush(stderr);
    if (pipe2(ends, O_CLOEXEC) != 0) {
        return;
    }
    SavedStderr = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
    if (SavedStderr < 0 || dup2(ends[1], STDERR_FILENO) < 0) {
        close(ends[0]);
        close(ends[1]);
        return;
    }
    ReadEnd = ends[0];
    WriteEnd = ends[1];
    Reader = std::thread([this] { Copy(); });
}

THostStderrTee::~THostStderrTee() {
    if (!Reader.joinable()) {
        return;
    }
    std::fflush(stderr);
    dup2(SavedStderr, STDERR_FILENO);
    // The last write end: the reader sees the end of the pipe.
    close(WriteEnd);
    Reader.join();
    close(ReadEnd);
    close(SavedStderr);
    // Lines the reader handed over but the event loop has not logged yet.
    QCoreApplication::sendPostedEvents(&Context);
}

int32_t THostStderrTee::KindOf(const std::string& line) {
    static const QRegularExpression report(QStringLiteral("^\\S+ (error|warning): "));
    return report.match(QString::fromStdString(line)).hasMatch() ? NHX_LOG_ERROR : NHX_LOG_NOTICE;
}

void THostStderrTee::Copy() {
    std::string pending;
    char buffer[4096];
    for (;;) {
        const ssize_t count = read(ReadEnd, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            break;
        }
        for (ssize_t done = 0; done < count;) {
            const ssize_t written =
                write(SavedStderr, buffer + done, static_cast<size_t>(count - done));
            if (written < 0 && errno == EINTR) {
                continue;
            }
            if (written <= 0) {
                break;
            }
            done += written;
        }
        pending.append(buffer, static_cast<size_t>(count));
        for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
            std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            if (line.empty()) {
                continue;
            }
            QMetaObject::invokeMethod(
                &Context,
                [log = Log, line = std::move(line)] { log->AddHostNote(KindOf(line), line); },
                Qt::QueuedConnection);
        }
    }
}
