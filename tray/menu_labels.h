// The tray menu's labels: the string table's texts 133 to 143, loaded once when the main window
// initialises, in eleven buffers of 64 characters.
#pragma once
#include <windows.h>

class CMenuLabels {
public:
    static constexpr int kCount = 11;
    static constexpr int kChars = 64;

    // Loads the texts; one that is missing from the string table stays empty.
    void Load(HINSTANCE hInstance);
    // The label of string id nStringId (IDS_MENU_PRIMARY to IDS_MENU_ROTATE_180); "" for any other id.
    const char* Get(UINT nStringId) const;

private:
    char m_szLabels[kCount][kChars] = {};
};
