// user32: where windows are and how big (the rectangle a dialog gets from its template, GetWindowRect,
// SetWindowPos), and icons in the size a program asks for (LoadImageA). The metrics are those of 96 DPI
// with the classic window frame; docs/winsim-shell.md, "Window geometry and icon sizes", gives the rules
// and where they come from.
#include "faults.h"
#include "display.h"
#include "machine.h"
#include "process.h"
#include "window.h"

#include <string>

namespace winsim {
namespace {

constexpr int kCaptionHeight = 19; // SM_CYCAPTION
constexpr int kDialogFrame = 3;    // SM_CXDLGFRAME, SM_CYDLGFRAME
constexpr int kBorder = 1;         // SM_CXBORDER, SM_CYBORDER
constexpr int kLargeIcon = 32;     // SM_CXICON, SM_CYICON
// The dialog base units of the 8-point shell dialog font at 96 DPI: its average character width and its
// height. Dialog units are a quarter of the first and an eighth of the second.
constexpr int kBaseUnitX = 6;
constexpr int kBaseUnitY = 13;

// MulDiv: the product over the divisor, rounded half away from zero.
int MulDivRounded(int number, int numerator, int denominator) {
    long long product = static_cast<long long>(number) * numerator;
    long long half = denominator / 2;
    return static_cast<int>((product >= 0 ? product + half : product - half) / denominator);
}

// The frame around a window's client area (AdjustWindowRectEx without a menu): the dialog frame for a
// caption or a modal frame, a thin border for WS_BORDER alone, and the caption above.
RECT FrameOf(DWORD style) {
    int edge = 0;
    if ((style & WS_DLGFRAME) || (style & DS_MODALFRAME))
        edge = kDialogFrame;
    else if (style & WS_BORDER)
        edge = kBorder;
    RECT frame{edge, edge, edge, edge};
    if ((style & WS_CAPTION) == WS_CAPTION)
        frame.top += kCaptionHeight;
    return frame;
}

bool Contains(const RECT& r, LONG x, LONG y) {
    return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

// The display a point lies on, else the primary one: the desktop part of a display that is on it.
RECT DisplayAt(LONG x, LONG y) {
    RECT primary{0, 0, 0, 0};
    for (const DisplayDevice& d : M().displays) {
        if (!d.present || !d.current.attached || (d.staticFlags & DISPLAY_DEVICE_MIRRORING_DRIVER))
            continue;
        RECT r{d.current.x, d.current.y, d.current.x + static_cast<LONG>(d.current.mode.width),
               d.current.y + static_cast<LONG>(d.current.mode.height)};
        if (Contains(r, x, y))
            return r;
        if (d.primary)
            primary = r;
    }
    return primary;
}

IconImage* FindIconImage(uintptr_t handle) {
    for (IconImage& icon : M().iconImages) {
        if (icon.handle == handle)
            return &icon;
    }
    return nullptr;
}

} // namespace

void PlaceDialog(Window& dialog, const DialogTemplate& tpl, const Window* owner) {
    const RECT frame = FrameOf(tpl.style);
    const LONG width = frame.left + MulDivRounded(tpl.cx, kBaseUnitX, 4) + frame.right;
    const LONG height = frame.top + MulDivRounded(tpl.cy, kBaseUnitY, 8) + frame.bottom;
    // The template places the client area, in the owner's client coordinates unless DS_ABSALIGN says
    // screen coordinates.
    LONG x = MulDivRounded(tpl.x, kBaseUnitX, 4) - frame.left;
    LONG y = MulDivRounded(tpl.y, kBaseUnitY, 8) - frame.top;
    if (owner && !(tpl.style & DS_ABSALIGN)) {
        const RECT ownerFrame = FrameOf(owner->style);
        x += owner->rect.left + ownerFrame.left;
        y += owner->rect.top + ownerFrame.top;
    }
    // Moved onto the display its corner lies on: back from the right and bottom edges, then no further
    // left or up than the display's corner.
    const RECT display = DisplayAt(x, y);
    if (x + width > display.right)
        x = display.right - width;
    if (y + height > display.bottom)
        y = display.bottom - height;
    if (x < display.left)
        x = display.left;
    if (y < display.top)
        y = display.top;
    dialog.rect = RECT{x, y, x + width, y + height};
}

std::string IconImageSize(uintptr_t handle) {
    const IconImage* icon = FindIconImage(handle);
    if (!icon)
        return "";
    if (icon->destroyed)
        return "destroyed";
    return std::to_string(icon->cx) + "x" + std::to_string(icon->cy);
}

bool DestroyIconImage(uintptr_t handle) {
    IconImage* icon = FindIconImage(handle);
    if (!icon || icon->destroyed)
        return false;
    if (!icon->shared)
        icon->destroyed = true;
    return true;
}

} // namespace winsim

using namespace winsim;

BOOL GetWindowRect(HWND hWnd, LPRECT lpRect) {
    WINSIM_ENTRY(GetWindowRect, FALSE);
    const Window* w = FindWindowRecord(hWnd);
    if (!w || !lpRect) {
        SetError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    *lpRect = w->rect;
    return TRUE;
}

// Moves and sizes the window; the z-order and activation are not modelled, so their flags change nothing.
BOOL SetWindowPos(HWND hWnd, HWND, int X, int Y, int cx, int cy, UINT uFlags) {
    WINSIM_ENTRY(SetWindowPos, FALSE);
    Window* w = FindWindowRecord(hWnd);
    if (!w) {
        SetError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    RECT r = w->rect;
    if (!(uFlags & SWP_NOMOVE)) {
        r = RECT{X, Y, X + (r.right - r.left), Y + (r.bottom - r.top)};
    }
    if (!(uFlags & SWP_NOSIZE)) {
        r.right = r.left + cx;
        r.bottom = r.top + cy;
    }
    w->rect = r;
    return TRUE;
}

// Icons of the program's own resources, by number. Windows picks the image nearest the size asked for
// and stretches it to that size; 0 asks for the resource's own size with LR_DEFAULTSIZE and for the
// first image's without it, which winsim takes to be SM_CXICON's 32 pixels. A shared icon is the same
// handle for every load of the same size; any other load is a new copy that the program destroys.
HANDLE LoadImageA(HINSTANCE hInst, LPCSTR name, UINT type, int cx, int cy, UINT fuLoad) {
    WINSIM_ENTRY(LoadImageA, nullptr);
    if (type != IMAGE_ICON || !hInst || !IS_INTRESOURCE(name)) {
        SetError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const UINT id = static_cast<UINT>(reinterpret_cast<uintptr_t>(name));
    const ResourceTable* table = M().program.resources;
    bool found = false;
    for (size_t i = 0; table && i < table->iconCount; ++i)
        found = found || table->iconIds[i] == id;
    if (!found) {
        SetError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    const int width = cx != 0 ? cx : kLargeIcon;
    const int height = cy != 0 ? cy : kLargeIcon;
    const bool shared = (fuLoad & LR_SHARED) != 0;
    Machine& m = M();
    for (const IconImage& icon : m.iconImages) {
        if (shared && icon.shared && icon.resourceId == id && icon.cx == width && icon.cy == height)
            return reinterpret_cast<HANDLE>(icon.handle);
    }
    IconImage icon;
    icon.handle = m.nextIconImage;
    m.nextIconImage += 0x10;
    icon.resourceId = id;
    icon.cx = width;
    icon.cy = height;
    icon.shared = shared;
    m.iconImages.push_back(icon);
    return reinterpret_cast<HANDLE>(icon.handle);
}
