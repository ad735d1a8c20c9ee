// Readers and writers of one database file inside this process: any number of readers at once,
// or one writer. Without it the server's own requests would meet only in SQLite's file locks,
// whose busy handler sleeps in growing steps (1, 2, 5, 10 ms ...): a read arriving during a
// commit could wait far longer than the commit. Other programs still meet the server there.
//
// Phase-fair: a reader that arrives while a writer holds or waits for the gate enters as soon as
// that writer is done, before the next writer; a writer waits only for the readers inside. So
// neither side starves the other under a steady mix.
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

  private:
    std::mutex FMutex;
    std::condition_variable FReadersGo, FWriterGo;
    int FReading = 0;         // readers inside
    int FReadersWaiting = 0;  // readers that wait for the end of a write
    int FWritersWaiting = 0;
    bool FWriting = false;
    uint64_t FPhase = 0;  // counts the writes after which waiting readers were let in
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
