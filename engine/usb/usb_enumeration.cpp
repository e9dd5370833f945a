#include "usb_enumeration.h"

#include <algorithm>
#include <cstring>

#include "cy_usb_device.h"
#include "usb/d2xx.h"

namespace {

template <class Info>
boost::shared_ptr<Info> fresh() {
    return boost::shared_ptr<Info>(new Info);
}

void copyText(char (&out)[128], const std::string& text) {
    std::memset(out, 0, sizeof out);
    std::memcpy(out, text.data(), std::min(text.size(), sizeof out - 1));
}

// The text of a fixed-size field that the library may leave unterminated.
template <std::size_t N>
std::string fieldText(const char (&field)[N]) {
    return std::string(field, std::find(field, field + N, '\0'));
}

template <class List, class Pred>
List matching(const List& list, Pred pred) {
    List out;
    std::copy_if(list.begin(), list.end(), std::back_inserter(out), [&](const auto& info) { return pred(*info); });
    return out;
}

}  // namespace

CypInfoList cyp_device_list() {
    CypInfoList list;
    CCyUSBDevice device;
    const std::uint8_t n = device.CountInterfaces();
    for (std::uint8_t i = 0; i < n; ++i) {
        auto info = fresh<CUsbCypComInfo>();
        info->kind = CComInfo::KIND_BULK_USB;
        info->index = i;
        if (device.OpenDevice(i)) {
            info->busy = 0;
            info->vendor_id = device.VendorID;
            info->product_id = device.ProductID;
            info->description = device.DeviceName;
            info->usb3 = is_usb3(device.BcdUSB) ? 1 : 0;
            info->usb2 = info->usb3 ? 0 : 1;
            device.CloseDevice();
        } else {
            // In use elsewhere: still a board when its device path names one, so that it stays
            // listed with its used flag.
            info->busy = 1;
            device.InterfaceIds(i, info->vendor_id, info->product_id);
        }
        list.push_back(std::move(info));
    }
    return list;
}

FtdInfoList ftd2xx_device_list() {
    const qd2xx::Table lib = qd2xx::table();
    DWORD count = 0;
    if (lib.createDeviceInfoList(&count) != qd2xx::FT_OK || count == 0) return {};
    std::vector<qd2xx::DeviceListNode> nodes(std::min<DWORD>(count, kMaxUsbBoardRecords));
    DWORD fetched = static_cast<DWORD>(nodes.size());
    if (lib.getDeviceInfoList(nodes.data(), &fetched) != qd2xx::FT_OK) return {};
    fetched = std::min<DWORD>(fetched, static_cast<DWORD>(nodes.size()));
    FtdInfoList list;
    for (DWORD i = 0; i < fetched; ++i) {
        const qd2xx::DeviceListNode& node = nodes[i];
        auto info = fresh<CUsbFtd2xxComInfo>();
        info->flags = node.flags;
        info->type = node.type;
        info->id = node.id;
        info->location_id = node.locationId;
        info->serial_number = fieldText(node.serialNumber);
        info->description = fieldText(node.description);
        info->index = i;
        info->kind = CComInfo::KIND_FTDI;
        qd2xx::FT_HANDLE handle = nullptr;
        if (lib.open(static_cast<int>(i), &handle) != qd2xx::FT_OK) {
            info->busy = 1;
        } else {
            info->busy = 0;
            lib.close(handle);
        }
        list.push_back(std::move(info));
    }
    return list;
}

void enumerate_usb_boards(UsbBoardRecord* records, std::uint8_t& count) {
    count = 0;
    const FtdInfoList ftdi = ftd2xx_device_list();
    const CypInfoList bulk = cyp_device_list();
    auto put = [&](const CComInfo& info) {
        if (count < kMaxUsbBoardRecords) flatten_device_info(info, records[count++]);
    };
    for (const auto& info : ftdi) put(*info);
    for (const auto& info : bulk) put(*info);
}

void flatten_device_info(const CComInfo& info, UsbBoardRecord& out) {
    copyText(out.serial_number, info.serial_number);
    copyText(out.description, info.description);
    out.index = info.index;
    out.busy = info.busy;
    out.kind = info.kind;
    const auto* bulk = dynamic_cast<const CUsbCypComInfo*>(&info);
    out.vendor_id = bulk ? bulk->vendor_id : 0;
    out.product_id = bulk ? bulk->product_id : 0;
}

boost::shared_ptr<CUsbCypComInfo> cyp_info_by_index(std::uint32_t index) {
    const CypInfoList list = cyp_device_list();
    return index < list.size() ? list[index] : fresh<CUsbCypComInfo>();
}

boost::shared_ptr<CUsbFtd2xxComInfo> ftd2xx_info_by_index(std::uint32_t index) {
    const FtdInfoList list = ftd2xx_device_list();
    return index < list.size() ? list[index] : fresh<CUsbFtd2xxComInfo>();
}

// A bulk USB device's record carries no serial number (empty): only "" finds them.
CypInfoList cyp_info_by_serial(const std::string& serial) {
    return matching(cyp_device_list(), [&](const CComInfo& i) { return i.serial_number == serial; });
}

CypInfoList cyp_info_by_description(const std::string& description) {
    return matching(cyp_device_list(), [&](const CComInfo& i) { return i.description == description; });
}

FtdInfoList ftd2xx_info_by_serial(const std::string& serial) {
    return matching(ftd2xx_device_list(), [&](const CComInfo& i) { return i.serial_number == serial; });
}

FtdInfoList ftd2xx_info_by_description(const std::string& description) {
    return matching(ftd2xx_device_list(), [&](const CComInfo& i) { return i.description == description; });
}

FtdInfoList ftd2xx_info_by_id(std::uint32_t id) {
    return matching(ftd2xx_device_list(), [&](const CUsbFtd2xxComInfo& i) { return i.id == id; });
}

boost::shared_ptr<CUsbFtd2xxComInfo> ftd2xx_info_by_location(std::uint32_t location_id) {
    for (const auto& info : ftd2xx_device_list())
        if (info->location_id == location_id) return info;
    return fresh<CUsbFtd2xxComInfo>();
}
