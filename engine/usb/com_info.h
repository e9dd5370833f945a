// The description of one USB device: what the enumeration lists and what a transport keeps of the
// device it opened.
#pragma once

#include <cstdint>
#include <string>

struct CComInfo {
    static constexpr std::uint8_t KIND_FTDI = 0;
    static constexpr std::uint8_t KIND_BULK_USB = 1;
    static constexpr std::uint8_t KIND_NONE = 255;

    virtual ~CComInfo() = default;

    std::string serial_number;  // FTDI devices only
    std::string description;
    std::uint32_t index = 0;   // position in its kind's list, the index that open takes
    std::uint8_t busy = 0;     // 1: opened by someone (a transport sets it on its own record)
    std::uint8_t kind = KIND_NONE;
};
