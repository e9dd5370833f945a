// The configuration tree at the records' limits (256 stations, 4095 variables, 512 messages):
// building the whole tree, and renaming and updating one variable, over the tree's rules with the
// items in memory. The same with the tree control of the class-library layer is in
// tree_ctrl_bench.cpp.
#include <benchmark/benchmark.h>

#include "configuration_tree.h"
#include "limits_network.h"
#include "memory_tree.h"

namespace {

using plandrel::ConfigurationTree;

void BM_BuildTreeRules(benchmark::State& state) {
  const records::Configuration network = plandrel::testing::limits_network();
  for (auto _ : state) {
    plandrel::testing::MemoryTree tree;
    ConfigurationTree rules(tree);
    benchmark::DoNotOptimize(rules.build(network));
    state.counters["items"] = tree.inserts;
  }
}
BENCHMARK(BM_BuildTreeRules)->Unit(benchmark::kMillisecond);

void BM_RenameVariableRules(benchmark::State& state) {
  records::Configuration network = plandrel::testing::limits_network();
  plandrel::testing::MemoryTree tree;
  ConfigurationTree rules(tree);
  rules.build(network);
  records::VARIABLE4& variable = network.variables[2048];
  for (auto _ : state) rules.rename_variable_items(variable);
  state.counters["changed"] = benchmark::Counter(static_cast<double>(tree.changes), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_RenameVariableRules)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
