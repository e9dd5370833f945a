// A simulated USB FIP board: its firmware behind the board's bulk pipes, over the card model and
// the FIELDUAL medium interface that the PCI and PC104 boards use.
//
// The firmware reassembles request frames from the bulk OUT byte stream (a frame may come in
// several transfers, several frames in one), checks the CRC of 0x91 frames, and answers each
// request with one reply "80 SW LEN data" (0x81 with a CRC when the request had one). Requests:
//   read by ID (0x11)   identifier 3 the RGB LED colour, 4 the serial number and 5 the information
//                       word (four bytes, least significant first), 6 the firmware version (2 bytes)
//   write by ID (0x21)  identifier 3: the RGB LED colour (low three bits of the first byte)
//   reset (0x30)        board reset (the card's, as the controller's hardware reset)
//   set mode, get mode  the board mode byte (2 at power-on)
//   exec by ID (0x40)   P1 1, P2 a card command byte with its input, 16-bit values high byte
//                       first; the reply data is the controller state (USTATE: bit 5 an event is
//                       pending), then the command's status byte and output, as the drivers'
//                       FULLFIP2 transactions give them; 0xCA is END_TEST, 0xCC clears card memory,
//                       0x50 is a medium operation, 0xCB the controller state alone.
// A bad CLA, a wrong CRC, a P1 other than 1 and an unknown identifier or request code are answered
// with the status words of the wire protocol. When the card's event-pending state rises, the
// firmware sends an event frame (ID 1, SW 0xA000, the controller state as data) after its reply.
//
// Thread-safe: one lock for the firmware; chunks reach the host under it, so none arrives after
// close() has returned. Delayed frames leave from a thread of the board's own.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <random>
#include <span>
#include <thread>
#include <vector>

#include "sim/boards/board_config.h"
#include "sim/card/card_model.h"
#include "sim/chips/access_trace.h"
#include "sim/chips/fielddual.h"
#include "usb/usb_devices.h"

namespace sim {

// Misbehaviour on demand (tests).
struct UsbFirmwareFaults {
    bool silent = false;        // requests are taken and never answered
    bool holdReplies = false;   // replies wait for releaseHeldReplies()
    std::size_t chunkBytes = 0; // the byte stream to the host leaves in chunks of this size (0: whole frames)
    bool fillers = false;       // a filler byte 0xFF after every frame, in the same chunk
    // A slow board: every frame to the host leaves a time drawn in [replyDelayMin, replyDelayMax]
    // after it was made (a fixed sequence of draws), never before the frame made before it.
    std::chrono::milliseconds replyDelayMin{0};
    std::chrono::milliseconds replyDelayMax{0};
    // Lost replies: this many next replies are never sent, their requests being carried out.
    std::size_t loseReplies = 0;
};

class UsbBoard final : public qusb::UsbDevice {
public:
    explicit UsbBoard(UsbBoardConfig config);
    ~UsbBoard() override;

    const UsbBoardConfig& config() const { return config_; }
    CardModel& card() { return card_; }
    Fielddual& medium() { return medium_; }
    AccessTrace& trace() { return trace_; }

    // qusb::UsbDevice
    qusb::DeviceIdentity identity() const override;
    bool open(qusb::Receiver receiver) override;
    void close() override;
    bool isOpen() const override;
    bool bulkOut(std::span<const std::uint8_t> bytes) override;

    void setFaults(UsbFirmwareFaults faults);
    // Sends the replies held so far, oldest first.
    void releaseHeldReplies();
    // Sends bytes to the host as they stand, in one chunk (damaged frames, garbage).
    void sendRaw(std::span<const std::uint8_t> bytes);
    void sendEvent(std::uint8_t id, std::uint16_t sw, std::span<const std::uint8_t> data);

    std::uint8_t rgbLed() const;
    std::uint8_t boardMode() const;
    // Request frames as the firmware cut them from the stream, oldest first (the last 1024).
    std::vector<std::vector<std::uint8_t>> requests() const;
    void clearRequests();

private:
    using Bytes = std::vector<std::uint8_t>;
    void serve(const Bytes& frame);
    Bytes readById(std::uint8_t id, std::uint16_t& sw) const;
    Bytes execById(std::uint8_t command, std::span<const std::uint8_t> data);
    std::uint8_t controllerState() const;
    void reply(std::uint16_t sw, std::span<const std::uint8_t> data, bool crc);
    void toHost(Bytes frame);
    void send(std::span<const std::uint8_t> bytes);
    void runCourier();  // sends the delayed frames when they are due

    const UsbBoardConfig config_;
    AccessTrace trace_;
    CardModel card_;
    Fielddual medium_;

    mutable std::mutex mutex_;
    qusb::Receiver receiver_;
    UsbFirmwareFaults faults_;
    Bytes pending_;  // bytes of a request frame not complete yet
    std::deque<Bytes> held_;
    std::deque<std::pair<std::chrono::steady_clock::time_point, Bytes>> delayed_;  // oldest first
    std::chrono::steady_clock::time_point lastDue_{};
    std::minstd_rand delays_{0x5EED};
    std::thread courier_;  // started by the first delayed frame
    std::condition_variable courierWake_;
    bool courierStop_ = false;
    std::vector<Bytes> requests_;
    std::uint8_t rgb_ = 0;
    std::uint8_t mode_ = 2;
    std::uint8_t eventCounter_ = 0;
    bool eventWasPending_ = false;
};

}  // namespace sim
