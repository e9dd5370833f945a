#include "card_layout.h"

#include <algorithm>

#include "record_bytes.h"

namespace corvix::download {
namespace {

// GENERAL_PARAM offsets.
constexpr int kSpeed = 2, kSlotTime = 4, kTurnaround = 6, kSilence = 8, kMessageTableSize = 10,
              kVariableTableSize = 12, kBaSize = 14, kElectionCount = 18, kStartDelay = 22, kClockMultiplier = 26,
              kFrameType = 27;
// VARIABLE4 offsets.
constexpr int kIdentifier = 0, kPduType = 68, kLength = 70, kChannel = 72, kDirection = 112,
              kRefreshmentStatus = 113, kPromptnessStatus = 114, kFlags = 115, kRefreshmentPeriod = 116,
              kPromptnessPeriod = 118;
// MESSAGE4 offset.
constexpr int kTransmitted = 78;

constexpr std::uint8_t kFlagReceivesMessages = 0x01, kFlagMessageChannel = 0x02, kFlagAperiodicRequests = 0x40;

// The timing factor x 20, by slot time (row) and bit rate (column), so that products stay exact.
constexpr int kTimingRows = 4, kTimingColumns = 3;
constexpr int kTimingFactor20[kTimingRows][kTimingColumns] = {
    {200, 320, 400},  // 10, 16, 20
    {50, 80, 100},    // 2.5, 4, 5
    {20, 32, 40},     // 1, 1.6, 2
    {5, 8, 10},       // 0.25, 0.4, 0.5
};

int baPages(const std::uint8_t* header) { return grantsBaMemory(header) ? 64 : 10; }  // B

std::uint16_t w16(long value) { return static_cast<std::uint16_t>(value); }

// Transmitted as the message keys count it (byte 78 equal to 1), so that the entry of each message's
// buffer descriptor is the key that its look-up gives.
bool transmitted(const Configuration& config, int p) {
    return config.messages[kMessageBytes * p + kTransmitted] == 1;
}

// The variable's index as descriptors carry it (twelve bits, in units of 16 words).
std::uint16_t indexWord(int index) { return w16(16 * (index & 0xFFF)); }

}  // namespace

bool grantsBaMemory(const std::uint8_t* header) { return u16At(header, kBaSize) != 0; }
int variableTableSize(const std::uint8_t* header) { return u16At(header, kVariableTableSize); }
int messageTableSize(const std::uint8_t* header) { return u16At(header, kMessageTableSize); }

PageWords headerPageWords(const std::uint8_t* header) {
    const int b = baPages(header);
    const int e = b - 10;
    const int t = variableTableSize(header);
    const int m = messageTableSize(header);
    int g = 0;
    if (t >= 2)
        for (g = 1; g < 16 && (1 << g) < t;) ++g;

    PageWords w{};
    w[0] = w16((g - 1) << 12 | b);
    w[1] = w16(e + (t >> 6) + 11);
    w[2] = grantsBaMemory(header) ? 1 : 0;
    w[3] = w16(t);
    w[4] = w16(b & 0x1FF);
    w[5] = w16(16 * b - 6);
    w[6] = 127;
    w[7] = w16(16 * b - 4);
    w[8] = 127;
    w[9] = w16(16 * b - 2);
    w[10] = 127;
    w[11] = w16(((m + t) >> 2) + 16 * (t >> 6) + 16 * e + 192);
    w[12] = 3;
    w[13] = 0x2800;
    w[14] = 0;
    long timing = header[kSlotTime] << 14 | (header[kSilence] & 0x3F) << 8 | ((header[kTurnaround] * 4) & 0xFF);
    const std::uint16_t speed = u16At(header, kSpeed);
    if (speed == 0) timing += 3;
    if (speed == 1) timing += 1;
    w[16] = w16(timing);
    w[17] = u16At(header, kStartDelay);
    w[18] = u16At(header, kElectionCount);
    w[20] = w16((header[kClockMultiplier] == 1 ? 1 : 0) + (header[kFrameType] == 1 ? 6 : 0));
    w[22] = 1;
    w[32] = w16(16 * t - 14);
    w[33] = 2;
    return w;
}

std::uint16_t timedPeriod(const std::uint8_t* header, std::uint16_t period) {
    const unsigned row = u16At(header, kSlotTime), column = u16At(header, kSpeed);
    if (row >= kTimingRows || column >= kTimingColumns) return 0;
    return w16(static_cast<long>(period) * kTimingFactor20[row][column] / 20);
}

Descriptor variableDescriptor(const Configuration& config, int slot) {
    const int t = variableTableSize(config.header);
    const int r = std::max(0, slot - (t - config.variableCount));
    const std::uint8_t* v = config.variables + kVariableBytes * r;
    const std::uint8_t flags = v[kFlags];
    Descriptor d{};
    d[0] = u16At(v, kIdentifier);
    if (v[kDirection] != 1) {
        d[1] = v[kRefreshmentStatus] == 1 ? 9 : 1;
        d[2] = indexWord(r);
        d[6] = timedPeriod(config.header, u16At(v, kRefreshmentPeriod));
        if (flags & kFlagMessageChannel) {
            const int channel = i16At(v, kChannel);
            if (channel == 0) {
                d[8] = 0x2190;
                d[1] |= 0x100;
            } else {
                d[8] = w16(0x257C + 4 * channel);
            }
        }
        if (flags & kFlagAperiodicRequests) d[1] |= 0x40;
    } else {
        d[1] = 2;
        d[3] = indexWord(r);
    }
    if (flags & kFlagReceivesMessages) d[1] |= 0x200;
    return d;
}

int transmittedMessageCount(const Configuration& config) {
    int n = 0;
    for (int p = 0; p < config.messageCount; ++p) n += transmitted(config, p);
    return n;
}

BufferDescriptors bufferDescriptors(const Configuration& config, int markerPage) {
    const int t = variableTableSize(config.header);
    const int m = messageTableSize(config.header);
    const int count = config.variableCount;
    BufferDescriptors out;
    out.pages = (t + config.messageCount + kMessageKeyOffset) / kDescriptorsPerPage + 1;
    // The pages written may reach past the T + M + 64 entries of the table: those entries stay zero.
    const int entries = std::max({t + m + kMessageKeyOffset, kDescriptorsPerPage * out.pages,
                                  count + kMessageKeyOffset + config.messageCount});
    out.words.assign(static_cast<std::size_t>(entries) * kDescriptorWords, 0);
    auto entry = [&](int i) { return out.words.data() + static_cast<std::size_t>(i) * kDescriptorWords; };

    for (int i = 0; i < count; ++i) {
        const std::uint8_t* v = config.variables + kVariableBytes * i;
        const int length = u16At(v, kLength);
        std::uint16_t* d = entry(i);
        d[9] = w16(u16At(v, kPduType) << 8);
        if (v[kDirection] != 1) {
            d[0] = w16(0x100 + length);
            d[9] |= w16(length + (v[kRefreshmentStatus] != 0 ? 1 : 0));
        } else {
            if (v[kPromptnessStatus] == 1) {
                d[0] = w16(0xA00 + length);
                d[10] = timedPeriod(config.header, u16At(v, kPromptnessPeriod));
            } else {
                d[0] = w16(0x200 + length);
            }
            d[9] |= w16(length + 2 + (v[kRefreshmentStatus] == 1 ? 1 : 0));
        }
        d[14] = u16At(v, kIdentifier);
        d[3] = w16(markerPage + i + 4);
        d[1] = w16(i);
        if (v[kFlags] & kFlagReceivesMessages) out.messageKeyOffset = true;
    }

    int next = t;
    if (out.messageKeyOffset) {
        for (int k = 0; k < kMessageKeyOffset; ++k, ++next) {
            std::uint16_t* d = entry(next);
            d[0] = 0x1000;
            d[1] = w16(next);
            d[3] = w16(markerPage + count + 6 + 2 * k);
        }
    }
    const int dataBase = markerPage + count + 134 - (out.messageKeyOffset ? 0 : 128);
    for (int p = 0; p < config.messageCount; ++p) {
        if (!transmitted(config, p)) continue;
        std::uint16_t* d = entry(next);
        d[0] = 0x1000;
        d[1] = w16(next);
        d[3] = w16(dataBase + 2 * p);
        ++next;
    }
    return out;
}

}  // namespace corvix::download
