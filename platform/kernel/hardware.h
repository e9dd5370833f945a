// Hardware access: the seam between the kernel stand-in and the simulated machine (sim/).
//
// The machine attaches its boards' memory ranges (by physical address) and port ranges (by port
// number) here. Drivers never see these objects: MmMapIoSpace returns a token address that the
// register accessors (READ_REGISTER_UCHAR, WRITE_REGISTER_ULONG, ...) decode back to the range and
// offset; the token lies in an address range that is not mapped, so code that dereferences it
// directly faults. Port accessors (READ_PORT_UCHAR, WRITE_PORT_UCHAR) take the port number as the
// address, as on the platform.
//
// Contract: every access is a call on the owning range object, on the caller's thread; the range
// objects do their own locking. An access outside every attached range is a fault of the driver:
// the accessor reports it through qk::hw::faults() and reads as 0xFF bytes. An access that starts
// after a range's detach (or its mapping's unmap) has returned does not reach it; the last
// reference to a detached range may be dropped later, at the next access or the exit of a thread
// that used it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qk::hw {

class MemoryRange {
public:
    virtual ~MemoryRange() = default;
    virtual std::uint32_t length() const = 0;
    virtual std::uint8_t read8(std::uint32_t offset) = 0;
    virtual void write8(std::uint32_t offset, std::uint8_t value) = 0;
    // 32-bit accesses; the default composes four byte accesses little-endian.
    virtual std::uint32_t read32(std::uint32_t offset);
    virtual void write32(std::uint32_t offset, std::uint32_t value);
};

class PortRange {
public:
    virtual ~PortRange() = default;
    virtual std::uint32_t length() const = 0;
    virtual std::uint8_t read8(std::uint32_t offset) = 0;
    virtual void write8(std::uint32_t offset, std::uint8_t value) = 0;
};

void attachMemory(std::uint64_t physicalAddress, std::shared_ptr<MemoryRange> range);
void attachPorts(std::uint32_t firstPort, std::shared_ptr<PortRange> range);
void detachMemory(std::uint64_t physicalAddress);
void detachPorts(std::uint32_t firstPort);
void detachAll();

// Accesses that hit no range (and dereferences of unmapped tokens that reached an accessor).
std::vector<std::string> faults();
void clearFaults();

}  // namespace qk::hw
