// The program's allocation functions on Windows. The program allocates only with new (std::nothrow) and is
// built without exceptions; the C++ library's own nothrow forms wrap the throwing ones in a try block, and
// so would link the whole exception machinery (unwinder, personality routine, the terminate handler and
// its name demangler) into the executable. These give the same answers straight from the C runtime's heap.
// Compiled into the Windows executables only: in the simulator winsim supplies the nothrow forms, which a
// scenario can make fail.
#include <cstdlib>
#include <new>

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return std::malloc(size != 0 ? size : 1);
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return std::malloc(size != 0 ? size : 1);
}

void operator delete(void* p) noexcept {
    std::free(p);
}

void operator delete[](void* p) noexcept {
    std::free(p);
}

void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}
