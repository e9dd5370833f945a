// The library's string table: every code of the system that has a text of its own, with its
// string identifier, its French text (at the identifier) and its English text (at the
// identifier + 1). Texts are UTF-8 and stored without the line feed that ends each of them.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace faultra {

enum class Language { French, English };

struct Message {
    std::uint32_t code;
    std::uint16_t id;  // the French text's identifier; the English text is at id + 1
    std::string_view french;
    std::string_view english;

    constexpr std::string_view text(Language language) const {
        return language == Language::French ? french : english;
    }
};

// Texts are read into a 256-byte buffer: with its line feed a text holds at most 255 bytes.
inline constexpr std::size_t kMaxTextBytes = 255;

// Every listed code, in ascending code order.
std::span<const Message> messageTable();

// Identifier 1, the text of every code of the system that has none of its own.
const Message& unknownMessage();

// The row of exactly `code`, else the unknown-error row.
const Message& findMessage(std::uint32_t code);

}  // namespace faultra
