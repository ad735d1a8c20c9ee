#include "ColdState.h"

#include <malloc.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

namespace {

// Well above the last-level cache a core of the measuring machine can use, so nothing of the
// previous tick (SQLite's code, its parse tables, the file's pages copied into the page cache,
// the module's own data) is still in any cache level or in the TLB afterwards.
constexpr size_t SweepBytes = size_t{32} << 20;
// The host's own allocations: enough blocks of mixed sizes that the allocator's bins, its
// thread cache and the top of the heap are the host's afterwards, not the last tick's.
constexpr int ChurnBlocks = 2000;
constexpr size_t LargestBlock = 96 * 1024;

}  // namespace

// What is modelled, in order:
// 1. The host's work streams through the caches: a buffer of SweepBytes is written and read
//    once, which evicts SQLite's and the module's instructions and data from L1, L2 and L3.
// 2. The host allocates and frees: ChurnBlocks blocks of 16 bytes to LargestBlock are made,
//    touched and freed in shuffled order, leaving the allocator's free lists fragmented with
//    the host's blocks rather than neatly holding the chunks SQLite freed at the last close.
// 3. The heap is trimmed: glibc hands free memory at the top of the heap back to the system by
//    itself whenever more than its trim threshold lies there; malloc_trim(0) does now what a
//    minute of frees would have done. The next tick then faults its memory in again, as it does
//    in a real host. (This only shapes the benchmark process; the module never calls it.)
// The database file itself stays in the operating system's file cache, as it does in a host
// whose file was read a minute ago.
void EvictProcessState() {
    static std::unique_ptr<unsigned char[]> sweep(new unsigned char[SweepBytes]);
    static unsigned char salt = 0;
    std::memset(sweep.get(), ++salt, SweepBytes);
    volatile unsigned sum = 0;
    for (size_t i = 0; i < SweepBytes; i += 64) {
        sum = sum + sweep[i];
    }

    static std::mt19937 random(12345);
    std::uniform_int_distribution<int> shift(4, 16);
    std::vector<void*> blocks(ChurnBlocks);
    for (void*& block : blocks) {
        size_t size = std::min(LargestBlock, size_t{1} << shift(random));
        size += random() % size;
        block = std::malloc(size);
        std::memset(block, 0x5A, std::min<size_t>(size, 256));
    }
    std::shuffle(blocks.begin(), blocks.end(), random);
    for (void* block : blocks) {
        std::free(block);
    }
    malloc_trim(0);
}
