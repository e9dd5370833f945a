// libFuzzer harness for interpretation files: the whole input is the file. Besides crashes and
// sanitizer reports, it lays the entries out over a few variables whose bytes come from the input
// and checks that the page's updates, applied to its text, give the text of a page rebuilt from
// the new bytes, and that every line of the text starts with its blank.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "model/interpretation_csv.h"
#include "model/values_page.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const plandrel::InterpretationFile file = plandrel::ParseInterpretationCsv(text);
  if (file.status == plandrel::InterpretationStatus::no_header) check(file.entries.empty());

  // Variables of the first eight identifiers the file names, of 0 to 7 bytes taken from the input,
  // one in three never seen.
  std::vector<std::vector<std::uint8_t>> values;
  std::vector<plandrel::PageVariable> variables;
  for (const auto& entry : file.entries) {
    if (entry.Identifier() < 0 || entry.Identifier() > 0xFFFF || values.size() == 8) continue;
    values.emplace_back(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(size, values.size())));
  }
  variables.reserve(values.size());
  std::size_t index = 0;
  for (const auto& entry : file.entries) {
    if (entry.Identifier() < 0 || entry.Identifier() > 0xFFFF || index == values.size()) continue;
    const bool seen = index % 3 != 2;
    variables.push_back({static_cast<std::uint16_t>(entry.Identifier()), static_cast<std::uint16_t>(values[index].size()),
                         seen ? &values[index] : nullptr});
    ++index;
  }

  plandrel::ValuesPage page;
  std::string shown = page.Rebuild(file.entries, variables).text;
  for (std::size_t i = 0; i < shown.size(); ++i)
    if (shown[i] == '\n') check(i + 1 < shown.size() && shown[i + 1] == ' ');

  // New bytes in every value, then an update compared with a page rebuilt from them.
  for (auto& value : values)
    for (auto& byte : value) byte = static_cast<std::uint8_t>(byte * 7 + 1);
  for (const plandrel::PageChange& change : page.Update(variables)) {
    check(change.position + change.length <= shown.size());
    shown.replace(change.position, change.length, change.text);
  }
  plandrel::ValuesPage fresh;
  check(shown == fresh.Rebuild(file.entries, variables).text);
  return 0;
}
