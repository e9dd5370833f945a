// A thread context attached to a scripted board, with configuration tables built from records.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "base/machine_root.h"
#include "board_access.h"
#include "context.h"
#include "records/byte_codec.h"
#include "scripted_board.h"
#include "test_records.h"

namespace corvix::testing {

using Bytes = std::vector<std::uint8_t>;

inline void loadTables(EngineContext& context, const std::vector<records::VARIABLE4>& variables,
                       const std::vector<records::MESSAGE4>& messages = {}, std::uint16_t tableSize = 0) {
    auto vt = std::make_shared<RecordTable>();
    for (const auto& v : variables) {
        const auto bytes = records::to_bytes(v);
        vt->insert(vt->end(), bytes.begin(), bytes.end());
    }
    auto mt = std::make_shared<RecordTable>();
    for (const auto& m : messages) {
        const auto bytes = records::to_bytes(m);
        mt->insert(mt->end(), bytes.begin(), bytes.end());
    }
    context.variableTable = vt;
    context.messageTable = mt;
    context.variableCount = static_cast<std::uint16_t>(variables.size());
    context.messageCount = static_cast<std::uint16_t>(messages.size());
    const std::uint16_t size = tableSize ? tableSize : static_cast<std::uint16_t>(variables.size());
    context.configHeader[12] = static_cast<std::uint8_t>(size);
    context.configHeader[13] = static_cast<std::uint8_t>(size >> 8);
}

class EngineOnScriptedBoard : public ::testing::Test {
protected:
    void SetUp() override {
        qbase::markMachineBooted(true);  // the scripted board is the whole machine
        context().device = openBoard(kBoardPci, 1);
        ASSERT_TRUE(context().device);
        context().boardNumber = 1;
        context().boardVariant = 1;
    }
    void TearDown() override { context() = EngineContext{}; }

    static EngineContext& context() { return *currentContext(); }

    static void load(const std::vector<records::VARIABLE4>& variables,
                     const std::vector<records::MESSAGE4>& messages = {}, std::uint16_t tableSize = 0) {
        loadTables(context(), variables, messages, tableSize);
    }

    ScriptedBoard board;
};

}  // namespace corvix::testing
