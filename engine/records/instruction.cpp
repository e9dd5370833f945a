#include "records/instruction.h"

#include <algorithm>

#include "records/byte_codec.h"

namespace records {

void encode(const INSTRUCTION& instruction, std::span<std::uint8_t, INSTRUCTION::size> out) {
  put_bytes<0>(out, instruction.text);
}

void decode(std::span<const std::uint8_t, INSTRUCTION::size> in, INSTRUCTION& instruction) {
  get_bytes<0>(in, instruction.text);
}

INSTRUCTION make_instruction(std::string_view text) {
  INSTRUCTION instruction;
  // A macro line may fill all 15 bytes with no terminating zero ("SEND_APER(FFFF)"): the readers
  // take it bounded, so nothing of a full-width line is cut.
  instruction.text.fill('\0');
  std::copy_n(text.data(), std::min(text.size(), instruction.text.size()), instruction.text.data());
  return instruction;
}

std::uint32_t instruction_cost(const INSTRUCTION& instruction) {
  return text_of(instruction.text).starts_with("ID_DAT(") ? 5 : 1;
}

namespace {
std::uint32_t sequence_cost(const std::vector<INSTRUCTION>& sequence) {
  std::uint32_t cost = 0;
  for (const INSTRUCTION& instruction : sequence) cost += instruction_cost(instruction);
  return cost;
}
}  // namespace

std::uint32_t instruction_cost(const std::vector<INSTRUCTION>& sequence1,
                               const std::vector<INSTRUCTION>& sequence2) {
  return 1 + sequence_cost(sequence1) + sequence_cost(sequence2);
}

std::uint32_t format3_instruction_cost(const std::vector<INSTRUCTION>& sequence1,
                                       const std::vector<INSTRUCTION>& sequence2) {
  return sequence_cost(sequence1) + sequence_cost(sequence2) + (sequence2.empty() ? 0 : 1);
}

}  // namespace records
