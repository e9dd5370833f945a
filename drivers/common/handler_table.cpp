// The FIP command codes and their handlers.
#include <array>

#include "command_handlers.h"
#include "fdb_ioctl.h"

namespace fullfip2 {
namespace {

struct Entry {
    std::uint32_t code;
    Handler handler;
};

constexpr std::array kHandlers{
    Entry{fdb::IOCTL_READ_PHY, BASE_READ_PHY},
    Entry{fdb::IOCTL_WRITE_PHY, BASE_WRITE_PHY},
    Entry{fdb::IOCTL_FDB_FIP_RAZ_MEM, BASE_RAZ_MEM},
    Entry{fdb::IOCTL_FDB_START_CIRCUIT, BASE_START_CIRCUIT},
    Entry{fdb::IOCTL_FDB_END_TEST, BASE_END_TEST},
    Entry{fdb::IOCTL_FDB_READ_VAR, BASE_READ_VAR},
    Entry{fdb::IOCTL_FDB_WRITE_VAR, BASE_WRITE_VAR},
    Entry{fdb::IOCTL_FDB_DEF_PARAM, BASE_DEF_PARAM},
    Entry{fdb::IOCTL_FDB_START_BA, BASE_START_BA},
    Entry{fdb::IOCTL_FDB_STOP_BA, BASE_STOP_BA},
    Entry{fdb::IOCTL_FDB_BA_REPORT, BASE_BA_REPORT},
    Entry{fdb::IOCTL_FDB_CONTINUE_BA, BASE_CONTINUE_BA},
    Entry{fdb::IOCTL_FDB_CHANGE_MACRO_BA, BASE_CHANGE_MACRO_BA},
    Entry{fdb::IOCTL_FDB_DEF_EVT, BASE_DEF_EVT},
    Entry{fdb::IOCTL_FDB_RECEIVE_MSG, BASE_RECEIVE_MSG},
    Entry{fdb::IOCTL_FDB_READ_MSG, BASE_READ_MSG},
    Entry{fdb::IOCTL_FDB_WRITE_MSG, BASE_WRITE_MSG},
    Entry{fdb::IOCTL_FDB_SEND_MSG, BASE_SEND_MSG},
    Entry{fdb::IOCTL_FDB_PURGE, BASE_PURGE},
    Entry{fdb::IOCTL_FDB_READ_EVT, BASE_READ_EVT},
    Entry{fdb::IOCTL_FDB_SEND_APER, BASE_SEND_APER},
    Entry{fdb::IOCTL_FDB_IS_EVT, BASE_IS_EVT},
    Entry{fdb::IOCTL_FDB_MEDIUM_ACCESS, BASE_MEDIUM_ACCESS},
};
static_assert(kHandlers.size() == 23, "one handler per FIP command code");

}  // namespace

Handler findHandler(std::uint32_t code) {
    for (const Entry& entry : kHandlers) {
        if (entry.code == code) return entry.handler;
    }
    return nullptr;
}

}  // namespace fullfip2
