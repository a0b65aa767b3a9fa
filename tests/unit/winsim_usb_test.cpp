// The adapter's device channel as the simulated machine answers it.
#include <windows.h>
#include <setupapi.h>
#include <dbt.h>
#include <winioctl.h>

#include <gtest/gtest.h>

#include "machine.h"

#include <string>
#include <vector>

using namespace winsim;

namespace {

const GUID kUsbClass = {0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};
constexpr DWORD kDevReady = CTL_CODE(FILE_DEVICE_UNKNOWN, 0x851, METHOD_BUFFERED, FILE_ANY_ACCESS);
constexpr DWORD kSetMirror = CTL_CODE(FILE_DEVICE_UNKNOWN, 0x852, METHOD_BUFFERED, FILE_ANY_ACCESS);
const char* const kAdapterPath =
    "\\\\?\\usb#vid_5a1e&pid_7300#5&2a1c3b&0&1#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";

class UsbTest : public ::testing::Test {
protected:
    void SetUp() override {
        BeginTestProcess();
        Machine& m = M();
        UsbInterface other;
        other.path = "\\\\?\\usb#vid_046d&pid_c52b#6&1f&0&2#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
        m.usb.push_back(other);
        UsbInterface adapter;
        adapter.path = kAdapterPath;
        adapter.isAdapter = true;
        adapter.present = false;
        m.usb.push_back(adapter);
        m.adapter.declared = true;
        m.adapter.interfaceIndex = 1;
    }

    std::vector<std::string> PresentPaths() {
        std::vector<std::string> paths;
        HDEVINFO set =
            SetupDiGetClassDevsA(&kUsbClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
        SP_DEVICE_INTERFACE_DATA data{};
        data.cbSize = sizeof data;
        for (DWORD i = 0; SetupDiEnumDeviceInterfaces(set, nullptr, &kUsbClass, i, &data); ++i) {
            DWORD required = 0;
            EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailA(set, &data, nullptr, 0, &required, nullptr));
            EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
            std::vector<char> buffer(required);
            auto* detail = reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_A>(buffer.data());
            detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
            EXPECT_TRUE(SetupDiGetDeviceInterfaceDetailA(set, &data, detail, required, nullptr, nullptr));
            paths.push_back(detail->DevicePath);
        }
        EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_MORE_ITEMS));
        SetupDiDestroyDeviceInfoList(set);
        return paths;
    }

    DWORD Poll(HANDLE device) {
        DWORD word = 0, returned = 0;
        DeviceIoControl(device, kDevReady, nullptr, 0, &word, sizeof word, &returned, nullptr);
        return word;
    }
};

} // namespace

TEST_F(UsbTest, OnlyPresentInterfacesAreEnumeratedInTheirOrder) {
    EXPECT_EQ(PresentPaths().size(), 1u);
    PlugAdapter();
    std::vector<std::string> paths = PresentPaths();
    ASSERT_EQ(paths.size(), 2u);
    EXPECT_EQ(paths[1], kAdapterPath);
}

TEST_F(UsbTest, TheDriverBecomesReadyAfterItsPollsAndEachPlugInStartsOver) {
    M().adapter.readyAfter = 2;
    PlugAdapter();
    HANDLE device =
        CreateFileA(kAdapterPath, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    ASSERT_NE(device, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Poll(device), 0u);
    EXPECT_EQ(Poll(device), 0u);
    EXPECT_EQ(Poll(device), 1u);
    UnplugAdapter();
    DWORD word = 7;
    EXPECT_FALSE(DeviceIoControl(device, kDevReady, nullptr, 0, &word, sizeof word, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_DEVICE_NOT_CONNECTED));
    EXPECT_EQ(CreateFileA(kAdapterPath, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    PlugAdapter();
    HANDLE again = CreateFileA(kAdapterPath, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(Poll(again), 0u);
    EXPECT_EQ(M().driverLog.size(), 5u);
}

TEST_F(UsbTest, SetMirrorFailsTheConfiguredNumberOfTimesThenSwitches) {
    M().adapter.setMirrorFails = 2;
    PlugAdapter();
    HANDLE device = CreateFileA(kAdapterPath, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    DWORD on = 1;
    EXPECT_FALSE(DeviceIoControl(device, kSetMirror, &on, sizeof on, nullptr, 0, nullptr, nullptr));
    EXPECT_FALSE(DeviceIoControl(device, kSetMirror, &on, sizeof on, nullptr, 0, nullptr, nullptr));
    EXPECT_TRUE(DeviceIoControl(device, kSetMirror, &on, sizeof on, nullptr, 0, nullptr, nullptr));
    EXPECT_EQ(M().adapter.mirror, 1u);
    ASSERT_EQ(M().driverLog.back().input.size(), 4u);
}

TEST_F(UsbTest, UnplugNotifiesTheHandleRegistrationWithQueryThenCompleteAndTheClassWithComplete) {
    Window& window = NewWindowRecord("#32770", "KIVA 7300", 0);
    HWND hwnd = ToHwnd(window.handle);
    DEV_BROADCAST_DEVICEINTERFACE_A classFilter{};
    classFilter.dbcc_size = sizeof classFilter;
    classFilter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    classFilter.dbcc_classguid = kUsbClass;
    ASSERT_NE(RegisterDeviceNotificationA(hwnd, &classFilter, DEVICE_NOTIFY_WINDOW_HANDLE), nullptr);
    PlugAdapter();
    ASSERT_EQ(CurrentProcess().sent.size(), 1u);
    EXPECT_EQ(CurrentProcess().sent[0].wParam, WPARAM(DBT_DEVICEARRIVAL));
    auto* arrival =
        reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_A*>(CurrentProcess().sent[0].record.data());
    EXPECT_STREQ(arrival->dbcc_name, kAdapterPath);
    CurrentProcess().sent.clear();

    HANDLE device = CreateFileA(kAdapterPath, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    DEV_BROADCAST_HANDLE handleFilter{};
    handleFilter.dbch_size = sizeof handleFilter;
    handleFilter.dbch_devicetype = DBT_DEVTYP_HANDLE;
    handleFilter.dbch_handle = INVALID_HANDLE_VALUE;
    EXPECT_EQ(RegisterDeviceNotificationA(hwnd, &handleFilter, DEVICE_NOTIFY_WINDOW_HANDLE), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    handleFilter.dbch_handle = device;
    HDEVNOTIFY registration = RegisterDeviceNotificationA(hwnd, &handleFilter, DEVICE_NOTIFY_WINDOW_HANDLE);
    ASSERT_NE(registration, nullptr);

    UnplugAdapter();
    auto& sent = CurrentProcess().sent;
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0].wParam, WPARAM(DBT_DEVICEQUERYREMOVE));
    EXPECT_EQ(sent[1].wParam, WPARAM(DBT_DEVICEREMOVECOMPLETE));
    EXPECT_EQ(reinterpret_cast<DEV_BROADCAST_HANDLE*>(sent[1].record.data())->dbch_handle, device);
    EXPECT_EQ(sent[2].wParam, WPARAM(DBT_DEVICEREMOVECOMPLETE));
    EXPECT_EQ(reinterpret_cast<DEV_BROADCAST_HDR*>(sent[2].record.data())->dbch_devicetype,
              DWORD(DBT_DEVTYP_DEVICEINTERFACE));
    EXPECT_TRUE(UnregisterDeviceNotification(registration));
    EXPECT_FALSE(UnregisterDeviceNotification(registration));
}

// The query of an unplug still unanswered when the adapter comes back: the handle from before stays dead,
// and its registration hears of no later removal, as on Windows.
TEST_F(UsbTest, AHandleOpenedBeforeAnUnplugStaysDeadAfterAQuickReplugWhileTheQueryIsUnanswered) {
    Window& window = NewWindowRecord("#32770", "KIVA 7300", 0);
    PlugAdapter();
    HANDLE old = CreateFileA(kAdapterPath, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    DEV_BROADCAST_HANDLE filter{};
    filter.dbch_size = sizeof filter;
    filter.dbch_devicetype = DBT_DEVTYP_HANDLE;
    filter.dbch_handle = old;
    ASSERT_NE(RegisterDeviceNotificationA(ToHwnd(window.handle), &filter, DEVICE_NOTIFY_WINDOW_HANDLE),
              nullptr);
    UnplugAdapter();
    ASSERT_EQ(CurrentProcess().sent.size(), 2u); // the query and the completion, neither handled yet
    PlugAdapter();
    DWORD word = 7;
    EXPECT_FALSE(DeviceIoControl(old, kDevReady, nullptr, 0, &word, sizeof word, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_DEVICE_NOT_CONNECTED));
    HANDLE fresh = CreateFileA(kAdapterPath, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(Poll(fresh), 1u);
    CurrentProcess().sent.clear();
    UnplugAdapter();
    EXPECT_TRUE(CurrentProcess().sent.empty())
        << CurrentProcess().sent.size() << " messages for a dead handle";
}
