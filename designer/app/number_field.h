// The number fields of the editors and selection dialogs: an edit's text read strictly
// (model/typed_value.h) and held to its bounds. A value out of bounds puts the bound's text in the
// edit and shows the bound's message; a text that is not a number is told as a value below the
// lower bound, so "nan", "inf", "1e5", "12abc" and an empty field never reach a record.
#pragma once

#include <cstdint>
#include <string>

#include "ui/afxwin.h"

namespace plandrel {

struct NumberBound {
  std::int64_t value;   // the bound itself (inclusive)
  std::string shown;    // what the edit shows when the value is refused
  std::string message;  // what the message box says
};

enum class NumberRead { ok, low, high, not_a_number };

// Reads edit `id` of `dialog` in `base` (10 or 16). ok: `value` holds the number. Otherwise the edit
// shows the bound's text, its message is shown and `value` holds the bound (the lower bound for a
// text that is not a number).
NumberRead ReadNumberField(CDialog& dialog, int id, int base, const NumberBound& low, const NumberBound& high,
                           std::int64_t& value);

// "%X" of a value: how the editors show identifiers and PDU types.
std::string HexText(unsigned value);

}  // namespace plandrel
