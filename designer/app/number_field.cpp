#include "number_field.h"

#include "model/typed_value.h"

namespace plandrel {

NumberRead ReadNumberField(CDialog& dialog, int id, int base, const NumberBound& low, const NumberBound& high,
                           std::int64_t& value) {
  const std::string text = dialog.GetDlgItemText(id);
  const std::optional<std::int64_t> typed = base == 16 ? ReadTypedHex(text) : ReadTypedDecimal(text);
  const NumberBound* refused = nullptr;
  NumberRead result = NumberRead::ok;
  if (!typed) {
    refused = &low;
    result = NumberRead::not_a_number;
  } else if (*typed < low.value) {
    refused = &low;
    result = NumberRead::low;
  } else if (*typed > high.value) {
    refused = &high;
    result = NumberRead::high;
  }
  if (refused == nullptr) {
    value = *typed;
    return NumberRead::ok;
  }
  dialog.SetDlgItemText(id, refused->shown.c_str());
  dialog.MessageBox(refused->message.c_str());
  value = refused->value;
  return result;
}

std::string HexText(unsigned value) { return qui::FormatString("%X", value); }

}  // namespace plandrel
