// The FULLFIP2 command handlers: one per FIP command I/O control code (fdb_ioctl.h).
//
// Every handler takes the board's accessor, the request's input and output lengths and the one
// system buffer that holds the input on entry and the output on return (buffered transfer: the
// buffer is at least max(inLength, outLength) bytes). Every input byte a handler needs is read
// before it writes the output byte that overlays it. A handler returns the NT status and the
// number of output bytes, 0 on every failure; the caller serialises the handlers of one board.
// A time-out is returned as nt::kTimeout (258); completionStatus() turns it into the request's
// STATUS_IO_TIMEOUT.
#pragma once

#include <cstdint>

#include "register_accessor.h"
#include "transaction.h"

namespace fullfip2 {

using Handler = Completion (*)(RegisterAccessor& board, std::uint32_t inLength, std::uint32_t outLength,
                               std::uint8_t* buffer);

// Card memory pages.
Completion BASE_READ_PHY(RegisterAccessor&, std::uint32_t inLength, std::uint32_t outLength, std::uint8_t*);
Completion BASE_WRITE_PHY(RegisterAccessor&, std::uint32_t inLength, std::uint32_t outLength, std::uint8_t*);
Completion BASE_RAZ_MEM(RegisterAccessor&, std::uint32_t inLength, std::uint32_t outLength, std::uint8_t*);
// Variables and events.
Completion BASE_READ_VAR(RegisterAccessor&, std::uint32_t inLength, std::uint32_t outLength, std::uint8_t*);
Completion BASE_WRITE_VAR(RegisterAccessor&, std::uint32_t inLength, std::uint32_t outLength, std::uint8_t*);
Completion BASE_DEF_EVT(RegisterAccessor&, std::uint32_t inLength, std::uint32_t outLength, std::uint8_t*);
Completion BASE_READ_EVT(RegisterAccessor&, std::uint32_t inLength, std::uint32_t outLength, std::uint8_t*);
Completion BASE_IS_EVT(RegisterAccessor&, std::uint32_t inLength, std::uint32_t outLength, std::uint8_t*);
// Messages.
Completion BASE_RECEIVE_MSG(RegisterAccessor&, std::uint32_t inLength, std::uint32_t outLength, std::uint8_t*);
Completion BASE_READ_MSG(RegisterAccessor&, std::uint32_t inLength, std::uint32_t outLength, std::uint8_t*);
Completion BASE_WRITE_MSG(RegisterAccessor&, std::uint32_t inLength, std::uint32_t outLength, std::uint8_t*);
Completion BASE_SEND_MSG(RegisterAccessor&, std::uint32_t inLength, std::uint32_t outLength, std::uint8_t*);
Completion BASE_PURGE(RegisterAccessor&, std::uint32_t inLength, std::uint32_t outLength, std::uint8_t*);
// Communication start and the bus arbitrator.
Completion BASE_START_CIRCUIT(RegisterAccessor&, std::uint32_t inLength, std::uint32_t outLength, std::uint8_t*);
Completion BASE_END_TEST(RegisterAccessor&, std::uint32_t inLength, std::uint32_t outLength, std::uint8_t*);
Completion BASE_DEF_PARAM(RegisterAccessor&, std::uint32_t inLength, std::uint32_t outLength, std::uint8_t*);
Completion BASE_START_BA(RegisterAccessor&, std::uint32_t inLength, std::uint32_t outLength, std::uint8_t*);
Completion BASE_STOP_BA(RegisterAccessor&, std::uint32_t inLength, std::uint32_t outLength, std::uint8_t*);
Completion BASE_BA_REPORT(RegisterAccessor&, std::uint32_t inLength, std::uint32_t outLength, std::uint8_t*);
Completion BASE_CONTINUE_BA(RegisterAccessor&, std::uint32_t inLength, std::uint32_t outLength, std::uint8_t*);
Completion BASE_CHANGE_MACRO_BA(RegisterAccessor&, std::uint32_t inLength, std::uint32_t outLength, std::uint8_t*);
Completion BASE_SEND_APER(RegisterAccessor&, std::uint32_t inLength, std::uint32_t outLength, std::uint8_t*);
// The FIELDUAL medium interface (operation 0..7 in input byte 0).
Completion BASE_MEDIUM_ACCESS(RegisterAccessor&, std::uint32_t inLength, std::uint32_t outLength, std::uint8_t*);

// The handler of a FIP command code, or nullptr for a code the layer does not serve.
Handler findHandler(std::uint32_t code);

// The status a driver completes a request with: the wait's 258 becomes STATUS_IO_TIMEOUT, so that
// a time-out never reaches the caller as a success.
inline NtStatus completionStatus(NtStatus handlerStatus) {
    return handlerStatus == nt::kTimeout ? nt::kIoTimeout : handlerStatus;
}

}  // namespace fullfip2
