// The framing state machine: whatever the chunks, every frame once; fillers, inconsistent frames,
// context loss and its recovery; lost events counted from the sequence counter.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "usb/frame_parser.h"

namespace IProtocol {
namespace {

using Bytes = std::vector<std::uint8_t>;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

// What the parser delivered, as one line per frame.
struct Collector : FrameParser::Sink {
    std::vector<std::string> frames;
    std::string diagnostics;
    std::size_t offset = 0;                // stream position of the chunk being parsed
    std::vector<std::size_t> replyEnds;    // stream positions after each reply
    void on_reply(ReplyFramePtr f, std::size_t end) override {
        replyEnds.push_back(offset + end);
        frames.push_back("R" + std::to_string(f->SW) + ":" + std::to_string(f->LEN) + ":" + bytes(f->data) + ":" +
                         std::to_string(f->CRC));
    }
    void on_event(EventFramePtr f) override {
        frames.push_back("E" + std::to_string(f->ID) + "/" + std::to_string(f->CP) + ":" + std::to_string(f->SW) + ":" +
                         bytes(f->data));
    }
    void on_diagnostic(const std::string& text) override { diagnostics += text; }
    static std::string bytes(const Bytes& b) {
        std::string s;
        for (auto x : b) s += std::to_string(x) + ",";
        return s;
    }
};

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const Bytes kFiller{0xFF};

Bytes stream() {
    Bytes data(40);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7);
    return build_reply(0xA000, data, false) + kFiller + build_event(1, 0, 0xA000, Bytes{9}, false) +
           build_reply(0x3101, Bytes{}, true) + build_event(2, 1, 0x8001, Bytes{}, true) + kFiller +
           build_reply(0xA000, Bytes{0xFF, 0x80}, false);
}

std::vector<std::string> parseWhole(const Bytes& bytes) {
    FrameParser parser;
    Collector sink;
    EXPECT_TRUE(parser.parse(bytes, sink));
    return sink.frames;
}

TEST(FrameParser, DeliversEveryFrameOfAStream) {
    const auto frames = parseWhole(stream());
    ASSERT_EQ(frames.size(), 5u);
    EXPECT_EQ(frames[1], "E1/0:40960:9,");
    EXPECT_THAT(frames[2], ::testing::StartsWith("R12545:0::"));
    EXPECT_EQ(frames[4], "R40960:2:255,128,:61166") << "a reply without CRC carries 0xEEEE";
}

// Every cut of the stream into two chunks, and a cut after every byte, give the same frames once.
TEST(FrameParser, FramesDoNotDependOnWhereTheStreamIsCut) {
    const Bytes bytes = stream();
    const auto whole = parseWhole(bytes);
    const std::vector<std::size_t> ends{5 + 40, 46 + 8 + 7, bytes.size()};
    for (std::size_t cut = 1; cut < bytes.size(); ++cut) {
        FrameParser parser;
        Collector sink;
        ASSERT_TRUE(parser.parse(std::span(bytes).first(cut), sink)) << cut;
        sink.offset = cut;
        ASSERT_TRUE(parser.parse(std::span(bytes).subspan(cut), sink)) << cut;
        EXPECT_EQ(sink.frames, whole) << "cut at " << cut;
        EXPECT_EQ(sink.replyEnds, ends) << "cut at " << cut;
        EXPECT_EQ(sink.diagnostics, "") << "cut at " << cut;
    }
    FrameParser parser;
    Collector sink;
    for (std::uint8_t b : bytes) ASSERT_TRUE(parser.parse(Bytes{b}, sink));
    EXPECT_EQ(sink.frames, whole);
}

TEST(FrameParser, EmptyRepliesCompleteAtTheirLengthOrTheirCrc) {
    FrameParser parser;
    Collector sink;
    parser.parse(Bytes{0x80, 0xA0, 0x00, 0x00}, sink);
    EXPECT_TRUE(sink.frames.empty());
    parser.parse(Bytes{0x00}, sink);
    EXPECT_EQ(sink.frames.size(), 1u) << "five bytes";
    const Bytes crc = build_reply(0xA000, {}, true);
    parser.parse(std::span(crc).first(6), sink);
    EXPECT_EQ(sink.frames.size(), 1u);
    parser.parse(std::span(crc).subspan(6), sink);
    EXPECT_EQ(sink.frames.size(), 2u) << "seven bytes";
}

TEST(FrameParser, AFrameFollowedByAnotherByteIsDroppedAndTheByteLosesTheContext) {
    FrameParser parser;
    Collector sink;
    EXPECT_FALSE(parser.parse(build_reply(0xA000, Bytes{1}, false) + Bytes{0x00}, sink));
    EXPECT_TRUE(sink.frames.empty());
    EXPECT_THAT(sink.diagnostics, HasSubstr("DavAzuv - Error - Inconsistent Frame detected !! \n"));
    EXPECT_THAT(sink.diagnostics, HasSubstr("DavAzuv - Error - Context Loss Block Management"));
    EXPECT_TRUE(parser.lost());
    EXPECT_FALSE(parser.parse(build_reply(0xA000, {}, false), sink)) << "lost until reset";
    EXPECT_TRUE(sink.frames.empty());
    parser.reset();
    EXPECT_TRUE(parser.parse(build_reply(0xA000, {}, false), sink)) << "a reset starts clean";
    EXPECT_EQ(sink.frames.size(), 1u);
}

TEST(FrameParser, ASecondFillerLosesTheContext) {
    FrameParser parser;
    Collector sink;
    EXPECT_FALSE(parser.parse(build_reply(0xA000, {}, false) + kFiller + kFiller, sink));
    EXPECT_EQ(sink.frames.size(), 1u);
    // Across chunks as well: a frame at a chunk's end, its filler, then a filler starting the next chunk.
    FrameParser split;
    Collector other;
    EXPECT_TRUE(split.parse(build_reply(0xA000, {}, false) + kFiller, other));
    EXPECT_FALSE(split.parse(kFiller, other));
}

struct RecoveryCase {
    const char* name;
    std::uint8_t id;
    std::uint16_t sw;
    bool recovered;
};

class Recovery : public ::testing::TestWithParam<RecoveryCase> {};

// Garbage, then an event frame: parsing resumes there when the event is ID 1 with SW 0xA000 or
// 0x8001, also when the garbage follows a frame that spans from the chunk before.
TEST_P(Recovery, ResumesAtAnEventFrameOfId1) {
    const RecoveryCase& c = GetParam();
    const Bytes after = build_event(c.id, 7, c.sw, Bytes{1, 2}, false) + build_reply(0xA000, Bytes{5}, false);
    for (const bool spanning : {false, true}) {
        FrameParser parser;
        Collector sink;
        bool ok = true;
        if (spanning) {
            // A reply begun in one chunk completes in the next, where garbage follows it.
            const Bytes reply = build_reply(0xA000, Bytes(10, 0x41), false);
            ok = parser.parse(std::span(reply).first(6), sink) &&
                 parser.parse(Bytes(reply.begin() + 6, reply.end()) + Bytes{0x33} + after, sink);
        } else {
            ok = parser.parse(Bytes{0x33, 0x34} + after, sink);
        }
        EXPECT_EQ(ok, c.recovered) << "spanning " << spanning;
        if (c.recovered) {
            EXPECT_THAT(sink.diagnostics, HasSubstr("Context Recovery Attempt OK !\n"));
            ASSERT_FALSE(sink.frames.empty());
            EXPECT_EQ(sink.frames.back(), "R40960:1:5,:61166") << "spanning " << spanning;
        } else {
            EXPECT_THAT(sink.diagnostics, HasSubstr("is_NewFrame : "));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Events, Recovery,
                         ::testing::Values(RecoveryCase{"Id1Success", 1, 0xA000, true},
                                           RecoveryCase{"Id1Warning8001", 1, 0x8001, true},
                                           RecoveryCase{"Id2", 2, 0xA000, false},
                                           RecoveryCase{"Id1OtherStatus", 1, 0x2000, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FrameParser, CountsEventsLostFromTheSequenceCounter) {
    FrameParser parser;
    Collector sink;
    std::vector<std::uint32_t> lost;
    for (std::uint8_t cp : {0x00, 0x05, 0x06, 0x09, 0x09, 0xFF, 0x00}) {
        parser.parse(build_event(1, cp, 0xA000, {}, false), sink);
        lost.push_back(parser.events_lost());
    }
    EXPECT_THAT(lost, ElementsAre(0, 4, 4, 6, 6, 6 + 0xF5, 6 + 0xF5)) << "repeated and wrapping counters lose none";
    EXPECT_EQ(parser.events_received(), 7u);
    EXPECT_THAT(sink.diagnostics, HasSubstr("- Event frames lost !! (<=> usb packets) - Prec CP: 0x06 - CP: 0x09"));
}

TEST(FrameParser, KeepsItsMemoryBoundedOnEndlessRecoveries) {
    FrameParser parser;
    Collector sink;
    const Bytes recoverable = Bytes{0x00} + build_event(1, 0, 0xA000, Bytes{1}, false);
    for (int i = 0; i < 2000; ++i) ASSERT_TRUE(parser.parse(recoverable, sink));
    EXPECT_EQ(sink.frames.size(), 2000u);
}

}  // namespace
}  // namespace IProtocol
