// Open connections to one database file, kept from one read to the next. Opening a file costs
// reading and parsing its schema, and each statement its preparing, anew: together more than
// reading a month of appointments. A kept connection holds no lock between reads and sees what
// other programs committed (each read is a new transaction); once the path names another file
// (replaced rather than written), the connections to the old one are closed.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "DBTransaction.h"

class TConnectionPool {
  public:
    explicit TConnectionPool(std::string Path, size_t MaxIdle = 4);

    // Runs Work(TDBTransaction&) in a read transaction and commits when it returns, as
    // InTransaction(Path, Work) does, on a kept connection when there is one. A connection
    // whose work raised is closed, never kept.
    template <typename TWork>
    auto Read(TWork&& Work) {
        TKept kept = Take();
        // The transaction ends before its connection goes back, where another thread may take
        // it at once.
        if constexpr (std::is_void_v<decltype(Work(std::declval<TDBTransaction&>()))>) {
            {
                TDBTransaction transaction(*kept.Connection, TDBTransaction::AsReader);
                Work(transaction);
                transaction.Commit();
            }
            Give(std::move(kept));
        } else {
            auto result = [&] {
                TDBTransaction transaction(*kept.Connection, TDBTransaction::AsReader);
                auto answer = Work(transaction);
                transaction.Commit();
                return answer;
            }();
            Give(std::move(kept));
            return result;
        }
    }

  private:
    struct TKept {
        std::unique_ptr<TSqliteDatabase> Connection;
        dev_t Device = 0;
        ino_t Inode = 0;
    };
    // A kept connection to the file the path names now, else a new one; raises as opening does.
    TKept Take();
    void Give(TKept Kept) noexcept;

    const std::string FPath;
    const size_t FMaxIdle;
    std::mutex FMutex;
    std::vector<TKept> FIdle;
};
