// The board-level control codes of the PCI board: slot, card type and configuration, bridge
// registers, register reads and writes by byte offset, software reset and the serial EEPROM.
#include <cstring>

#include "board.h"
#include "fdb_ioctl.h"

namespace ambrix {

namespace {

using fullfip2::Completion;
using fullfip2::failed;
namespace nt = fullfip2::nt;

constexpr ULONG kEepromWords = 96;  // what the 193- and 194-byte buffers hold

ULONG readRange(Extension& b, int range, ULONG offset) {
    return READ_REGISTER_ULONG(reinterpret_cast<volatile ULONG*>(b.ranges[range].base + offset));
}
void writeRange(Extension& b, int range, ULONG offset, ULONG value) {
    WRITE_REGISTER_ULONG(reinterpret_cast<volatile ULONG*>(b.ranges[range].base + offset), value);
}
ULONG control(Extension& b) { return readRange(b, 0, bridge::kControl); }
void setControl(Extension& b, ULONG value) { writeRange(b, 0, bridge::kControl, value); }

// Waits about n x 10 µs on the system tick count, at least one tick: until the count has advanced
// by more than the ticks. The count moves only once a tick, so where the level allows a wait the
// thread sleeps until the tick that ends the stall instead of polling the count for tens of
// milliseconds; the stall still ends on the same tick.
void stall(ULONG n) {
    const ULONG increment = KeQueryTimeIncrement();
    const ULONGLONG t = static_cast<ULONGLONG>(increment) * 100;
    const ULONGLONG ticks = t < n ? n / t : 1;
    const bool maySleep = KeGetCurrentIrql() <= APC_LEVEL;
    LARGE_INTEGER start, now;
    KeQueryTickCount(&start);
    for (;;) {
        KeQueryTickCount(&now);
        if (static_cast<ULONGLONG>(now.QuadPart - start.QuadPart) > ticks) return;
        if (!maySleep) continue;
        const ULONGLONG end = (static_cast<ULONGLONG>(start.QuadPart) + ticks + 1) * increment;
        const ULONGLONG at = KeQueryInterruptTime();
        if (end <= at) continue;
        LARGE_INTEGER interval;
        interval.QuadPart = -static_cast<LONGLONG>(end - at);
        KeDelayExecutionThread(KernelMode, FALSE, &interval);
    }
}

// Bit-banged serial EEPROM on the bridge's control register.
class Eeprom {
public:
    explicit Eeprom(Extension& b) : b_(b) {
        switch ((b.cardConf >> 16) & 3) {
        case 0: addressBits_ = 6; break;
        case 1: addressBits_ = 8; break;
        default: addressBits_ = 0; break;
        }
    }
    unsigned addressBits() const { return addressBits_; }

    UCHAR read(ULONG count, ULONG address, UCHAR* out) {
        stall(1);
        select(true);
        std::memset(out, 0, count * 2);
        sendBits(0b110, 3);
        sendBits(address, addressBits_);
        ULONG got = 0;
        if ((control(b_) & bridge::kDataOut) == 0) {
            for (; got < count * 2; ++got) {
                UCHAR byte = 0;
                for (int bit = 0; bit < 8; ++bit) {
                    pulse();
                    byte = static_cast<UCHAR>((byte << 1) | ((control(b_) & bridge::kDataOut) ? 1 : 0));
                }
                out[got] = byte;
            }
        }
        select(false);
        return static_cast<UCHAR>(got);
    }

    UCHAR write(ULONG count, ULONG address, const UCHAR* words) {
        writeEnable();
        for (ULONG w = 0; w < count; ++w) {
            stall(1);
            select(true);
            sendBits(0b101, 3);
            sendBits(address + w, addressBits_);
            sendBits(words[2 * w], 8);
            sendBits(words[2 * w + 1], 8);
            select(false);
            stall(1);
            select(true);
            // The EEPROM raises its data line when the write is done; a silent chip ends the wait.
            for (int polls = 0; polls < 100000 && (control(b_) & bridge::kDataOut) == 0; ++polls) {
            }
            select(false);
        }
        writeEnable();
        return static_cast<UCHAR>(count * 2);
    }

private:
    void select(bool on) {
        const ULONG c = control(b_) & ~(bridge::kClock | bridge::kDataIn);
        setControl(b_, on ? (c | bridge::kChipSelect) : (c & ~bridge::kChipSelect));
    }
    void setClock(bool high) {
        const ULONG c = control(b_);
        setControl(b_, high ? (c | bridge::kClock) : (c & ~bridge::kClock));
    }
    void pulse() {
        setClock(false);
        setClock(true);
        setClock(false);
    }
    void sendBit(bool one) {
        const ULONG c = control(b_);
        setControl(b_, one ? (c | bridge::kDataIn) : (c & ~bridge::kDataIn));
        pulse();
    }
    void sendBits(ULONG value, unsigned count) {
        for (unsigned i = count; i > 0; --i) sendBit(((value >> (i - 1)) & 1) != 0);
    }
    void writeEnable() {
        stall(1);
        select(true);
        sendBits(0b100110000, 9);
        select(false);
    }

    Extension& b_;
    unsigned addressBits_;
};

Completion putU32(ULONG outLength, UCHAR* buffer, ULONG value) {
    if (outLength < 4) return failed(nt::kInvalidParameter);
    std::memcpy(buffer, &value, 4);
    return {nt::kSuccess, 4};
}

// A byte offset into a range with a whole 32-bit register inside it (no 32-bit wrap).
bool inRange(const Extension& b, int range, ULONG offset) {
    return static_cast<ULONGLONG>(offset) + 4 <= b.ranges[range].length && b.ranges[range].mapped;
}

Completion readRegister(Extension& b, int range, ULONG in, ULONG out, UCHAR* buffer) {
    if (in != 4 || out != 4) return failed(nt::kInvalidParameter);
    ULONG offset;
    std::memcpy(&offset, buffer, 4);
    if (!inRange(b, range, offset)) return failed(nt::kInvalidParameter);
    return putU32(out, buffer, readRange(b, range, offset));
}

Completion writeRegister(Extension& b, int range, ULONG in, UCHAR* buffer) {
    if (in != 8) return failed(nt::kInvalidParameter);
    ULONG offset, value;
    std::memcpy(&offset, buffer, 4);
    std::memcpy(&value, buffer + 4, 4);
    if (!inRange(b, range, offset)) return failed(nt::kInvalidParameter);
    writeRange(b, range, offset, value);
    return {nt::kSuccess, 0};
}

Completion eepromKind(Extension& b, ULONG out, UCHAR* buffer) {
    ULONG kind = 0;
    if (control(b) & bridge::kEepromPresent) kind = (b.subsystemVendor != 0 || b.subsystem != 0) ? 3 : 1;
    return putU32(out, buffer, kind);
}

Completion dumpBridge(Extension& b, ULONG out, UCHAR* buffer) {
    if (out < bridge::kDumpCount * 4) return {nt::kSuccess, 0};
    ULONG values[bridge::kDumpCount];
    for (ULONG i = 0; i < bridge::kDumpCount; ++i) values[i] = inRange(b, 0, i * 4) ? readRange(b, 0, i * 4) : 0;
    std::memcpy(buffer, values, sizeof values);
    return {nt::kSuccess, sizeof values};
}

Completion reset(Extension& b) {
    setControl(b, control(b) | bridge::kReset);
    stall(1000000);
    setControl(b, control(b) & ~bridge::kReset);
    return {nt::kSuccess, 0};
}

Completion readEeprom(Extension& b, ULONG in, ULONG out, UCHAR* buffer) {
    if (in != 2 || out != 1 + 2 * kEepromWords) return failed(nt::kInvalidParameter);
    const ULONG count = buffer[0], address = buffer[1];
    if (count > kEepromWords) return failed(nt::kInvalidParameter);
    UCHAR words[2 * kEepromWords];
    const UCHAR result = Eeprom(b).read(count, address, words);
    std::memset(buffer, 0, out);
    buffer[0] = result;
    std::memcpy(buffer + 1, words, count * 2);
    return {nt::kSuccess, out};
}

Completion writeEeprom(Extension& b, ULONG in, ULONG out, UCHAR* buffer) {
    if (in != 2 + 2 * kEepromWords || out != 1) return failed(nt::kInvalidParameter);
    const ULONG count = buffer[0], address = buffer[1];
    if (count > kEepromWords) return failed(nt::kInvalidParameter);
    UCHAR words[2 * kEepromWords];
    std::memcpy(words, buffer + 2, count * 2);
    buffer[0] = Eeprom(b).write(count, address, words);
    return {nt::kSuccess, 1};
}

Completion serialNumber(Extension& b, ULONG out, UCHAR* buffer) {
    if (out != 4) return failed(nt::kInvalidParameter);
    Eeprom eeprom(b);
    UCHAR bytes[4] = {};
    if (eeprom.addressBits() != 0) eeprom.read(2, eeprom.addressBits() == 6 ? 62 : 94, bytes);
    std::memcpy(buffer, bytes, 4);
    return {nt::kSuccess, 4};
}

}  // namespace

fullfip2::Completion runControl(Extension& b, ULONG code, ULONG in, ULONG out, UCHAR* buffer) {
    switch (code) {
    case fdb::IOCTL_GET_PCI_SLOT: return putU32(out, buffer, b.slot);
    case fdb::IOCTL_FDB_GET_CARD_TYPE: return putU32(out, buffer, 0);
    case fdb::IOCTL_UNSUPPORTED_6000:
        return failed(out < 4 ? nt::kInvalidParameter : nt::kNotSupported);
    case fdb::IOCTL_GET_EEPROM_KIND: return eepromKind(b, out, buffer);
    case fdb::IOCTL_DUMP_BRIDGE_REGISTERS: return dumpBridge(b, out, buffer);
    case fdb::IOCTL_FULLFIP2_READ_REGISTERS: return readRegister(b, 1, in, out, buffer);
    case fdb::IOCTL_FIELDUAL_READ_REGISTER: return readRegister(b, 2, in, out, buffer);
    case fdb::IOCTL_FULLFIP2_WRITE_REGISTERS: return writeRegister(b, 1, in, buffer);
    case fdb::IOCTL_WRITE_CONTROL_REGISTER: return writeRegister(b, 0, in, buffer);
    case fdb::IOCTL_FIELDUAL_WRITE_REGISTER: return writeRegister(b, 2, in, buffer);
    case fdb::IOCTL_FULLFIP2_RESET: return reset(b);
    case fdb::IOCTL_RELOAD_CONFIGURATION:
        setControl(b, control(b) | bridge::kReload);
        return {nt::kSuccess, 0};
    case fdb::IOCTL_READ_EEPROM: return readEeprom(b, in, out, buffer);
    case fdb::IOCTL_WRITE_EEPROM: return writeEeprom(b, in, out, buffer);
    case fdb::IOCTL_GET_SERIAL_NUMBER: return serialNumber(b, out, buffer);
    case fdb::IOCTL_GET_CARD_CONF:
        if (out != 4) return failed(nt::kInvalidParameter);
        return putU32(out, buffer, b.cardConf);
    case fdb::IOCTL_FDB_UNSUPPORTED_6400: return failed(nt::kNotSupported);
    default: break;
    }
    if (fullfip2::Handler handler = fullfip2::findHandler(code)) {
        MappedAccessor accessor(b);
        return handler(accessor, in, out, buffer);
    }
    return failed(static_cast<fullfip2::NtStatus>(0xC0000002));  // STATUS_NOT_IMPLEMENTED
}

std::uint8_t MappedAccessor::readFullfip(std::uint8_t reg) { return READ_REGISTER_UCHAR(board_.ranges[1].base + 4u * reg); }
void MappedAccessor::writeFullfip(std::uint8_t reg, std::uint8_t value) {
    WRITE_REGISTER_UCHAR(board_.ranges[1].base + 4u * reg, value);
}
std::uint8_t MappedAccessor::readFieldual(std::uint8_t reg) { return READ_REGISTER_UCHAR(board_.ranges[2].base + 4u * reg); }
void MappedAccessor::writeFieldual(std::uint8_t reg, std::uint8_t value) {
    WRITE_REGISTER_UCHAR(board_.ranges[2].base + 4u * reg, value);
}

}  // namespace ambrix
