// Readers and writers of one database file inside this process: any number of readers at once,
// or one writer. Without it the server's own requests would meet only in SQLite's file locks,
// whose busy handler sleeps in growing steps (1, 2, 5, 10 ms ...): a read arriving during a
// commit could wait far longer than the commit. Other programs still meet the server there.
//
// Phase-fair, in phases of either kind: the readers that wait when a write phase ends enter
// together; a write phase lets through, one after another, the writers that waited when it
// began. Readers arriving during a write phase wait for its end, writers arriving during it for
// the next one; so neither side starves the other under a steady mix. Letting the waiting
// writers through one by one, each after a phase of readers, would make the last of ten wait
// ten phases of readers: under load that was most of a write's time.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

class TReadWriteGate {
  public:
    void LockShared();
    void UnlockShared();
    void Lock();
    void Unlock();

    // How many wait now: for tests that need a thread to be queued before they go on.
    int ReadersWaiting();
    int WritersWaiting();

  private:
    std::mutex FMutex;
    std::condition_variable FReadersGo, FWriterGo;
    int FReading = 0;         // readers inside
    int FReadersWaiting = 0;  // readers that wait for the end of a write phase
    int FWritersWaiting = 0;
    bool FWriting = false;
    bool FWritePhase = false;  // from the first writer of a phase until the phase ends
    int FWritePhaseLeft = 0;   // the writers of this phase still to come after the one inside
    uint64_t FReadPhase = 0;   // counts the write phases after which waiting readers were let in
};

// Holds a gate for the life of the scope, shared or alone.
class TGateHold {
  public:
    TGateHold(TReadWriteGate& Gate, bool Write);
    ~TGateHold();
    TGateHold(const TGateHold&) = delete;
    TGateHold& operator=(const TGateHold&) = delete;

  private:
    TReadWriteGate& FGate;
    bool FWrite;
};
