// DOWNLOAD_CNF through the whole stack (engine, request seam, I/O manager, the PCI driver and the
// simulated card), for a small configuration and for the largest one whose image fits the card
// with a BA program. Reports card pages written per second beside the time per download.
//
// Each download resets the board twice, and the driver holds every reset until the kernel tick
// count has moved on by two (15.625 ms a tick), so a download on the machine clock ends on a tick
// boundary: back to back, four ticks (62.5 ms) while the rest of the work stays under one tick.
// The holds sleep, so the CPU column (the downloading thread's processor time) stays near the
// stack's own work. downloadCnfStackOnly runs the same downloads on a virtual machine clock, where
// those holds take no time: it measures the stack's own work.
#include <benchmark/benchmark.h>


#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "base/clock.h"
#include "base/machine_root.h"
#include "corvix.h"
#include "download/ba_programs.h"
#include "download/card_image.h"
#include "download/code_image.h"
#include "download/config_loader.h"
#include "records/byte_codec.h"
#include "records/config_format.h"
#include "machine_bench.h"
#include "sim/machine/machine.h"

namespace {

using namespace corvix::download;

// The largest variable table whose image fits the card's 2048 pages with BA memory. The marker page,
// the last page written, is ((M + T) >> 2) + 16 x (T >> 6) + 16 x 54 + 192 for T variables and a
// message table of M: about T / 2 + 1056. With M = 4 it is 2032 at T = 1983 and 2049 at 1984; even
// M = 0 puts it on page 2048 at T = 1984, past the last page. T = 4095 would need page 3088 (2224
// without BA memory, whose own largest table is 3711).
constexpr std::uint16_t kLargestWithBa = 1983;

records::Configuration configuration(std::uint16_t variables, int macros) {
    records::Configuration c = records::new_configuration();
    c.param.variable_table_size = std::max<std::uint16_t>(variables, 4);
    c.param.message_table_size = 4;
    c.param.ba_size = 1;
    for (int i = 0; i < macros; ++i) {
        c.sequence1.push_back(records::make_instruction("ID_DAT(" + std::to_string(i % 512) + ")"));
        c.sequence1.push_back(records::make_instruction("SEND_APER(" + std::to_string(i % 512) + ")"));
    }
    c.sequence2 = {records::make_instruction("WAIT(10)"), records::make_instruction("NEXT_MACRO_2(0)")};
    std::vector<std::uint16_t> ids(variables);
    std::iota(ids.begin(), ids.end(), std::uint16_t{0x100});
    std::shuffle(ids.begin(), ids.end(), std::mt19937(7));  // the download sorts them
    for (std::uint16_t id : ids) {
        records::VARIABLE4 v;
        v.identifier = id;
        records::set_text(v.name, "v" + std::to_string(id));
        v.length = 8;
        v.channel = -1;
        v.direction = id % 2;
        v.refreshment_period = 100;
        c.variables.push_back(v);
    }
    c.variables.front().flags = 0x01;  // a receiving variable: the 64-entry block as well
    for (int i = 0; i < 2; ++i) {
        records::MESSAGE4 m;
        m.source_identifier = 0x100;
        m.destination_identifier = static_cast<std::uint16_t>(0x200 + i);
        m.transmitted = 1;
        c.messages.push_back(m);
    }
    return c;
}

// Card memory that only counts the pages written, to report the download's page rate.
class CountingCard : public CardPages {
public:
    bool readPage(std::uint16_t page, PageBytes& bytes) override {
        bytes = memory_.at(page);
        return true;
    }
    bool writePage(std::uint16_t page, const PageBytes& bytes) override {
        memory_.at(page) = bytes;
        ++writes;
        return true;
    }
    corvix::ErrorCode reset() override { return 0; }
    long writes = 0;

private:
    std::vector<PageBytes> memory_ = std::vector<PageBytes>(4096);
};

// The pages one DOWNLOAD_CNF of `path` writes: the code image and the card memory image.
long pagesWritten(const std::string& path) {
    CountingCard card;
    LoadedConfiguration loaded;
    if (downloadCodeImage(card, codeImagePath().c_str()) != 0 || loadConfiguration(path.c_str(), loaded) != 0)
        return 0;
    ImageInput input;
    input.header = loaded.header.data();
    input.variables = loaded.variables.data();
    input.variableCount = loaded.variableCount;
    input.messages = loaded.messages.data();
    input.messageCount = loaded.messageCount;
    input.placeBaPrograms = [&] {
        BaProgramPages pages;
        return placeBaPrograms(card, nullptr, {loaded.list1.data(), loaded.list1Count},
                               {loaded.list2.data(), loaded.list2Count}, pages);
    };
    ImageResult result;
    return writeCardImage(card, input, result) == 0 ? card.writes : 0;
}

void downloadCnf(benchmark::State& state) {
    const auto variables = static_cast<std::uint16_t>(state.range(0));
    sim::bootMachine(sim::defaultMachine());
    const std::string path = (qbase::machineRoot() / "trv").string();
    const auto bytes = records::encode_format4(configuration(variables, variables > 100 ? 200 : 4));
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
    if (START_FIP_ENGINE(1, 0) != 0) {
        state.SkipWithError("the engine does not start on the default machine's PCI board");
        sim::shutdownMachine();
        return;
    }
    const long pages = pagesWritten(path);
    for (auto _ : state) {
        if (const std::uint32_t code = DOWNLOAD_CNF(path.c_str())) {
            state.SkipWithError(("DOWNLOAD_CNF failed with " + std::to_string(code)).c_str());
            break;
        }
    }
    state.counters["pages"] = static_cast<double>(pages);
    state.counters["pages/s"] =
        benchmark::Counter(static_cast<double>(pages) * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate);
    STOP_FIP_ENGINE();
    sim::shutdownMachine();
}

void downloadCnfStackOnly(benchmark::State& state) {
    qbase::VirtualClock clock;
    downloadCnf(state);
}

BENCHMARK(downloadCnf)
    ->Arg(8)
    ->Arg(kLargestWithBa)
    ->Unit(benchmark::kMillisecond)
    ->ComputeStatistics("median", bench::median);
BENCHMARK(downloadCnfStackOnly)
    ->Arg(8)
    ->Arg(kLargestWithBa)
    ->Unit(benchmark::kMillisecond)
    ->ComputeStatistics("median", bench::median);

}  // namespace
