// The installer's preset of the first resolution: <program> res <width> <height> <depth>.
#pragma once

struct ResPreset {
    int nWidth;
    int nHeight;
    int nBpp;
};

// True when the argument vector is exactly the program name, "res" (any case) and three more arguments.
// The numbers are read like atoi (leading blanks and sign, then digits; no digits give 0), held within
// the range of int; no other check is made.
bool ParseResPreset(int argc, const char* const* argv, ResPreset* pPreset);
