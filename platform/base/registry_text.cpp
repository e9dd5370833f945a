#include "base/registry_text.h"

#include <array>
#include <charconv>
#include <cstdio>
#include <optional>

namespace qbase::registry::detail {
namespace {

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
constexpr std::string_view kHeaderOld = "REGEDIT4";

void appendQuoted(std::string& out, std::string_view text) {
    out += '"';
    for (char c : text) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    out += '"';
}

bool isPlainString(const std::vector<std::uint8_t>& data) {
    if (data.empty() || data.back() != 0) return false;
    for (std::size_t i = 0; i + 1 < data.size(); ++i) {
        if (data[i] == 0 || data[i] == '\r' || data[i] == '\n') return false;
    }
    return true;
}

void appendHex(std::string& out, const std::vector<std::uint8_t>& data) {
    static constexpr char digits[] = "0123456789abcdef";
    for (std::size_t i = 0; i < data.size(); ++i) {
        if (i) out += ',';
        out += digits[data[i] >> 4];
        out += digits[data[i] & 0xF];
    }
}

void appendValue(std::string& out, const NamedValue& named) {
    if (named.name.empty()) {
        out += '@';
    } else {
        appendQuoted(out, named.name);
    }
    out += '=';
    const Value& v = named.value;
    if (v.type == ValueType::String && isPlainString(v.data)) {
        appendQuoted(out, std::string_view(reinterpret_cast<const char*>(v.data.data()), v.data.size() - 1));
    } else if (v.type == ValueType::Dword && v.data.size() == 4) {
        const std::uint32_t d = v.data[0] | v.data[1] << 8 | v.data[2] << 16 | std::uint32_t{v.data[3]} << 24;
        std::array<char, 16> text{};
        std::snprintf(text.data(), text.size(), "dword:%08x", d);
        out += text.data();
    } else if (v.type == ValueType::Binary) {
        out += "hex:";
        appendHex(out, v.data);
    } else {
        std::array<char, 24> text{};  // the type in hexadecimal, as the registry editor writes it
        std::snprintf(text.data(), text.size(), "hex(%x):", static_cast<std::uint32_t>(v.type));
        out += text.data();
        appendHex(out, v.data);
    }
    out += '\n';
}

void appendKey(std::string& out, const Key& key, const std::string& path, bool isRoot) {
    if (!isRoot || !key.values.empty()) {
        out += "\n[" + path + "]\n";
        for (const auto& [folded, named] : key.values) appendValue(out, named);
    }
    for (const auto& [folded, sub] : key.subkeys) appendKey(out, *sub, path + "\\" + sub->name, false);
}

// ---- reading

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

// Reads a quoted string at the start of `s`; leaves `s` after the closing quote.
std::optional<std::string> takeQuoted(std::string_view& s) {
    if (s.empty() || s.front() != '"') return std::nullopt;
    std::string text;
    for (std::size_t i = 1; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size()) {
            text += s[++i];
        } else if (s[i] == '"') {
            s.remove_prefix(i + 1);
            return text;
        } else {
            text += s[i];
        }
    }
    return std::nullopt;
}

std::optional<std::vector<std::uint8_t>> parseHexBytes(std::string_view s) {
    std::vector<std::uint8_t> bytes;
    while (!(s = trim(s)).empty()) {
        const std::size_t comma = s.find(',');
        const std::string_view item = trim(s.substr(0, comma));
        unsigned byte = 0;
        const auto [end, ec] = std::from_chars(item.data(), item.data() + item.size(), byte, 16);
        if (ec != std::errc{} || end != item.data() + item.size() || item.size() > 2) return std::nullopt;
        bytes.push_back(static_cast<std::uint8_t>(byte));
        if (comma == std::string_view::npos) break;
        s.remove_prefix(comma + 1);
    }
    return bytes;
}

std::optional<Value> parseData(std::string_view s) {
    s = trim(s);
    if (!s.empty() && s.front() == '"') {
        std::optional<std::string> text = takeQuoted(s);
        if (!text || !trim(s).empty()) return std::nullopt;
        return stringValue(*text);
    }
    if (s.starts_with("dword:")) {
        const std::string_view digits = s.substr(6);
        std::uint32_t d = 0;
        const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), d, 16);
        if (ec != std::errc{} || end != digits.data() + digits.size() || digits.size() > 8) return std::nullopt;
        return dwordValue(d);
    }
    std::uint32_t type = static_cast<std::uint32_t>(ValueType::Binary);
    if (s.starts_with("hex(")) {
        const std::size_t close = s.find("):");
        if (close == std::string_view::npos) return std::nullopt;
        const auto [end, ec] = std::from_chars(s.data() + 4, s.data() + close, type, 16);
        if (ec != std::errc{} || end != s.data() + close) return std::nullopt;
        s.remove_prefix(close + 2);
    } else if (s.starts_with("hex:")) {
        s.remove_prefix(4);
    } else {
        return std::nullopt;
    }
    std::optional<std::vector<std::uint8_t>> bytes = parseHexBytes(s);
    if (!bytes) return std::nullopt;
    return Value{static_cast<ValueType>(type), std::move(*bytes)};
}

// Splits the text into logical lines: a line ending in "\" continues on the next (long hex data).
std::vector<std::string> logicalLines(std::string_view text) {
    std::vector<std::string> lines;
    std::string pending;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = trim(text.substr(start, end - start));
        start = end + 1;
        // Quoted data ends in '"' and sections in ']', so only hex data ends in "\".
        if (!line.empty() && line.back() == '\\') {
            line.remove_suffix(1);
            pending += line;
            continue;
        }
        pending += line;
        lines.push_back(std::move(pending));
        pending.clear();
    }
    if (!pending.empty()) lines.push_back(std::move(pending));
    return lines;
}

}  // namespace

std::string formatHive(const Hive& hive) {
    std::string out(kHeader);
    out += '\n';
    appendKey(out, hive.localMachine, hive.localMachine.name, true);
    appendKey(out, hive.currentUser, hive.currentUser.name, true);
    return out;
}

Hive parseHive(std::string_view text) {
    Hive hive;
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    Key* section = nullptr;
    for (const std::string& line : logicalLines(text)) {
        std::string_view s = line;
        if (s.empty() || s.front() == ';' || s == kHeader || s == kHeaderOld) continue;
        if (s.front() == '[') {
            section = nullptr;
            const std::size_t close = s.rfind(']');
            if (close == std::string_view::npos) continue;
            std::vector<std::string> path = splitPath(s.substr(1, close - 1));
            if (path.empty()) continue;
            const std::string root = foldCase(path.front());
            Key* rootKey = root == "hkey_local_machine" ? &hive.localMachine
                           : root == "hkey_current_user" ? &hive.currentUser
                                                         : nullptr;
            if (!rootKey) continue;
            path.erase(path.begin());
            bool created = false;
            section = &rootKey->create(path, created);
            continue;
        }
        if (!section) continue;
        std::optional<std::string> name;
        if (s.front() == '@') {
            name = std::string();
            s.remove_prefix(1);
        } else {
            name = takeQuoted(s);
        }
        s = trim(s);
        if (!name || s.empty() || s.front() != '=') continue;
        std::optional<Value> value = parseData(s.substr(1));
        if (!value) continue;
        section->values[foldCase(*name)] = NamedValue{*name, std::move(*value)};
    }
    return hive;
}

}  // namespace qbase::registry::detail
