// A test VFS that wraps SQLite's default one and can make one chosen call fail, or every call
// from a chosen one on. Installed as the default VFS of the test process, so the store and the
// tool reach it through their ordinary sqlite3_open without a second code path.
#pragma once

#include <string>
#include <vector>

// The calls that can fail, in the order of the file and VFS method tables.
enum class TVfsCall {
    Open,
    Delete,
    Access,
    Read,
    Write,
    Truncate,
    Sync,
    FileSize,
    Lock,
    Unlock,
    CheckReservedLock,
    ShmMap,
    ShmLock,
};

std::string VfsCallName(TVfsCall call);

struct TVfsFault {
    // 1 for the first call after Arm; 0 fails nothing and only counts.
    int CallNumber = 0;
    // Every call from CallNumber on fails, as when a disk goes away for good.
    bool Persistent = false;
    // A failing write answers SQLITE_FULL instead of SQLITE_IOERR_WRITE.
    bool DiskFull = false;
};

class TFaultVfs {
  public:
    // Registers the VFS as the process's default, once.
    static void Install();

    // Starts counting calls (and failing the planned one) from zero.
    static void Arm(const TVfsFault& fault);
    // Stops counting and answers the calls made since Arm, in order.
    static std::vector<TVfsCall> Disarm();
    // Whether a call failed since the last Arm.
    static bool Fired();
    // SQLite's result code for a failing call of this kind.
    static int FailureCode(TVfsCall call, bool diskFull);
};
