// The transports of the USB board object, by kind: 0 FTDI, 1 bulk USB.
//
// Kind 1 is the bulk USB transport (CUsbCypCom, through the USB device driver), kind 0 the FTDI
// transport (CUsbFtd2xxCom, through the D2XX library). A test plugs a transport of its own for a
// kind here (the in-process link transport CUsbLinkCom, or a scripted one). Process-wide, one lock; a board object takes its transport at construction.
#pragma once

#include <boost/shared_ptr.hpp>
#include <cstdint>
#include <functional>

#include "abstract_com.h"

namespace usb_transport {

using Maker = std::function<boost::shared_ptr<CAbstractCom>()>;

inline constexpr std::int32_t KIND_FTDI = 0;
inline constexpr std::int32_t KIND_BULK_USB = 1;

// A new transport of `kind`, or null when the kind has none.
boost::shared_ptr<CAbstractCom> make(std::int32_t kind);
// Installs the maker of a kind (an empty maker restores the built-in one); returns the previous.
Maker install(std::int32_t kind, Maker maker);

}  // namespace usb_transport
