#include "ReadWriteGate.h"

void TReadWriteGate::LockShared() {
    std::unique_lock lock(FMutex);
    if (!FWriting && FWritersWaiting == 0) {
        ++FReading;
        return;
    }
    // The write phase's end counts this reader in (see Unlock).
    ++FReadersWaiting;
    const uint64_t phase = FReadPhase;
    FReadersGo.wait(lock, [&] { return FReadPhase != phase; });
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
    // Unlock keeps a phase open only while it has writers left to let through, so a writer that
    // enters an open phase always takes one of those places.
    if (!FWritePhase) {
        FWritePhase = true;
        FWritePhaseLeft = FWritersWaiting;
    } else {
        --FWritePhaseLeft;
    }
}

void TReadWriteGate::Unlock() {
    std::lock_guard lock(FMutex);
    FWriting = false;
    if (FWritePhaseLeft > 0 && FWritersWaiting > 0) {
        FWriterGo.notify_one();
        return;
    }
    FWritePhase = false;
    FWritePhaseLeft = 0;
    if (FReadersWaiting > 0) {
        FReading += FReadersWaiting;
        FReadersWaiting = 0;
        ++FReadPhase;
        FReadersGo.notify_all();
    } else if (FWritersWaiting > 0) {
        FWriterGo.notify_one();
    }
}

int TReadWriteGate::ReadersWaiting() {
    std::lock_guard lock(FMutex);
    return FReadersWaiting;
}

int TReadWriteGate::WritersWaiting() {
    std::lock_guard lock(FMutex);
    return FWritersWaiting;
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
