#include "ReadWriteGate.h"

void TReadWriteGate::LockShared() {
    std::unique_lock lock(FMutex);
    if (!FWriting && FWritersWaiting == 0) {
        ++FReading;
        return;
    }
    // The writer that ends next counts this reader in (see Unlock).
    ++FReadersWaiting;
    const uint64_t phase = FPhase;
    FReadersGo.wait(lock, [&] { return FPhase != phase; });
}

void TReadWriteGate::UnlockShared() {
    std::lock_guard lock(FMutex);
    if (--FReading == 0 && FWritersWaiting > 0) {
        FWriterGo.notify_one();
    }
}

void TReadWriteGate::Lock() {
    std::unique_lock lock(FMutex);
    ++FWritersWaiting;
    FWriterGo.wait(lock, [&] { return !FWriting && FReading == 0; });
    --FWritersWaiting;
    FWriting = true;
}

void TReadWriteGate::Unlock() {
    std::lock_guard lock(FMutex);
    FWriting = false;
    if (FReadersWaiting > 0) {
        FReading += FReadersWaiting;
        FReadersWaiting = 0;
        ++FPhase;
        FReadersGo.notify_all();
    } else if (FWritersWaiting > 0) {
        FWriterGo.notify_one();
    }
}

TGateHold::TGateHold(TReadWriteGate& Gate, bool Write) : FGate(Gate), FWrite(Write) {
    if (FWrite) {
        FGate.Lock();
    } else {
        FGate.LockShared();
    }
}

TGateHold::~TGateHold() {
    if (FWrite) {
        FGate.Unlock();
    } else {
        FGate.UnlockShared();
    }
}
