#include "app/res_preset.h"

#include <climits>
#include <cstdlib>

namespace {

bool IsResWord(const char* psz) {
    return psz != nullptr && (psz[0] == 'r' || psz[0] == 'R') && (psz[1] == 'e' || psz[1] == 'E') &&
           (psz[2] == 's' || psz[2] == 'S') && psz[3] == '\0';
}

// atoi without its undefined behaviour on numbers out of range: those stop at the limits of int. strtol
// is the system C runtime's own; its long is as wide as int on Windows, and clamps there already.
int ParseInt(const char* psz) {
    if (psz == nullptr)
        return 0;
    const long value = strtol(psz, nullptr, 10);
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<int>(value);
}

} // namespace

bool ParseResPreset(int argc, const char* const* argv, ResPreset* pPreset) {
    if (argc != 5 || argv == nullptr || !IsResWord(argv[1]))
        return false;
    pPreset->nWidth = ParseInt(argv[2]);
    pPreset->nHeight = ParseInt(argv[3]);
    pPreset->nBpp = ParseInt(argv[4]);
    return true;
}
