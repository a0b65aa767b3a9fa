// The environment probes: the Windows version and edition, an Intel graphics chip driving the system's own
// display, the primary display's mode, and the monitor power cycle that some Intel drivers need after a
// resume. The main window holds the results; these functions take them by reference so that they can run
// (and be tried) without a window.
#pragma once
#include <windows.h>

// Fills osvi with GetVersionExA (the extended record) and traces the Windows version. bWin7 is set on
// Windows 7 (6.1); bStarter on Windows 7 whose HKLM "EditionID" is exactly "Starter".
void ProbeWindowsVersion(OSVERSIONINFOEXA& osvi, BOOL& bWin7, BOOL& bStarter);

// Sets bIntelChip when a display device that is not a mirroring driver carries the Intel vendor id.
// Always TRUE.
BOOL ProbeIntelChip(BYTE& bIntelChip);

// Reads the registry mode of the primary display (the first device flagged primary and not mirroring)
// into the three values. True when any of them changed; false when they are the same or there is no
// primary display to read.
bool ProbePrimaryMode(int& nBpp, int& nWidth, int& nHeight);

// Switches every monitor off and on again when an Intel chip drives the system's display on Vista or
// later and a suspend has happened since the last cycle (bResumeKick), then clears bResumeKick.
void CyclePowerAfterResume(BYTE bIntelChip, const OSVERSIONINFOEXA& osvi, BOOL& bResumeKick);
