// What the LED panel calls when the user clicks one of its lamps: the dialog that owns the panel
// switches that LED of its board.
#pragma once

#include <cstdint>

namespace plandrel {

class IPhysicalLedSwitching {
public:
    virtual void SwitchLed(std::uint8_t led, int on) = 0;

protected:
    ~IPhysicalLedSwitching() = default;
};

}  // namespace plandrel
