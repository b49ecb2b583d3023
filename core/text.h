#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quorvale {

// UTF-8 <-> UTF-16. Invalid UTF-8 bytes are taken as Windows-1252, so no input is lost.
std::u16string utf8ToUtf16(std::string_view s);
std::string utf16ToUtf8(std::u16string_view s);
bool isValidUtf8(std::string_view s);
// Field bytes from the outside world: UTF-8 where valid, else Windows-1252.
std::string decodeUtf8OrCp1252(std::string_view bytes);
std::string cp1252ToUtf8(std::string_view bytes);

// Lower case of one UTF-16 unit, for the registry's name order.
char16_t lowerUnit(char16_t c);
std::u16string lowerUtf16(std::u16string_view s);
// Registry name order: lower-cased UTF-16 units, shorter first on a tie.
int compareNames(std::string_view a, std::string_view b);
bool sameName(std::string_view a, std::string_view b);

// Text to a 32-bit signed integer, strictly, as the stored values and form fields have always
// been read: optional sign, optional "$"/"0x" hex, surrounding blanks rejected. Throws
// ConvertError.
int32_t strToInt(const std::string& text);
bool tryStrToInt(const std::string& text, int32_t& out);
// A port: a whole number in 1..65535.
bool tryParsePort(const std::string& text, uint16_t& out);
// What is wrong with a port text that tryParsePort refuses: not a number, or out of range.
std::string badPortMessage(const std::string& text);
// The port a text names; throws LauncherError with badPortMessage when it names none.
uint16_t portNumber(const std::string& text);

// Text from outside for a terminal or JSON: control characters (C0, DEL, C1) written as \t, \n,
// \r or \u001b; everything else as it is.
std::string escapeControlCharacters(std::string_view text);
// A server's text for display among other text: wrapped in FIRST STRONG ISOLATE ... POP
// DIRECTIONAL ISOLATE so that its direction stays inside it, with its control characters and
// its own line breaks, embeddings, overrides and isolates shown as \u202e and the like.
std::string isolatedDisplayText(std::string_view text);

#ifdef _WIN32
// UTF-8 to the wide text of the Windows API.
inline std::wstring utf8ToWide(std::string_view s) {
    std::wstring w;
    for (const char16_t c : utf8ToUtf16(s))
        w += static_cast<wchar_t>(c);
    return w;
}
#endif

} // namespace quorvale
