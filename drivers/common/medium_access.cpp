// The FIELDUAL medium interface: one action on its registers, then the medium status byte.
#include <array>

#include "command_handlers.h"

namespace fullfip2 {
namespace {

enum class Action { None, Read, Write255 };
struct MediumOperation {
    Action action;
    std::uint8_t reg;
};

// Indexed by the operation byte.
constexpr std::array<MediumOperation, 8> kMediumOperations{{
    {Action::None, 0},      // 0: status only
    {Action::Read, 1},      // 1: clear transmission error
    {Action::Read, 2},      // 2: reset channel 1
    {Action::Read, 3},      // 3: reset channel 2
    {Action::Write255, 1},  // 4: enable channel 1
    {Action::Write255, 2},  // 5: enable channel 2
    {Action::Write255, 3},  // 6: enable channels 1 and 2
    {Action::Write255, 0},  // 7: test mode (loopback)
}};
constexpr std::uint8_t kMediumStatus = 0;

}  // namespace

Completion BASE_MEDIUM_ACCESS(RegisterAccessor& board, std::uint32_t inLength, std::uint32_t outLength,
                              std::uint8_t* buffer) {
    if (inLength != 1 || outLength != 1 || buffer[0] >= kMediumOperations.size()) return failed(nt::kInvalidParameter);
    const MediumOperation& operation = kMediumOperations[buffer[0]];
    switch (operation.action) {
    case Action::None: break;
    case Action::Read: (void)board.readFieldual(operation.reg); break;  // the read itself acts
    case Action::Write255: board.writeFieldual(operation.reg, 0xFF); break;
    }
    buffer[0] = board.readFieldual(kMediumStatus);
    return {nt::kSuccess, 1};
}

}  // namespace fullfip2
