// Device notifications of the USB device class: a window given at construction hears the boards
// of the driver's class arrive and leave, and the removal of the board it has open; registrations
// that cannot be closed are reported, not thrown.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "base/debug_output.h"
#include "stack_fixture.h"
#include "usb/cy_usb_device.h"
#include "usb/usb_devices.h"
#include "usb_fake_device.h"
#include "win32/device_notify.h"
#include "win32/testing.h"

namespace corvix::testing {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

struct Notice {
    HANDLE window;
    DWORD event;
    DWORD type;
    std::string path;       // interface notices
    HANDLE handle;          // handle notices
};

std::mutex noticesMutex;
std::vector<Notice> notices;

// The window layer's part: what the platform sends to the windows.
void recordNotice(HANDLE window, UINT message, ULONG_PTR wParam, std::intptr_t lParam) {
    if (message != WM_DEVICECHANGE) return;
    const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam);
    Notice n{window, static_cast<DWORD>(wParam), header->dbch_devicetype, {}, nullptr};
    if (n.type == DBT_DEVTYP_DEVICEINTERFACE)
        n.path = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_A*>(header)->dbcc_name;
    else
        n.handle = reinterpret_cast<const DEV_BROADCAST_HANDLE*>(header)->dbch_handle;
    std::lock_guard lock(noticesMutex);
    notices.push_back(n);
}

// What `window` heard since the last call: "+path" arrivals, "-path" removals, "-handle" the
// removal of its open board.
std::vector<std::string> heard(HANDLE window, HANDLE openHandle = nullptr) {
    std::lock_guard lock(noticesMutex);
    std::vector<std::string> out;
    for (const Notice& n : notices) {
        if (n.window != window) continue;
        const std::string sign = n.event == DBT_DEVICEARRIVAL ? "+" : n.event == DBT_DEVICEREMOVECOMPLETE ? "-" : "?";
        if (n.type == DBT_DEVTYP_DEVICEINTERFACE) {
            // "\\?\ulmrix#vid_....&pid_....#<position>#{class}": the part between the first and third '#'.
            const std::size_t first = n.path.find('#');
            const std::size_t third = n.path.find('#', n.path.find('#', first + 1) + 1);
            out.push_back(sign + n.path.substr(first + 1, third - first - 1));
        } else {
            out.push_back(sign + (n.handle == openHandle ? "handle" : "other handle"));
        }
    }
    notices.clear();
    return out;
}

const HANDLE kWindow = reinterpret_cast<HANDLE>(0x5150);
const HANDLE kOtherWindow = reinterpret_cast<HANDLE>(0x5151);

class UsbNotifications : public EngineOnMachine {
protected:
    void SetUp() override {
        boot(sim::MachineDescription{});
        previous_ = qwin32::setWindowMessageSender(recordNotice);
        heard(kWindow);
    }
    void TearDown() override {
        qwin32::testing::setUnregisterDeviceNotificationFails(false);
        qusb::detachAll();
        qwin32::setWindowMessageSender(previous_);
        EngineOnMachine::TearDown();
    }
    std::shared_ptr<FakeUsbDevice> attach(qusb::DeviceIdentity id) {
        auto device = std::make_shared<FakeUsbDevice>(std::move(id));
        qusb::attach(device);
        return device;
    }

    qwin32::WindowMessageSender previous_ = nullptr;
};

TEST_F(UsbNotifications, AWindowHearsBoardsArriveAndLeaveAndItsOpenBoardGo) {
    auto first = attach(boardIdentity());
    CCyUSBDevice silent;  // no window: hears nothing
    {
        CCyUSBDevice device(kWindow, CYUSBDRV_GUID, true);
        ASSERT_TRUE(device.IsOpen()) << "device 0 opened at construction";
        const HANDLE opened = device.DeviceHandle();
        auto second = attach({0x1234, 0x0001, 0x0200, "Other device"});
        EXPECT_THAT(heard(kWindow), ElementsAre("+vid_1234&pid_0001#1"));

        qusb::detach(first.get());
        EXPECT_THAT(heard(kWindow, opened), ElementsAre("-handle", "-vid_04b4&pid_5701#0"))
            << "the open board's removal first, then the class's";

        EXPECT_TRUE(device.CloseDevice());
        auto third = attach(boardIdentity());
        EXPECT_THAT(heard(kWindow), ElementsAre("+vid_04b4&pid_5701#1")) << "arrivals are heard after a close";
        qusb::detach(second.get());
        EXPECT_THAT(heard(kWindow), ElementsAre("-vid_1234&pid_0001#0")) << "no board open: no handle notice";
    }
    attach(boardIdentity());
    EXPECT_THAT(heard(kWindow), IsEmpty()) << "the destroyed object's window hears nothing more";
}

TEST_F(UsbNotifications, RegistrationsThatCannotBeClosedAreReportedNotThrown) {
    attach(boardIdentity());
    qbase::debug::clearCaptured();
    {
        CCyUSBDevice device(kOtherWindow, CYUSBDRV_GUID, true);
        ASSERT_TRUE(device.IsOpen());
        qwin32::testing::setUnregisterDeviceNotificationFails(true);
        EXPECT_TRUE(device.CloseDevice()) << "the device closes all the same";
        EXPECT_FALSE(device.IsOpen());
        EXPECT_THAT(qbase::debug::captured(), Contains(HasSubstr("Failed to close the handle notification handle.")));
        EXPECT_TRUE(device.OpenDevice(0)) << "and opens again";
    }
    const auto lines = qbase::debug::captured();
    EXPECT_THAT(lines, Contains(HasSubstr("Failed to close the device notification handle.")));
    heard(kOtherWindow);
}

}  // namespace
}  // namespace corvix::testing
