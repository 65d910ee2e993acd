#include "batch/name_text.h"

#include <cstddef>
#include <cstdint>

#include "platform/directory_listing.h"

namespace {

// The length of the valid UTF-8 sequence at text[at], or 0 when the byte
// there starts none (overlong forms and surrogates are not valid).
size_t utf8_sequence_length(const std::string& text, size_t at, uint32_t& code) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    size_t length = 0;
    uint32_t minimum = 0;
    if (lead < 0x80) {
        code = lead;
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        minimum = 0x10000;
    } else {
        return 0;
    }
    code = lead & (0x7Fu >> length);
    if (at + length > text.size()) return 0;
    for (size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) return 0;
        code = (code << 6) | (byte(at + i) & 0x3Fu);
    }
    if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
    return length;
}

void append_hex_escape(std::string& text, unsigned char value) {
    static const char DIGITS[] = "0123456789ABCDEF";
    text += "\\x";
    text += DIGITS[value >> 4];
    text += DIGITS[value & 0x0F];
}

std::string escaped(const std::string& name, bool controls) {
    const bool backslash_in_names = platform_path_separator() != '\\';
    std::string text;
    text.reserve(name.size());
    size_t at = 0;
    while (at < name.size()) {
        uint32_t code = 0;
        const size_t length = utf8_sequence_length(name, at, code);
        const bool control = code < 0x20 || code == 0x7F || (code >= 0x80 && code <= 0x9F);
        if (length == 0 || (controls && control)) {
            for (size_t i = 0; i < (length == 0 ? 1 : length); ++i) {
                append_hex_escape(text, static_cast<unsigned char>(name[at + i]));
            }
            at += length == 0 ? 1 : length;
            continue;
        }
        if (code == '\\' && backslash_in_names) text += '\\';
        text.append(name, at, length);
        at += length;
    }
    return text;
}

}  // namespace

std::string name_report_text(const std::string& name) {
    return escaped(name, false);
}

bool name_report_text_exact(const std::string& name) {
    return name_report_text(name) == name;
}

std::string name_console_text(const std::string& name) {
    return escaped(name, true);
}

std::string name_hex_bytes(const std::string& name) {
    static const char DIGITS[] = "0123456789abcdef";
    std::string text;
    text.reserve(name.size() * 2);
    for (const char c : name) {
        const unsigned char value = static_cast<unsigned char>(c);
        text += DIGITS[value >> 4];
        text += DIGITS[value & 0x0F];
    }
    return text;
}

namespace {

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::string name_from_report_text(const std::string& text) {
    const bool backslash_in_names = platform_path_separator() != '\\';
    std::string name;
    name.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x' && hex_digit(text[i + 2]) >= 0 &&
            hex_digit(text[i + 3]) >= 0) {
            name += static_cast<char>(hex_digit(text[i + 2]) * 16 + hex_digit(text[i + 3]));
            i += 3;
        } else if (backslash_in_names && text[i] == '\\' && i + 1 < text.size() && text[i + 1] == '\\') {
            name += '\\';
            i += 1;
        } else {
            name += text[i];
        }
    }
    return name;
}

bool name_from_hex_bytes(const std::string& hex, std::string& name) {
    if (hex.size() % 2 != 0) return false;
    name.clear();
    for (size_t i = 0; i < hex.size(); i += 2) {
        const int high = hex_digit(hex[i]);
        const int low = hex_digit(hex[i + 1]);
        if (high < 0 || low < 0) return false;
        name += static_cast<char>(high * 16 + low);
    }
    return true;
}
