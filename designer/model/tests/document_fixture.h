// A new document in a working folder of its own (below the process's machine root, or the system's
// temporary folder), with a scripted host, and the BA sequences set as a load sets them.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "model/plandrel_doc.h"
#include "model/tests/scripted_host.h"
#include "model/timing_table.h"
#include "records/byte_codec.h"

namespace plandrel::testing {

// Both sequences from their texts, with the instruction cost and the estimate a load computes.
inline void SetBaSequences(CPlandrelDoc& document, const std::vector<std::string>& one,
                           const std::vector<std::string>& two) {
  records::Configuration& r = document.Records();
  r.sequence1.clear();
  r.sequence2.clear();
  for (const auto& text : one) r.sequence1.push_back(records::make_instruction(text));
  for (const auto& text : two) r.sequence2.push_back(records::make_instruction(text));
  document.SetInstructionCost(records::instruction_cost(r.sequence1, r.sequence2));
  document.SetMemoryEstimate(records::memory_estimate(r, document.GetInstructionCost()));
}

inline std::vector<std::string> SequenceTexts(const std::vector<records::INSTRUCTION>& sequence) {
  std::vector<std::string> texts;
  for (const auto& instruction : sequence) texts.emplace_back(records::text_of(instruction.text));
  return texts;
}

class DocumentFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* root = std::getenv("QUORELLE_MACHINE_ROOT");
    folder_ = std::filesystem::path(root ? root : std::filesystem::temp_directory_path().c_str()) / "document" /
              ::testing::UnitTest::GetInstance()->current_test_info()->test_suite_name() /
              ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
    timing_.Fill();
    document_ = std::make_unique<CPlandrelDoc>(host_, folder_, SelectedDevice{});
    ASSERT_TRUE(document_->New());
  }
  void TearDown() override {
    document_.reset();
    std::filesystem::remove_all(folder_);
  }

  ScriptedHost host_;
  std::filesystem::path folder_;
  TimingTable timing_;
  std::unique_ptr<CPlandrelDoc> document_;
};

}  // namespace plandrel::testing
