// ValuesPage: the text of the variables display. Every line starts with a blank: a group name
// (bold), an empty line, or "name = value" for an entry with a conversion; a numeric entry whose
// variable exists shows its unit after the value, even when the conversion fails.
//
// Rebuild lays the entries out once and notes, for each value, the variable it reads (the first of
// the session's variables with its identifier) and where its text stands. Update then gives only
// the values that changed, as replacements of those stretches, so that the display keeps its
// scroll position and selection and an update costs nothing where nothing moved. Each entry owns
// its own line, two entries of one name included.
//
// Plain code over entries and variable snapshots: no window, no lock. The snapshots must not
// change during a call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "model/interpretation_csv.h"

namespace plandrel {

// An on-line variable as the display reads it.
struct PageVariable {
  std::uint16_t identifier = 0;
  std::uint16_t length = 0;                           // the VARIABLE4 length
  const std::vector<std::uint8_t>* snapshot = nullptr;  // none before the first value
};

// Replace `length` bytes at `position` by `text`; the changes of one update apply in order, each
// position counted in the text as the changes before it left it.
struct PageChange {
  std::size_t position = 0;
  std::size_t length = 0;
  std::string text;
};

class ValuesPage {
 public:
  struct Layout {
    std::string text;
    std::vector<std::pair<std::size_t, std::size_t>> bold;  // [begin, end) of each group name
  };

  // The whole text of the entries over the variables.
  Layout Rebuild(std::vector<CONVERTED_VAR> entries, std::span<const PageVariable> variables);
  // The values that changed since the last Rebuild or Update. `variables` is the same list in the
  // same order as at Rebuild (the session's variables do not change while on line).
  std::vector<PageChange> Update(std::span<const PageVariable> variables);

  std::size_t EntryCount() const { return entries_.size(); }
  // Entries whose value is shown.
  std::size_t ValueLineCount() const { return lines_.size(); }

  static constexpr std::size_t kNoVariable = static_cast<std::size_t>(-1);

 private:
  struct Line {
    std::size_t entry = 0;
    std::size_t variable = kNoVariable;
    std::size_t position = 0;  // of the value, just after " = "
    std::string value;         // as shown now
  };
  std::string ValueOf(const Line& line, std::span<const PageVariable> variables) const;

  std::vector<CONVERTED_VAR> entries_;
  std::vector<std::string> units_;  // the shown unit of each entry (numeric entries)
  std::vector<Line> lines_;         // in text order
};

}  // namespace plandrel
