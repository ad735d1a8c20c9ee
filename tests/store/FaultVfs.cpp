#include "FaultVfs.h"

#include <sqlite3.h>

#include <stdexcept>

namespace {

struct TFaultState {
    bool Armed = false;
    TVfsFault Plan;
    std::vector<TVfsCall> Calls;
    bool Fired = false;
};

TFaultState State;

sqlite3_vfs* RealVfs = nullptr;

// Counts the call and answers whether it is to fail.
bool Fails(TVfsCall call) {
    if (!State.Armed) {
        return false;
    }
    State.Calls.push_back(call);
    int number = static_cast<int>(State.Calls.size());
    int planned = State.Plan.CallNumber;
    bool fails = planned > 0 && (number == planned || (State.Plan.Persistent && number > planned));
    State.Fired = State.Fired || fails;
    return fails;
}

int Code(TVfsCall call) {
    return TFaultVfs::FailureCode(call, State.Plan.DiskFull);
}

// Our file: the method table, then the default VFS's own file right behind it.
struct TFaultFile {
    sqlite3_file Base;
    sqlite3_file* Real;
};

sqlite3_file* RealOf(sqlite3_file* file) {
    return reinterpret_cast<TFaultFile*>(file)->Real;
}

int Close(sqlite3_file* file) {
    sqlite3_file* real = RealOf(file);
    return real->pMethods->xClose(real);
}

int Read(sqlite3_file* file, void* buffer, int amount, sqlite3_int64 offset) {
    if (Fails(TVfsCall::Read)) {
        return Code(TVfsCall::Read);
    }
    sqlite3_file* real = RealOf(file);
    return real->pMethods->xRead(real, buffer, amount, offset);
}

int Write(sqlite3_file* file, const void* buffer, int amount, sqlite3_int64 offset) {
    if (Fails(TVfsCall::Write)) {
        return Code(TVfsCall::Write);
    }
    sqlite3_file* real = RealOf(file);
    return real->pMethods->xWrite(real, buffer, amount, offset);
}

int Truncate(sqlite3_file* file, sqlite3_int64 size) {
    if (Fails(TVfsCall::Truncate)) {
        return Code(TVfsCall::Truncate);
    }
    sqlite3_file* real = RealOf(file);
    return real->pMethods->xTruncate(real, size);
}

// The call is counted and can fail, but the disk is not waited for: durability across a power
// cut is no concern of these tests, and thousands of runs would otherwise wait on the disk.
int Sync(sqlite3_file*, int) {
    if (Fails(TVfsCall::Sync)) {
        return Code(TVfsCall::Sync);
    }
    return SQLITE_OK;
}

int FileSize(sqlite3_file* file, sqlite3_int64* size) {
    if (Fails(TVfsCall::FileSize)) {
        return Code(TVfsCall::FileSize);
    }
    sqlite3_file* real = RealOf(file);
    return real->pMethods->xFileSize(real, size);
}

// A failing lock or unlock leaves the file's lock where it was, as a real failure would.
int Lock(sqlite3_file* file, int level) {
    if (Fails(TVfsCall::Lock)) {
        return Code(TVfsCall::Lock);
    }
    sqlite3_file* real = RealOf(file);
    return real->pMethods->xLock(real, level);
}

int Unlock(sqlite3_file* file, int level) {
    if (Fails(TVfsCall::Unlock)) {
        return Code(TVfsCall::Unlock);
    }
    sqlite3_file* real = RealOf(file);
    return real->pMethods->xUnlock(real, level);
}

int CheckReservedLock(sqlite3_file* file, int* result) {
    if (Fails(TVfsCall::CheckReservedLock)) {
        return Code(TVfsCall::CheckReservedLock);
    }
    sqlite3_file* real = RealOf(file);
    return real->pMethods->xCheckReservedLock(real, result);
}

int FileControl(sqlite3_file* file, int op, void* argument) {
    sqlite3_file* real = RealOf(file);
    return real->pMethods->xFileControl(real, op, argument);
}

int SectorSize(sqlite3_file* file) {
    sqlite3_file* real = RealOf(file);
    return real->pMethods->xSectorSize(real);
}

int DeviceCharacteristics(sqlite3_file* file) {
    sqlite3_file* real = RealOf(file);
    return real->pMethods->xDeviceCharacteristics(real);
}

int ShmMap(sqlite3_file* file, int page, int pageSize, int extend, void volatile** address) {
    if (Fails(TVfsCall::ShmMap)) {
        return Code(TVfsCall::ShmMap);
    }
    sqlite3_file* real = RealOf(file);
    return real->pMethods->xShmMap(real, page, pageSize, extend, address);
}

int ShmLock(sqlite3_file* file, int offset, int count, int flags) {
    if (Fails(TVfsCall::ShmLock)) {
        return Code(TVfsCall::ShmLock);
    }
    sqlite3_file* real = RealOf(file);
    return real->pMethods->xShmLock(real, offset, count, flags);
}

void ShmBarrier(sqlite3_file* file) {
    sqlite3_file* real = RealOf(file);
    real->pMethods->xShmBarrier(real);
}

// Never fails: a mapping left behind would only leak memory, and SQLite ignores the answer.
int ShmUnmap(sqlite3_file* file, int deleteFlag) {
    sqlite3_file* real = RealOf(file);
    return real->pMethods->xShmUnmap(real, deleteFlag);
}

// Version 2: no memory-mapped reads, so every page read passes through Read.
const sqlite3_io_methods FaultMethods = {
    2,
    Close,
    Read,
    Write,
    Truncate,
    Sync,
    FileSize,
    Lock,
    Unlock,
    CheckReservedLock,
    FileControl,
    SectorSize,
    DeviceCharacteristics,
    ShmMap,
    ShmLock,
    ShmBarrier,
    ShmUnmap,
    nullptr,
    nullptr,
};

int Open(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* file, int flags, int* outFlags) {
    auto* ours = reinterpret_cast<TFaultFile*>(file);
    ours->Base.pMethods = nullptr;
    ours->Real = reinterpret_cast<sqlite3_file*>(ours + 1);
    if (Fails(TVfsCall::Open)) {
        return Code(TVfsCall::Open);
    }
    int rc = RealVfs->xOpen(RealVfs, name, ours->Real, flags, outFlags);
    if (ours->Real->pMethods != nullptr) {
        ours->Base.pMethods = &FaultMethods;
    }
    return rc;
}

int Delete(sqlite3_vfs*, const char* name, int) {
    if (Fails(TVfsCall::Delete)) {
        return Code(TVfsCall::Delete);
    }
    return RealVfs->xDelete(RealVfs, name, 0);  // no directory sync, as with Sync
}

int Access(sqlite3_vfs*, const char* name, int flags, int* result) {
    if (Fails(TVfsCall::Access)) {
        return Code(TVfsCall::Access);
    }
    return RealVfs->xAccess(RealVfs, name, flags, result);
}

int FullPathname(sqlite3_vfs*, const char* name, int size, char* out) {
    return RealVfs->xFullPathname(RealVfs, name, size, out);
}

void* DlOpen(sqlite3_vfs*, const char* name) {
    return RealVfs->xDlOpen(RealVfs, name);
}

void DlError(sqlite3_vfs*, int size, char* message) {
    RealVfs->xDlError(RealVfs, size, message);
}

void (*DlSym(sqlite3_vfs*, void* library, const char* symbol))(void) {
    return RealVfs->xDlSym(RealVfs, library, symbol);
}

void DlClose(sqlite3_vfs*, void* library) {
    RealVfs->xDlClose(RealVfs, library);
}

int Randomness(sqlite3_vfs*, int size, char* out) {
    return RealVfs->xRandomness(RealVfs, size, out);
}

// While armed, waits return at once: only the write under test uses the file then, so no wait
// can end in another connection's lock going away, and the retries after a failed call
// would otherwise add up to seconds per run. The answer still claims the full wait.
int Sleep(sqlite3_vfs*, int microseconds) {
    if (State.Armed) {
        return microseconds;
    }
    return RealVfs->xSleep(RealVfs, microseconds);
}

int CurrentTime(sqlite3_vfs*, double* now) {
    return RealVfs->xCurrentTime(RealVfs, now);
}

int GetLastError(sqlite3_vfs*, int size, char* out) {
    return RealVfs->xGetLastError(RealVfs, size, out);
}

int CurrentTimeInt64(sqlite3_vfs*, sqlite3_int64* now) {
    return RealVfs->xCurrentTimeInt64(RealVfs, now);
}

sqlite3_vfs FaultVfs = {
    2,
    0,
    0,
    nullptr,
    "mondrel-faults",
    nullptr,
    Open,
    Delete,
    Access,
    FullPathname,
    DlOpen,
    DlError,
    DlSym,
    DlClose,
    Randomness,
    Sleep,
    CurrentTime,
    GetLastError,
    CurrentTimeInt64,
    nullptr,
    nullptr,
    nullptr,
};

}  // namespace

std::string VfsCallName(TVfsCall call) {
    static const char* const names[] = {
        "open",
        "delete",
        "access",
        "read",
        "write",
        "truncate",
        "sync",
        "fileSize",
        "lock",
        "unlock",
        "checkReservedLock",
        "shmMap",
        "shmLock",
    };
    return names[static_cast<int>(call)];
}

void TFaultVfs::Install() {
    if (RealVfs != nullptr) {
        return;
    }
    RealVfs = sqlite3_vfs_find(nullptr);
    if (RealVfs == nullptr) {
        throw std::runtime_error("SQLite has no default VFS");
    }
    FaultVfs.szOsFile = static_cast<int>(sizeof(TFaultFile)) + RealVfs->szOsFile;
    FaultVfs.mxPathname = RealVfs->mxPathname;
    if (sqlite3_vfs_register(&FaultVfs, 1) != SQLITE_OK) {
        throw std::runtime_error("cannot register the fault VFS");
    }
}

void TFaultVfs::Arm(const TVfsFault& fault) {
    Install();
    State = TFaultState{};
    State.Armed = true;
    State.Plan = fault;
}

std::vector<TVfsCall> TFaultVfs::Disarm() {
    State.Armed = false;
    return std::move(State.Calls);
}

bool TFaultVfs::Fired() {
    return State.Fired;
}

int TFaultVfs::FailureCode(TVfsCall call, bool diskFull) {
    switch (call) {
        case TVfsCall::Open:
            return SQLITE_CANTOPEN;
        case TVfsCall::Delete:
            return SQLITE_IOERR_DELETE;
        case TVfsCall::Access:
            return SQLITE_IOERR_ACCESS;
        case TVfsCall::Read:
            return SQLITE_IOERR_READ;
        case TVfsCall::Write:
            return diskFull ? SQLITE_FULL : SQLITE_IOERR_WRITE;
        case TVfsCall::Truncate:
            return SQLITE_IOERR_TRUNCATE;
        case TVfsCall::Sync:
            return SQLITE_IOERR_FSYNC;
        case TVfsCall::FileSize:
            return SQLITE_IOERR_FSTAT;
        case TVfsCall::Lock:
            return SQLITE_IOERR_LOCK;
        case TVfsCall::Unlock:
            return SQLITE_IOERR_UNLOCK;
        case TVfsCall::CheckReservedLock:
            return SQLITE_IOERR_CHECKRESERVEDLOCK;
        case TVfsCall::ShmMap:
            return SQLITE_IOERR_SHMMAP;
        case TVfsCall::ShmLock:
            return SQLITE_IOERR_SHMLOCK;
    }
    return SQLITE_IOERR;
}
