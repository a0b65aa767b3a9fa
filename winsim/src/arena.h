// The machine's memory. Everything the simulated Windows knows lives in one shared mapping, so that a
// second program start, which runs in a fork()ed copy of the simulator, changes the same machine as the
// running instance: its posted messages, traces and registry writes reach the desktop.
#pragma once
#include <memory_resource>

namespace winsim {

// A memory resource over a MAP_SHARED region. Its bookkeeping lives inside the region too, and the region
// sits at the same address in every forked process, so pointers into it stay valid everywhere.
class SharedArena final : public std::pmr::memory_resource {
public:
    static SharedArena& Instance();

private:
    void* do_allocate(size_t bytes, size_t alignment) override;
    void do_deallocate(void* p, size_t bytes, size_t alignment) override;
    bool do_is_equal(const std::pmr::memory_resource& other) const noexcept override {
        return this == &other;
    }
};

std::pmr::memory_resource* Arena();

// Gives every block back at once. Only for a process that keeps no pointer into the arena: one that runs
// machine after machine in a loop (a fuzzer), never beside a forked second start.
void ClearArena();

} // namespace winsim
