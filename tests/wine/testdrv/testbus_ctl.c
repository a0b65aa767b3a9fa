/* testbus-ctl.exe: the Wine checks' controller of the test bus driver (testbus.c). A console program of
 * the test suite, never shipped. Each command does one thing, waits at most the seconds it is given,
 * prints one line (the log: its lines) and exits with 0 done / yes, 1 failed / not within the time,
 * 2 bad arguments.
 *
 *   install INF SECONDS            makes the root device duodesk_testbus, installs the driver on it from
 *                                  INF (a Windows path) and waits until the bus device opens
 *   plug ID, unplug ID             the bus reports a child with the USB id text ID, or drops it
 *   ready N M                      the children plugged from now on answer 0 to the first N polls of
 *                                  IOCTL_DEV_READY and M of IOCTL_MIR_DEV_READY ("never": always 0)
 *   log                            prints the driver's log
 *   interface ID present|gone SECONDS   waits until a present USB device interface's path contains ID
 *                                  (letter case ignored), or until none does; prints the path
 *   watch-plug ID SECONDS          registers a window of its own for USB interface notifications with
 *                                  RegisterDeviceNotificationA, as the program does, plugs ID and waits
 *                                  for the arrival; prints the form of the record that came,
 *                                  "arrival ansi SIZE PATH" or "arrival wide SIZE PATH" */
#include <windows.h>
#include <winioctl.h>
#include <setupapi.h>
#include <newdev.h>
#include <dbt.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "testbus.h"

static const GUID usb_device_class = {
    0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};

static HANDLE open_bus(void) {
    return CreateFileA(TESTBUS_USER_PATH, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
}

static int request(DWORD code, const void* in, DWORD in_size, void* out, DWORD out_size, DWORD* got) {
    HANDLE bus = open_bus();
    DWORD size = 0;
    BOOL ok;

    if (bus == INVALID_HANDLE_VALUE) {
        printf("the bus device does not open: error %lu\n", GetLastError());
        return 1;
    }
    ok = DeviceIoControl(bus, code, (void*)in, in_size, out, out_size, &size, NULL);
    if (!ok)
        printf("the bus refused the request: error %lu\n", GetLastError());
    if (got)
        *got = size;
    CloseHandle(bus);
    return ok ? 0 : 1;
}

static int install(const char* inf, DWORD seconds) {
    static const char hardware_id[] = "duodesk_testbus\0";
    SP_DEVINFO_DATA device;
    DWORD deadline = GetTickCount() + seconds * 1000;
    BOOL reboot = FALSE;
    HDEVINFO set;
    HANDLE bus;

    ZeroMemory(&device, sizeof(device));
    device.cbSize = sizeof(device);

    set = SetupDiCreateDeviceInfoList(NULL, NULL);
    if (set == INVALID_HANDLE_VALUE ||
        !SetupDiCreateDeviceInfoA(set, "root\\duodesk_testbus\\0", &GUID_NULL, NULL, NULL, 0, &device) ||
        !SetupDiSetDeviceRegistryPropertyA(set, &device, SPDRP_HARDWAREID, (const BYTE*)hardware_id,
                                           sizeof(hardware_id)) ||
        !SetupDiCallClassInstaller(DIF_REGISTERDEVICE, set, &device)) {
        printf("the root device could not be made: error %lu\n", GetLastError());
        return 1;
    }
    if (!UpdateDriverForPlugAndPlayDevicesA(NULL, "duodesk_testbus", inf, INSTALLFLAG_FORCE, &reboot)) {
        printf("the driver could not be installed from %s: error %lu\n", inf, GetLastError());
        return 1;
    }
    SetupDiDestroyDeviceInfoList(set);
    while ((bus = open_bus()) == INVALID_HANDLE_VALUE) {
        if ((LONG)(GetTickCount() - deadline) >= 0) {
            printf("the bus device did not open within %lus: error %lu\n", seconds, GetLastError());
            return 1;
        }
        Sleep(100);
    }
    CloseHandle(bus);
    printf("installed\n");
    return 0;
}

/* The path of the first present USB device interface whose path contains the id, or "" for none. */
static void find_interface(const char* id, char* path, DWORD path_size) {
    SP_DEVICE_INTERFACE_DATA iface;
    char buffer[sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) + MAX_PATH];
    SP_DEVICE_INTERFACE_DETAIL_DATA_A* detail = (SP_DEVICE_INTERFACE_DETAIL_DATA_A*)buffer;
    HDEVINFO set = SetupDiGetClassDevsA(&usb_device_class, NULL, NULL, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    DWORD i;

    ZeroMemory(&iface, sizeof(iface));
    iface.cbSize = sizeof(iface);
    path[0] = 0;
    if (set == INVALID_HANDLE_VALUE)
        return;
    for (i = 0; SetupDiEnumDeviceInterfaces(set, NULL, &usb_device_class, i, &iface); ++i) {
        char upper_path[MAX_PATH], upper_id[TESTBUS_ID_CHARS];
        detail->cbSize = sizeof(*detail);
        if (!SetupDiGetDeviceInterfaceDetailA(set, &iface, detail, sizeof(buffer), NULL, NULL))
            continue;
        lstrcpynA(upper_path, detail->DevicePath, sizeof(upper_path));
        lstrcpynA(upper_id, id, sizeof(upper_id));
        CharUpperA(upper_path);
        CharUpperA(upper_id);
        if (strstr(upper_path, upper_id)) {
            lstrcpynA(path, detail->DevicePath, path_size);
            break;
        }
    }
    SetupDiDestroyDeviceInfoList(set);
}

static int wait_interface(const char* id, BOOL present, DWORD seconds) {
    DWORD deadline = GetTickCount() + seconds * 1000;
    char path[MAX_PATH];

    for (;;) {
        find_interface(id, path, sizeof(path));
        if ((path[0] != 0) == present) {
            printf("%s\n", present ? path : "gone");
            return 0;
        }
        if ((LONG)(GetTickCount() - deadline) >= 0) {
            printf("%s\n", present ? "no such interface" : path);
            return 1;
        }
        Sleep(100);
    }
}

/* The arrival record, read as the ANSI record the registration asked for, or as the wide one. */
static LRESULT CALLBACK watch_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_DEVICECHANGE && wparam == DBT_DEVICEARRIVAL && lparam) {
        const DEV_BROADCAST_DEVICEINTERFACE_A* record = (const DEV_BROADCAST_DEVICEINTERFACE_A*)lparam;
        const char* id = (const char*)GetWindowLongPtrA(window, GWLP_USERDATA);
        char path[MAX_PATH], upper_id[TESTBUS_ID_CHARS];
        BOOL wide = record->dbcc_name[0] && !record->dbcc_name[1];

        if (record->dbcc_devicetype != DBT_DEVTYP_DEVICEINTERFACE)
            return TRUE;
        if (wide)
            WideCharToMultiByte(CP_ACP, 0, (const WCHAR*)record->dbcc_name, -1, path, sizeof(path), NULL,
                                NULL);
        else
            lstrcpynA(path, record->dbcc_name, sizeof(path));
        lstrcpynA(upper_id, id, sizeof(upper_id));
        CharUpperA(upper_id);
        CharUpperA(path);
        if (strstr(path, upper_id)) {
            printf("arrival %s %lu %s\n", wide ? "wide" : "ansi", record->dbcc_size, path);
            PostQuitMessage(0);
        }
        return TRUE;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

static int watch_plug(const char* id, DWORD seconds) {
    DEV_BROADCAST_DEVICEINTERFACE_A filter;
    WNDCLASSA window_class;
    HWND window;
    MSG message;

    ZeroMemory(&window_class, sizeof(window_class));
    window_class.lpfnWndProc = watch_proc;
    window_class.lpszClassName = "testbus-watch";
    RegisterClassA(&window_class);
    window = CreateWindowExA(0, "testbus-watch", "testbus-watch", 0, 0, 0, 0, 0, NULL, NULL, NULL, NULL);
    SetWindowLongPtrA(window, GWLP_USERDATA, (LONG_PTR)id);
    ZeroMemory(&filter, sizeof(filter));
    filter.dbcc_size = sizeof(filter);
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = usb_device_class;
    if (!window || !RegisterDeviceNotificationA(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE)) {
        printf("no registration: error %lu\n", GetLastError());
        return 1;
    }
    if (request(IOCTL_TESTBUS_PLUG, id, (DWORD)strlen(id) + 1, NULL, 0, NULL))
        return 1;
    SetTimer(window, 1, seconds * 1000, NULL);
    while (GetMessageA(&message, NULL, 0, 0)) {
        if (message.message == WM_TIMER) {
            printf("no arrival within %lus\n", seconds);
            return 1;
        }
        DispatchMessageA(&message);
    }
    return 0;
}

static DWORD polls(const char* text) {
    return strcmp(text, "never") ? strtoul(text, NULL, 10) : ~0u;
}

int main(int argc, char** argv) {
    const char* verb = argc > 1 ? argv[1] : "";

    if (argc == 4 && !strcmp(verb, "install"))
        return install(argv[2], strtoul(argv[3], NULL, 10));
    if (argc == 3 && !strcmp(verb, "plug"))
        return request(IOCTL_TESTBUS_PLUG, argv[2], (DWORD)strlen(argv[2]) + 1, NULL, 0, NULL);
    if (argc == 3 && !strcmp(verb, "unplug"))
        return request(IOCTL_TESTBUS_UNPLUG, argv[2], (DWORD)strlen(argv[2]) + 1, NULL, 0, NULL);
    if (argc == 4 && !strcmp(verb, "ready")) {
        DWORD words[2] = {polls(argv[2]), polls(argv[3])};
        return request(IOCTL_TESTBUS_READY, words, sizeof(words), NULL, 0, NULL);
    }
    if (argc == 2 && !strcmp(verb, "log")) {
        static char text[32768];
        DWORD got = 0;
        int rc = request(IOCTL_TESTBUS_LOG, NULL, 0, text, sizeof(text), &got);
        fwrite(text, 1, got, stdout);
        return rc;
    }
    if (argc == 5 && !strcmp(verb, "interface") && (!strcmp(argv[3], "present") || !strcmp(argv[3], "gone")))
        return wait_interface(argv[2], !strcmp(argv[3], "present"), strtoul(argv[4], NULL, 10));
    if (argc == 4 && !strcmp(verb, "watch-plug"))
        return watch_plug(argv[2], strtoul(argv[3], NULL, 10));
    fprintf(stderr, "usage: testbus-ctl install INF SECONDS | plug ID | unplug ID | ready N M | log |"
                    " interface ID present|gone SECONDS | watch-plug ID SECONDS\n");
    return 2;
}
