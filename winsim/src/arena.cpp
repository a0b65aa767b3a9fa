#include "arena.h"

#include <sys/mman.h>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>

namespace winsim {
namespace {

constexpr size_t kArenaBytes = size_t(1) << 30; // reserved, not committed: pages come on first touch
constexpr int kClassCount = 32;                 // size classes 16 << n
constexpr size_t kMinBlock = 16;

struct FreeBlock {
    FreeBlock* next;
};

struct ArenaHeader {
    char* next;
    char* end;
    FreeBlock* freeLists[kClassCount];
};

ArenaHeader* g_header = nullptr;

int SizeClass(size_t bytes) {
    size_t size = kMinBlock;
    int cls = 0;
    while (size < bytes) {
        size <<= 1;
        ++cls;
    }
    return cls;
}

ArenaHeader* Header() {
    if (!g_header) {
        void* base = mmap(nullptr, kArenaBytes, PROT_READ | PROT_WRITE,
                          MAP_SHARED | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        if (base == MAP_FAILED) {
            perror("winsim: cannot map the machine's memory");
            abort();
        }
        g_header = new (base) ArenaHeader{};
        g_header->next = static_cast<char*>(base) + 4096;
        g_header->end = static_cast<char*>(base) + kArenaBytes;
    }
    return g_header;
}

} // namespace

SharedArena& SharedArena::Instance() {
    static SharedArena arena;
    return arena;
}

void* SharedArena::do_allocate(size_t bytes, size_t alignment) {
    ArenaHeader* h = Header();
    if (alignment > kMinBlock)
        throw std::bad_alloc(); // every block is 16-byte aligned; nothing in the machine asks for more
    int cls = SizeClass(bytes == 0 ? 1 : bytes);
    if (cls >= kClassCount)
        throw std::bad_alloc();
    if (FreeBlock* block = h->freeLists[cls]) {
        h->freeLists[cls] = block->next;
        return block;
    }
    size_t size = kMinBlock << cls;
    if (size_t(h->end - h->next) < size)
        throw std::bad_alloc();
    void* p = h->next;
    h->next += size;
    return p;
}

void SharedArena::do_deallocate(void* p, size_t bytes, size_t alignment) {
    if (!p)
        return;
    (void)alignment;
    int cls = SizeClass(bytes == 0 ? 1 : bytes);
    auto* block = static_cast<FreeBlock*>(p);
    block->next = Header()->freeLists[cls];
    Header()->freeLists[cls] = block;
}

void ClearArena() {
    ArenaHeader* h = Header();
    h->next = reinterpret_cast<char*>(h) + 4096;
    for (FreeBlock*& list : h->freeLists)
        list = nullptr;
}

std::pmr::memory_resource* Arena() {
    return &SharedArena::Instance();
}

} // namespace winsim
