// The USB devices on the machine, as the board enumeration and the transports see them: the
// bulk USB devices of the USB device driver's class and the devices of the D2XX library, each
// described by a CComInfo record. A device that cannot be opened (in use) is listed busy.
#pragma once

#include <boost/shared_ptr.hpp>
#include <cstdint>
#include <string>
#include <vector>

#include "com_info.h"

struct CUsbCypComInfo : CComInfo {
    std::uint16_t vendor_id = 0;
    std::uint16_t product_id = 0;
    std::uint8_t usb3 = 0;  // bcdUSB bits 8 and 9 both set
    std::uint8_t usb2 = 0;
};

struct CUsbFtd2xxComInfo : CComInfo {
    std::uint32_t flags = 0;
    std::uint32_t type = 0;
    std::uint32_t id = 0;
    std::uint32_t location_id = 0;
};

using CypInfoList = std::vector<boost::shared_ptr<CUsbCypComInfo>>;
using FtdInfoList = std::vector<boost::shared_ptr<CUsbFtd2xxComInfo>>;

// The flattened record of a listed device.
struct UsbBoardRecord {
    char serial_number[128];
    char description[128];
    std::uint32_t index;
    std::uint8_t busy;
    std::uint8_t kind;
    std::uint16_t vendor_id;
    std::uint16_t product_id;
};

inline constexpr std::size_t kMaxUsbBoardRecords = 255;

// One record as the enumeration lists it: strings cut to 127 characters and zero-terminated,
// vendor and product of a bulk USB device (0 for the others).
void flatten_device_info(const CComInfo& info, UsbBoardRecord& out);

// FTDI devices first, then bulk USB devices, into `records` (room for kMaxUsbBoardRecords);
// `count` is the number written. Strings are cut to 127 characters and zero-terminated.
void enumerate_usb_boards(UsbBoardRecord* records, std::uint8_t& count);

CypInfoList cyp_device_list();
FtdInfoList ftd2xx_device_list();

// Lookups on a fresh list.
boost::shared_ptr<CUsbCypComInfo> cyp_info_by_index(std::uint32_t index);
boost::shared_ptr<CUsbFtd2xxComInfo> ftd2xx_info_by_index(std::uint32_t index);
CypInfoList cyp_info_by_serial(const std::string& serial);
CypInfoList cyp_info_by_description(const std::string& description);
FtdInfoList ftd2xx_info_by_serial(const std::string& serial);
FtdInfoList ftd2xx_info_by_description(const std::string& description);
FtdInfoList ftd2xx_info_by_id(std::uint32_t id);
boost::shared_ptr<CUsbFtd2xxComInfo> ftd2xx_info_by_location(std::uint32_t location_id);

// Bits 8 and 9 of bcdUSB both set: a USB 3.x device.
inline bool is_usb3(std::uint16_t bcd_usb) { return (bcd_usb & 0x0300) == 0x0300; }
