// Several threads on one board, serialised per transaction as the drivers do: every value arrives
// intact and the protocol checker sees no violation; stimulus from another thread (the segment)
// may arrive at any time.
#include <gtest/gtest.h>

#include <mutex>
#include <thread>

#include "sim/boards/pc104_board.h"
#include "sim/tests/register_script.h"

namespace sim {
namespace {

TEST(Concurrency, SerialisedTransactionsFromSeveralThreadsStayIntact) {
    Pc104Board board(Pc104BoardConfig{});
    testing::installVariables(board.card(), {{true, 2}, {true, 2}, {true, 2}, {true, 2}});
    std::mutex transactionLock;
    constexpr int kThreads = 4, kRounds = 100;
    std::vector<std::thread> threads;
    std::vector<int> mismatches(kThreads, 0);
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            testing::RegisterScript script(board.controller());
            for (int round = 0; round < kRounds; ++round) {
                const std::vector<std::uint8_t> value = {static_cast<std::uint8_t>(t), static_cast<std::uint8_t>(round)};
                std::lock_guard lock(transactionLock);
                script.write(cmd::kWriteVar, static_cast<std::uint16_t>(t), value);
                if (script.read(cmd::kReadVar, static_cast<std::uint16_t>(t)).data != value) ++mismatches[t];
            }
        });
    std::thread segment([&] {
        for (int i = 0; i < kRounds; ++i) board.card().deliverMessage(7, ReceivedMessage{{}, {1}});
    });
    for (auto& thread : threads) thread.join();
    segment.join();
    EXPECT_EQ(mismatches, std::vector<int>(kThreads, 0));
    EXPECT_TRUE(board.controller().checker().violations().empty());
    EXPECT_EQ(board.ports()->read8(0) & ustate::kEvent, ustate::kEvent);
}

}  // namespace
}  // namespace sim
