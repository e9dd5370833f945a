// INSTRUCTION: one 15-byte bus arbitrator macro line, such as "ID_DAT(1A2)", and the cost rules
// that the memory estimate and ba_size are built on.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace records {

struct INSTRUCTION {
  static constexpr std::size_t size = 15;

  std::array<char, 15> text{};  // NUL-terminated unless full, bytes after the NUL kept

  friend bool operator==(const INSTRUCTION&, const INSTRUCTION&) = default;
};

void encode(const INSTRUCTION& instruction, std::span<std::uint8_t, INSTRUCTION::size> out);
void decode(std::span<const std::uint8_t, INSTRUCTION::size> in, INSTRUCTION& instruction);

// An instruction from its text (cut to 15 characters; a full line carries no terminating zero).
INSTRUCTION make_instruction(std::string_view text);

// 5 for an instruction whose text begins with "ID_DAT(", 1 for any other.
std::uint32_t instruction_cost(const INSTRUCTION& instruction);

// Cost of both sequences as the designer keeps it: 1 + the cost of every instruction.
std::uint32_t instruction_cost(const std::vector<INSTRUCTION>& sequence1,
                               const std::vector<INSTRUCTION>& sequence2);

// Cost as a format-3 write counts it: the cost of every instruction, + 1 when sequence 2 is not
// empty.
std::uint32_t format3_instruction_cost(const std::vector<INSTRUCTION>& sequence1,
                                       const std::vector<INSTRUCTION>& sequence2);

}  // namespace records
