// Message maps: a constant table per window class that routes a message to a typed member function.
//
// An entry matches a plain message number, a registered message (through the address of the variable
// that holds its number, because the number is only known at run time and differs between desktops), one
// WM_COMMAND id, or a range of WM_COMMAND ids. A thunk instantiated for the handler adapts wParam and
// lParam to the handler's own signature, so the compiler checks every handler against its message.
#pragma once
#include <windows.h>

class CWnd;

enum class FwEntryKind : unsigned char { End, Message, Registered, Command, CommandRange };

using FwHandlerThunk = LRESULT (*)(CWnd* pWnd, UINT nMsg, WPARAM wParam, LPARAM lParam);

struct FwMsgMapEntry {
    FwEntryKind kind;
    UINT nMessage;            // Message
    const UINT* pnRegistered; // Registered: the variable the registration stored its number in
    UINT nIdFirst;            // Command, CommandRange
    UINT nIdLast;             // CommandRange
    FwHandlerThunk pfnHandler;
};

struct FwMsgMap {
    const FwMsgMap* (*pfnGetBaseMap)(); // null at the root
    const FwMsgMapEntry* pEntries;      // ends with an FwEntryKind::End entry
};

// Does this entry take the message? A registered entry whose registration failed (number 0) takes nothing.
bool FwEntryMatches(const FwMsgMapEntry& entry, UINT nMsg, WPARAM wParam);

// The first matching entry of the map or of its bases, derived classes first; null when none matches.
const FwMsgMapEntry* FwFindEntry(const FwMsgMap* pMap, UINT nMsg, WPARAM wParam);

namespace fwthunk {

template <class T>
struct MemberClass;
template <class C, class R, class... A>
struct MemberClass<R (C::*)(A...)> {
    using type = C;
};

template <auto Fn>
auto* Target(CWnd* pWnd) {
    return static_cast<typename MemberClass<decltype(Fn)>::type*>(pWnd);
}

// LRESULT OnXxx(WPARAM, LPARAM)
template <auto Fn>
LRESULT Generic(CWnd* pWnd, UINT, WPARAM wParam, LPARAM lParam) {
    return (Target<Fn>(pWnd)->*Fn)(wParam, lParam);
}

// void OnXxx()
template <auto Fn>
LRESULT Command(CWnd* pWnd, UINT, WPARAM, LPARAM) {
    (Target<Fn>(pWnd)->*Fn)();
    return 0;
}

// void OnXxx(UINT nID)
template <auto Fn>
LRESULT CommandRange(CWnd* pWnd, UINT, WPARAM wParam, LPARAM) {
    (Target<Fn>(pWnd)->*Fn)(LOWORD(wParam));
    return 0;
}

// void OnTimer(UINT_PTR nIDEvent)
template <auto Fn>
LRESULT Timer(CWnd* pWnd, UINT, WPARAM wParam, LPARAM) {
    (Target<Fn>(pWnd)->*Fn)(static_cast<UINT_PTR>(wParam));
    return 0;
}

// BOOL OnDeviceChange(UINT nEventType, DWORD_PTR dwData)
template <auto Fn>
LRESULT DeviceChange(CWnd* pWnd, UINT, WPARAM wParam, LPARAM lParam) {
    return (Target<Fn>(pWnd)->*Fn)(static_cast<UINT>(wParam), static_cast<DWORD_PTR>(lParam));
}

// HCURSOR OnQueryDragIcon()
template <auto Fn>
LRESULT QueryDragIcon(CWnd* pWnd, UINT, WPARAM, LPARAM) {
    return reinterpret_cast<LRESULT>((Target<Fn>(pWnd)->*Fn)());
}

// void OnEndSession(BOOL bEnding)
template <auto Fn>
LRESULT EndSession(CWnd* pWnd, UINT, WPARAM wParam, LPARAM) {
    (Target<Fn>(pWnd)->*Fn)(static_cast<BOOL>(wParam));
    return 0;
}

// BOOL OnQueryEndSession()
template <auto Fn>
LRESULT QueryEndSession(CWnd* pWnd, UINT, WPARAM, LPARAM) {
    return (Target<Fn>(pWnd)->*Fn)();
}

} // namespace fwthunk

// Last in the class (it leaves the access at protected): declares the map accessor. The map of a class
// is chained to the map of its base.
#define DECLARE_MESSAGE_MAP()                                                                                \
protected:                                                                                                   \
    static const FwMsgMap* GetThisMessageMap();                                                              \
    const FwMsgMap* GetMessageMap() const override;

// The tables are constexpr, so they are fixed at compile time: no start-up code builds them.
// clang-format off
#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                                               \
    const FwMsgMap* theClass::GetMessageMap() const { return GetThisMessageMap(); }                          \
    const FwMsgMap* theClass::GetThisMessageMap() {                                                          \
        using ThisClass = theClass;                                                                          \
        using TheBaseClass = baseClass;                                                                      \
        static constexpr FwMsgMapEntry entries[] = {

#define END_MESSAGE_MAP()                                                                                    \
            {FwEntryKind::End, 0, nullptr, 0, 0, nullptr}};                                                  \
        static constexpr FwMsgMap messageMap = {&TheBaseClass::GetThisMessageMap, &entries[0]};              \
        return &messageMap;                                                                                  \
    }
// clang-format on

#define FW_ENTRY(kind, msg, reg, first, last, thunk) {FwEntryKind::kind, msg, reg, first, last, &thunk},

// LRESULT memberFxn(WPARAM, LPARAM)
#define ON_MESSAGE(message, memberFxn)                                                                       \
    FW_ENTRY(Message, message, nullptr, 0, 0,                                                                \
             fwthunk::Generic<static_cast<LRESULT (ThisClass::*)(WPARAM, LPARAM)>(&ThisClass::memberFxn)>)

// LRESULT memberFxn(WPARAM, LPARAM); nMessageVariable is the UINT that RegisterWindowMessageA filled in.
#define ON_REGISTERED_MESSAGE(nMessageVariable, memberFxn)                                                   \
    FW_ENTRY(Registered, 0, &nMessageVariable, 0, 0,                                                         \
             fwthunk::Generic<static_cast<LRESULT (ThisClass::*)(WPARAM, LPARAM)>(&ThisClass::memberFxn)>)

// void memberFxn()
#define ON_COMMAND(id, memberFxn)                                                                            \
    FW_ENTRY(Command, 0, nullptr, id, id,                                                                    \
             fwthunk::Command<static_cast<void (ThisClass::*)()>(&ThisClass::memberFxn)>)

// void memberFxn(UINT nID), for ids idFirst to idLast inclusive
#define ON_COMMAND_RANGE(idFirst, idLast, memberFxn)                                                         \
    FW_ENTRY(CommandRange, 0, nullptr, idFirst, idLast,                                                      \
             fwthunk::CommandRange<static_cast<void (ThisClass::*)(UINT)>(&ThisClass::memberFxn)>)

#define ON_WM_TIMER()                                                                                        \
    FW_ENTRY(Message, WM_TIMER, nullptr, 0, 0,                                                               \
             fwthunk::Timer<static_cast<void (ThisClass::*)(UINT_PTR)>(&ThisClass::OnTimer)>)

#define ON_WM_DEVICECHANGE()                                                                                 \
    FW_ENTRY(Message, WM_DEVICECHANGE, nullptr, 0, 0,                                                        \
             fwthunk::DeviceChange<static_cast<BOOL (ThisClass::*)(UINT, DWORD_PTR)>(                        \
                 &ThisClass::OnDeviceChange)>)

#define ON_WM_PAINT()                                                                                        \
    FW_ENTRY(Message, WM_PAINT, nullptr, 0, 0,                                                               \
             fwthunk::Command<static_cast<void (ThisClass::*)()>(&ThisClass::OnPaint)>)

#define ON_WM_QUERYDRAGICON()                                                                                \
    FW_ENTRY(Message, WM_QUERYDRAGICON, nullptr, 0, 0,                                                       \
             fwthunk::QueryDragIcon<static_cast<HCURSOR (ThisClass::*)()>(&ThisClass::OnQueryDragIcon)>)

#define ON_WM_ENDSESSION()                                                                                   \
    FW_ENTRY(Message, WM_ENDSESSION, nullptr, 0, 0,                                                          \
             fwthunk::EndSession<static_cast<void (ThisClass::*)(BOOL)>(&ThisClass::OnEndSession)>)

#define ON_WM_QUERYENDSESSION()                                                                              \
    FW_ENTRY(Message, WM_QUERYENDSESSION, nullptr, 0, 0,                                                     \
             fwthunk::QueryEndSession<static_cast<BOOL (ThisClass::*)()>(&ThisClass::OnQueryEndSession)>)
