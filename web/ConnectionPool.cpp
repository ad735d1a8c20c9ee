#include "ConnectionPool.h"

#include <sys/stat.h>

TConnectionPool::TConnectionPool(std::string Path, size_t MaxIdle)
    : FPath(std::move(Path)), FMaxIdle(MaxIdle) {
    FIdle.reserve(FMaxIdle);  // so that giving back never allocates
}

TConnectionPool::TKept TConnectionPool::Take() {
    struct stat now {};
    if (stat(FPath.c_str(), &now) == 0) {
        std::vector<TKept> stale;  // closed outside the lock
        std::lock_guard lock(FMutex);
        while (!FIdle.empty()) {
            TKept kept = std::move(FIdle.back());
            FIdle.pop_back();
            if (kept.Device == now.st_dev && kept.Inode == now.st_ino) {
                return kept;
            }
            stale.push_back(std::move(kept));
        }
    }
    // No file there, or another: opening says why it cannot, or reads the new one. The file
    // named before the open is the one recorded, so a file replaced in between is found out at
    // the next read.
    TKept kept;
    kept.Connection = std::make_unique<TSqliteDatabase>(FPath);
    kept.Device = now.st_dev;
    kept.Inode = now.st_ino;
    return kept;
}

void TConnectionPool::Give(TKept Kept) noexcept {
    if (Kept.Connection->TransactionOpen()) {
        return;  // a transaction that did not end: closing the connection discards it
    }
    std::lock_guard lock(FMutex);
    if (FIdle.size() < FMaxIdle) {
        FIdle.push_back(std::move(Kept));
    }
}
