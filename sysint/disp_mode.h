// DispMode: a display mode as the adapter keeps it: width, height and colour depth in bits.
#pragma once

struct DispMode {
    int nWidth;
    int nHeight;
    int nBpp;

    bool operator==(const DispMode&) const = default;
};
