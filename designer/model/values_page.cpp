#include "model/values_page.h"

#include <unordered_map>

namespace plandrel {

namespace {

// Every line starts with a blank: the text opens with a blank line, and each entry ends its line.
constexpr std::string_view kPageStart = " \n ";
constexpr std::string_view kLineEnd = "\n ";
constexpr std::string_view kEquals = " = ";

}  // namespace

ValuesPage::Layout ValuesPage::Rebuild(std::vector<CONVERTED_VAR> entries, std::span<const PageVariable> variables) {
  entries_ = std::move(entries);
  units_.assign(entries_.size(), std::string());
  lines_.clear();

  // The first variable of each identifier, as the session orders them.
  std::unordered_map<std::int32_t, std::size_t> by_identifier;
  by_identifier.reserve(variables.size());
  for (std::size_t i = 0; i < variables.size(); ++i) by_identifier.try_emplace(variables[i].identifier, i);

  Layout layout;
  layout.text = kPageStart;
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    const CONVERTED_VAR& entry = entries_[i];
    if (entry.keyword == "gpe") {
      const std::size_t begin = layout.text.size();
      layout.text += DisplayText(entry.name);
      layout.bold.emplace_back(begin, layout.text.size());
      layout.text += kLineEnd;
    } else if (entry.keyword == "sl") {
      layout.text += kLineEnd;
    } else if (entry.HasValue()) {
      Line line;
      line.entry = i;
      if (const auto found = by_identifier.find(entry.Identifier()); found != by_identifier.end())
        line.variable = found->second;
      if (const auto* numeric = std::get_if<NumericConversion>(&entry.conversion))
        units_[i] = DisplayText(numeric->unit);
      line.value = ValueOf(line, variables);
      layout.text += DisplayText(entry.name);
      layout.text += kEquals;
      line.position = layout.text.size();
      layout.text += line.value;
      layout.text += kLineEnd;
      lines_.push_back(std::move(line));
    }
  }
  return layout;
}

std::vector<PageChange> ValuesPage::Update(std::span<const PageVariable> variables) {
  std::vector<PageChange> changes;
  std::ptrdiff_t shift = 0;  // what the changes so far moved the later lines by
  for (Line& line : lines_) {
    line.position = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(line.position) + shift);
    std::string value = ValueOf(line, variables);
    if (value == line.value) continue;
    shift += static_cast<std::ptrdiff_t>(value.size()) - static_cast<std::ptrdiff_t>(line.value.size());
    changes.push_back(PageChange{line.position, line.value.size(), value});
    line.value = std::move(value);
  }
  return changes;
}

std::string ValuesPage::ValueOf(const Line& line, std::span<const PageVariable> variables) const {
  if (line.variable == kNoVariable || line.variable >= variables.size()) return {};
  const PageVariable& variable = variables[line.variable];
  const CONVERTED_VAR& entry = entries_[line.entry];
  std::string value = DisplayText(ConvertEntry(entry, variable.snapshot, variable.length));
  if (entry.keyword == "c") {
    value += ' ';
    value += units_[line.entry];
  }
  return value;
}

}  // namespace plandrel
