// The USB board object over a scripted transport: requests byte for byte, replies whatever the
// chunks, time-outs, late and lost replies, requests too long for a frame, a reply longer than the
// buffer, context loss and a clean reopen, bounded queues, callers of several threads served one
// at a time, and waits that sleep.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <ctime>
#include <functional>
#include <mutex>
#include <thread>

#include "usb/dav_azuv.h"
#include "usb/transport_factory.h"
#include "usb/usb_board.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using namespace IProtocol;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

// A transport whose board is a function of the test: it sees each written frame and answers by
// pushing chunks, on the writer's thread or later from any thread.
class ScriptedCom : public CAbstractCom {
public:
    using Responder = std::function<void(ScriptedCom&, const Bytes& frame)>;

    std::int32_t init() override { return 0; }
    std::int32_t open(std::uint32_t) override {
        set_device_handle(this);
        return 0;
    }
    std::int32_t close() override {
        if (!is_open()) return kComNotOpen;
        set_closing(true);
        set_device_handle(nullptr);
        clear_rx();
        set_closing(false);
        return 0;
    }
    std::int32_t read(std::uint8_t*, std::uint32_t) override { return kComNotImplemented; }
    std::int32_t write(const std::uint8_t* bytes, std::uint32_t count) override {
        if (!is_open()) return kComNotOpen;
        const Bytes frame(bytes, bytes + count);
        Responder responder;
        {
            std::lock_guard lock(mutex_);
            written_.push_back(frame);
            responder = responder_;
        }
        if (responder) responder(*this, frame);
        return 0;
    }
    std::int32_t purge_transmit() override { return 0; }
    std::int32_t purge_receive() override { return 0; }

    void push(const Bytes& chunk) { deliver_rx(chunk); }
    void respond(Responder responder) {
        std::lock_guard lock(mutex_);
        responder_ = std::move(responder);
    }
    std::vector<Bytes> written() const {
        std::lock_guard lock(mutex_);
        return written_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<Bytes> written_;
    Responder responder_;
};

// The data of an exec-by-id request, echoed back after a status byte.
Bytes echo(const Bytes& frame) {
    Bytes data{0x00};
    data.insert(data.end(), frame.begin() + 7, frame.end());
    return build_reply(0xA000, data, false);
}

class BoardObject : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = usb_transport::install(usb_transport::KIND_BULK_USB, [this] {
            auto com = boost::shared_ptr<ScriptedCom>(new ScriptedCom);
            com_ = com.get();
            return com;
        });
        board_ = create_usb_board(usb_transport::KIND_BULK_USB);
        ASSERT_TRUE(board_);
        ASSERT_EQ(usb_board_open(board_, 0), 0);
        board().set_reply_timeout(100);
    }
    void TearDown() override {
        delete_usb_board(board_);
        usb_transport::install(usb_transport::KIND_BULK_USB, previous_);
    }
    CDavAzuv& board() { return *board_; }
    ScriptedCom& com() { return *com_; }

    std::int32_t exec(const Bytes& data, Bytes& reply) {
        std::array<std::uint8_t, 256> buffer{};
        std::uint16_t length = 0;
        const std::int32_t result = board().exec_by_id(1, 0x41, data, length, buffer);
        reply.assign(buffer.begin(), buffer.begin() + length);
        return result;
    }

    CDavAzuv* board_ = nullptr;
    ScriptedCom* com_ = nullptr;
    usb_transport::Maker previous_;
};

TEST_F(BoardObject, SendsEachRequestAsOneFrameAndMapsItsStatusWord) {
    com().respond([](ScriptedCom& c, const Bytes&) { c.push(build_reply(0x3101, Bytes{7, 8}, false)); });
    std::array<std::uint8_t, 256> buffer{};
    std::uint16_t length = 0;
    EXPECT_EQ(board().read_by_id(1, 5, 0, length, buffer), 0x7000000F);
    EXPECT_EQ(length, 2) << "the reply's data is handed back with a status word error";
    EXPECT_EQ(buffer[1], 8);
    com().respond([](ScriptedCom& c, const Bytes&) { c.push(build_reply(0xA000, {}, false)); });
    EXPECT_EQ(board().write_by_id(1, 3, Bytes{5}), 0);
    EXPECT_EQ(board().reset(1, 1), 0);
    EXPECT_EQ(board().read_by_id(1, 4, 0, length, buffer, true), 0);
    EXPECT_THAT(com().written(), ElementsAre(ElementsAre(0x90, 0x11, 1, 5, 0, 0, 0), ElementsAre(0x90, 0x21, 1, 3, 0, 0, 1, 5),
                                             ElementsAre(0x90, 0x30, 1, 1, 0, 0, 0),
                                             ElementsAreArray(build_request(READ_BY_ID, 1, 4, 0, {}, true))));
}

TEST_F(BoardObject, AReplyCutAnywhereIsHandedOverOnce) {
    const Bytes request{0x00, 0x07, 0xAA, 0xBB};
    const Bytes reply = echo(build_request(EXEC_BY_ID, 1, 0x41, 0, request, false));
    for (std::size_t cut = 1; cut < reply.size(); ++cut) {
        com().respond([&](ScriptedCom& c, const Bytes&) {
            c.push(Bytes(reply.begin(), reply.begin() + static_cast<std::ptrdiff_t>(cut)));
            c.push(Bytes(reply.begin() + static_cast<std::ptrdiff_t>(cut), reply.end()));
        });
        Bytes got;
        ASSERT_EQ(exec(request, got), 0) << "cut at " << cut;
        EXPECT_THAT(got, ElementsAre(0x00, 0x00, 0x07, 0xAA, 0xBB));
        EXPECT_TRUE(board().take_reply_frames().empty()) << "delivered once";
    }
    EXPECT_TRUE(board().reader_running());
}

TEST_F(BoardObject, ARequestWithoutReplyReturnsItsNoReplyCode) {
    std::array<std::uint8_t, 256> buffer{};
    std::uint16_t length = 0;
    EXPECT_EQ(board().read_by_id(1, 3, 0, length, buffer), 0x30100003);
    EXPECT_EQ(board().last_error(), 0x3010000Eu);
    EXPECT_EQ(board().write_by_id(1, 3, Bytes{1}), 0x30100008);
    EXPECT_EQ(board().reset(1, 1), 0x3010000A);
    EXPECT_EQ(board().get_mode(1), 0x3010000C);
    EXPECT_EQ(board().exec_by_id(1, 0x41, Bytes{0, 1}, length, buffer), 0x30100009);
}

// A reply that arrives after its request has timed out is kept aside: the request that follows
// gets its own reply, whether the late one comes before it was called or while it waits to write.
TEST_F(BoardObject, ALateReplyNeverReachesTheNextCaller) {
    Bytes late;
    com().respond([&](ScriptedCom&, const Bytes& frame) { late = echo(frame); });
    Bytes got;
    EXPECT_EQ(exec({0, 1}, got), 0x30100009);

    std::thread lateBoard([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
        com().push(late);
    });
    com().respond([&](ScriptedCom& c, const Bytes& frame) { c.push(echo(frame)); });
    EXPECT_EQ(exec({0, 2}, got), 0);
    EXPECT_THAT(got, ElementsAre(0, 0, 2));
    lateBoard.join();
    EXPECT_EQ(com().written().size(), 2u);

    com().respond([&](ScriptedCom&, const Bytes& frame) { late = echo(frame); });
    EXPECT_EQ(exec({0, 3}, got), 0x30100009);
    com().push(late);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    com().respond([](ScriptedCom& c, const Bytes& frame) { c.push(echo(frame)); });
    EXPECT_EQ(exec({0, 4}, got), 0);
    EXPECT_THAT(got, ElementsAre(0, 0, 4));
    EXPECT_EQ(board().take_reply_frames().size(), 2u) << "the two late replies, kept aside";
}

// A board that lost a request and answers again: at most one more request times out.
TEST_F(BoardObject, ABoardThatFellSilentIsHeardAgain) {
    Bytes got;
    EXPECT_EQ(exec({0, 1}, got), 0x30100009);
    com().respond([](ScriptedCom& c, const Bytes& frame) { c.push(echo(frame)); });
    int failures = 0;
    for (std::uint8_t n = 2; n < 6; ++n) {
        if (exec({0, n}, got) != 0) {
            ++failures;
            continue;
        }
        EXPECT_THAT(got, ElementsAre(0, 0, n));
    }
    EXPECT_LE(failures, 1);
}

// A board that lost a reply: the next request waits out the owed reply (one time-out), then gets
// its own answer.
TEST_F(BoardObject, ALostReplyCostsTheNextRequestOneTimeOutNotItsResult) {
    Bytes got;
    EXPECT_EQ(exec({0, 1}, got), 0x30100009);
    com().respond([](ScriptedCom& c, const Bytes& frame) { c.push(echo(frame)); });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(exec({0, 2}, got), 0);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_THAT(got, ElementsAre(0, 0, 2));
    EXPECT_GE(took, std::chrono::milliseconds(90));
    EXPECT_LT(took, std::chrono::milliseconds(190));
    EXPECT_EQ(exec({0, 3}, got), 0) << "nothing owed any more";
}

// A frame's LEN is 16 bits: more data is refused before anything is sent, never cut.
TEST_F(BoardObject, RequestDataBeyondAFramesLengthIsRefusedUnsent) {
    com().respond([](ScriptedCom& c, const Bytes&) { c.push(build_reply(0xA000, {}, false)); });
    std::array<std::uint8_t, 16> buffer{};
    std::uint16_t length = 0;
    const struct {
        const char* request;
        std::function<std::int32_t(const Bytes&)> send;
    } requests[] = {
        {"write by ID", [&](const Bytes& d) { return board().write_by_id(1, 3, d); }},
        {"write memory", [&](const Bytes& d) { return board().write_memory(1, 0, d); }},
        {"exec by id", [&](const Bytes& d) { return board().exec_by_id(1, 0x41, d, length, buffer); }},
    };
    for (const auto& r : requests) {
        const std::size_t before = com().written().size();
        EXPECT_EQ(r.send(Bytes(0x10000, 0x5A)), 0x7000000D) << r.request;
        EXPECT_EQ(com().written().size(), before) << r.request << ": nothing sent";
        EXPECT_EQ(r.send(Bytes(0xFFFF, 0x5A)), 0) << r.request;
        const Bytes sent = com().written().back();
        EXPECT_EQ(sent.size(), 7u + 0xFFFF) << r.request;
        EXPECT_THAT(Bytes(sent.begin() + 5, sent.begin() + 7), ElementsAre(0xFF, 0xFF)) << r.request;
    }
}

// Threads that wait long sleep: a request waiting a whole time-out for a silent board and the
// reader waiting for bytes spin only briefly before they block.
TEST_F(BoardObject, WaitingThreadsDoNotSpinForEver) {
    board().set_reply_timeout(1000);
    const std::clock_t before = std::clock();
    Bytes got;
    EXPECT_EQ(exec({0, 1}, got), 0x30100009);
    const double cpuSeconds = static_cast<double>(std::clock() - before) / CLOCKS_PER_SEC;
    EXPECT_LT(cpuSeconds, 0.1) << "processor time of the process over a one-second wait";
}

TEST_F(BoardObject, AReplyLongerThanTheBufferIsCutAndReported) {
    com().respond([](ScriptedCom& c, const Bytes&) { c.push(build_reply(0xA000, Bytes(300, 0x5A), false)); });
    Bytes got;
    EXPECT_EQ(exec({0, 1}, got), 0x3010000D);
    EXPECT_EQ(got.size(), 256u);
    com().respond([](ScriptedCom& c, const Bytes&) { c.push(build_reply(0x2000, Bytes(300, 0x5A), false)); });
    EXPECT_EQ(exec({0, 1}, got), 0x70000003) << "the status word's result comes first";
}

TEST_F(BoardObject, AReplyWhoseCrcDiffersIsRefused) {
    com().respond([](ScriptedCom& c, const Bytes&) {
        Bytes reply = build_reply(0xA000, Bytes{1, 2, 3}, true);
        reply[6] ^= 1;
        c.push(reply);
    });
    Bytes got;
    EXPECT_EQ(exec({0, 1}, got), 0x3010000F);
    EXPECT_TRUE(got.empty());
}

TEST_F(BoardObject, GetModeThreeMakesTheReaderDropWhatArrives) {
    com().respond([](ScriptedCom& c, const Bytes&) { c.push(build_reply(0xA000, Bytes{3}, false)); });
    EXPECT_EQ(board().get_mode(1), 0);
    EXPECT_EQ(board().board_mode(), 3);
    Bytes got;
    EXPECT_EQ(exec({0, 1}, got), 0x30100009);
}

// A reopen starts the parser clean, also in the middle of a frame. Garbage that no event frame
// follows ends the reader: requests fail at once with the context loss instead of each waiting for
// its time-out, until the board is reopened.
TEST_F(BoardObject, AnUnrecoveredContextLossEndsTheReaderUntilTheBoardIsReopened) {
    com().respond([](ScriptedCom& c, const Bytes& frame) { c.push(echo(frame)); });
    Bytes got;
    com().push(Bytes{0x80, 0xA0});  // a frame begun, never finished
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_EQ(board().close(), 0);
    ASSERT_EQ(board().open(0), 0);
    EXPECT_EQ(exec({0, 8}, got), 0);
    EXPECT_THAT(got, ElementsAre(0, 0, 8));

    board().set_reply_timeout(5000);
    com().push(Bytes{0x12, 0x34});
    for (int i = 0; i < 200 && board().reader_running(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_FALSE(board().reader_running());
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(exec({0, 1}, got), 0x3010000F);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));

    EXPECT_EQ(board().close(), 0);
    EXPECT_EQ(board().open(0), 0);
    EXPECT_EQ(exec({0, 9}, got), 0);
    EXPECT_THAT(got, ElementsAre(0, 0, 9));
}

TEST_F(BoardObject, EventsAreQueuedBoundedAndAwaited) {
    EXPECT_EQ(board().wait_for_event(), 0x30100012) << "none yet";
    board().set_event_timeout(2000);
    for (int i = 0; i < 300; ++i) com().push(build_event(1, static_cast<std::uint8_t>(i), 0xA000, Bytes{1}, false));
    EXPECT_EQ(board().wait_for_event(), 0);
    for (int i = 0; i < 200 && board().events_received() < 300; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(board().events_received(), 300u);
    EXPECT_EQ(board().events_lost(), 0u);
    const auto newest = board().get_last_event_frame();
    ASSERT_TRUE(newest);
    EXPECT_EQ(newest->CP, static_cast<std::uint8_t>(299));
    EXPECT_EQ(board().take_event_frames().size(), CDavAzuv::MAX_EVENTS - 1);
}

TEST_F(BoardObject, RepliesThatNobodyAskedForAreKeptBounded) {
    for (std::uint8_t i = 0; i < 40; ++i) com().push(build_reply(0xA000, Bytes{i}, false));
    com().respond([](ScriptedCom& c, const Bytes& frame) { c.push(echo(frame)); });
    Bytes got;
    EXPECT_EQ(exec({0, 5}, got), 0);
    EXPECT_THAT(got, ElementsAre(0, 0, 5)) << "never one of the unsolicited replies";
    const auto kept = board().take_reply_frames();
    EXPECT_LE(kept.size(), CDavAzuv::MAX_STALE_REPLIES);
    ASSERT_FALSE(kept.empty());
    EXPECT_THAT(kept.back()->data, ElementsAre(39)) << "the newest are kept";
}

TEST_F(BoardObject, ClosingRightAfterOpeningAlwaysStopsTheReader) {
    for (int i = 0; i < 100; ++i) {
        ASSERT_EQ(board().open(0), 0);
        ASSERT_TRUE(board().reader_running());
        ASSERT_EQ(board().close(), 0);
        ASSERT_FALSE(board().reader_running());
    }
    EXPECT_EQ(board().close(), 0) << "a closed board closes again without harm";
}

// Callers of several threads: one request at a time, each caller gets the reply to its own data,
// while the board answers in chunks of three bytes from a thread of its own and sends events.
TEST_F(BoardObject, ConcurrentCallersAreServedOneAtATime) {
    std::mutex boardMutex;
    std::vector<Bytes> toAnswer;
    std::atomic<bool> done{false};
    com().respond([&](ScriptedCom&, const Bytes& frame) {
        std::lock_guard lock(boardMutex);
        Bytes answer = echo(frame);
        const Bytes event = build_event(1, 0, 0xA000, {}, false);
        answer.insert(answer.end(), event.begin(), event.end());
        toAnswer.push_back(answer);
    });
    std::thread firmware([&] {
        while (!done) {
            std::vector<Bytes> frames;
            {
                std::lock_guard lock(boardMutex);
                frames.swap(toAnswer);
            }
            for (const Bytes& f : frames)
                for (std::size_t at = 0; at < f.size(); at += 3)
                    com().push(Bytes(f.begin() + static_cast<std::ptrdiff_t>(at),
                                     f.begin() + static_cast<std::ptrdiff_t>(std::min(at + 3, f.size()))));
            std::this_thread::yield();
        }
    });
    board().set_reply_timeout(5000);
    std::atomic<int> wrong{0};
    std::vector<std::thread> callers;
    for (std::uint8_t t = 0; t < 4; ++t)
        callers.emplace_back([&, t] {
            for (std::uint8_t n = 0; n < 100; ++n) {
                std::array<std::uint8_t, 256> buffer{};
                std::uint16_t length = 0;
                const Bytes data{t, n, static_cast<std::uint8_t>(t ^ n)};
                if (board().exec_by_id(1, 0x41, data, length, buffer) != 0 || length != 4 || buffer[1] != t ||
                    buffer[2] != n || buffer[3] != (t ^ n))
                    ++wrong;
            }
        });
    for (auto& c : callers) c.join();
    done = true;
    firmware.join();
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(com().written().size(), 400u);
    EXPECT_EQ(board().take_reply_frames().size(), 0u);
}

TEST(BoardObjectWithoutTransport, OpenAndRequestsSayThereIsNone) {
    CDavAzuv* board = create_usb_board(7);
    ASSERT_TRUE(board);
    EXPECT_EQ(usb_board_open(board, 0), 0x30100001);
    EXPECT_EQ(usb_reset(board, 1, 1, false), 0x30100001);
    EXPECT_EQ(usb_board_close(board), 0);
    EXPECT_EQ(delete_usb_board(board), 0);
    EXPECT_EQ(delete_usb_board(nullptr), 0);
    EXPECT_EQ(usb_reset(nullptr, 1, 1, false), 0x30100001);
}

TEST(BoardObjectWithoutDevice, OpenFailsWithTheTransportsCode) {
    CDavAzuv* board = create_usb_board(usb_transport::KIND_BULK_USB);
    EXPECT_EQ(usb_board_open(board, 200), 0x30103003) << "no such device";
    EXPECT_EQ(usb_reset(board, 1, 1, false), 0x30101000);
    delete_usb_board(board);
}

}  // namespace
