#include "transport_factory.h"

#include <mutex>

#include "usb_cyp_com.h"
#include "usb_ftd2xx_com.h"

namespace usb_transport {
namespace {

struct Makers {
    std::mutex mutex;
    Maker ftdi;
    Maker bulk;
};

Makers& makers() {
    static Makers& m = *new Makers;  // never destroyed: a board object may be made during exit
    return m;
}

Maker builtIn(std::int32_t kind) {
    if (kind == KIND_BULK_USB) return [] { return boost::shared_ptr<CAbstractCom>(new CUsbCypCom); };
    if (kind == KIND_FTDI) return [] { return boost::shared_ptr<CAbstractCom>(new CUsbFtd2xxCom); };
    return {};
}

}  // namespace

boost::shared_ptr<CAbstractCom> make(std::int32_t kind) {
    Maker maker;
    {
        Makers& m = makers();
        std::lock_guard lock(m.mutex);
        if (kind == KIND_FTDI) maker = m.ftdi;
        if (kind == KIND_BULK_USB) maker = m.bulk;
    }
    if (!maker) maker = builtIn(kind);
    return maker ? maker() : nullptr;
}

Maker install(std::int32_t kind, Maker maker) {
    Makers& m = makers();
    std::lock_guard lock(m.mutex);
    Maker* slot = kind == KIND_FTDI ? &m.ftdi : kind == KIND_BULK_USB ? &m.bulk : nullptr;
    if (!slot) return {};
    std::swap(*slot, maker);
    return maker;
}

}  // namespace usb_transport
