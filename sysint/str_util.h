// Text helpers shared by the device matching and the environment probes.
#pragma once

// True when part occurs in text, ASCII letters compared without regard to case. An empty part or an empty
// text never matches; a null text or part is false.
bool StrContainsNoCase(const char* text, const char* part);

// True when both texts are equal, ASCII letters compared without regard to case. A null text equals nothing.
bool StrEqualNoCase(const char* a, const char* b);
