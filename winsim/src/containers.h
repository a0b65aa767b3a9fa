// The containers every record of the machine uses.
//
// All of the machine lives in the shared arena (see arena.h), so a second program start, which runs in a
// fork()ed copy of the simulator, works on the same machine as the running instance. Every container
// therefore uses the arena's polymorphic allocator; a std::string or std::vector member would silently fork.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory_resource>
#include <string>
#include <utility>
#include <vector>

#include "arena.h"

namespace winsim {

using Str = std::pmr::string;
template <class T>
using Vec = std::pmr::vector<T>;
template <class T>
using Deque = std::pmr::deque<T>;
template <class K, class V>
using Map = std::pmr::map<K, V>;

// Case-insensitive ordering, as the registry and window titles compare names.
struct NoCaseLess {
    bool operator()(const Str& a, const Str& b) const;
};
template <class V>
using NoCaseMap = std::pmr::map<Str, V, NoCaseLess>;
Str Upper(const char* text);
bool EqualNoCase(const char* a, const char* b);

using VirtualMs = uint64_t;

template <class T, class... Args>
T* New(Args&&... args) {
    std::pmr::polymorphic_allocator<T> alloc(Arena());
    T* p = alloc.allocate(1);
    alloc.construct(p, std::forward<Args>(args)...);
    return p;
}

// The record behind a user32 handle (windows, menus), or nullptr for one never made or already destroyed.
template <class T>
T* FindLive(const Map<uintptr_t, T*>& records, uintptr_t handle) {
    auto it = records.find(handle);
    return it == records.end() || it->second->destroyed ? nullptr : it->second;
}

} // namespace winsim
