#include "wine_prefix.h"
#include "paths.h"

#include "text.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <pwd.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace quorvale {

namespace {

constexpr std::string_view kHeader = "WINE REGISTRY Version 2";
// Real prefixes hold a few tens of MB; anything far beyond is not a registry file.
constexpr std::uintmax_t kMaxRegistryBytes = 256u << 20;

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// A quoted or bracketed text as Wine writes it, from s[i] to the unescaped `close`: "\\", "\"",
// C escapes, "\x" with up to four hex digits, "\" with up to three octal digits. Moves i past
// `close`; nothing when `close` never comes or an escape is broken.
std::optional<std::u16string> readEscaped(std::string_view s, size_t& i, char close) {
    std::u16string out;
    while (i < s.size()) {
        const char c = s[i];
        if (c == close) {
            ++i;
            return out;
        }
        if (static_cast<unsigned char>(c) >= 0x80) { // raw UTF-8, which Wine itself never writes
            size_t j = i;
            while (j < s.size() && static_cast<unsigned char>(s[j]) >= 0x80)
                ++j;
            out += utf8ToUtf16(s.substr(i, j - i));
            i = j;
            continue;
        }
        ++i;
        if (c != '\\') {
            out += static_cast<char16_t>(c);
            continue;
        }
        if (i >= s.size())
            return std::nullopt;
        const char e = s[i++];
        if (e == 'x') {
            unsigned value = 0;
            int digits = 0;
            for (; digits < 4 && i < s.size() && hexDigit(s[i]) >= 0; ++digits, ++i)
                value = value * 16 + static_cast<unsigned>(hexDigit(s[i]));
            if (digits == 0)
                return std::nullopt;
            out += static_cast<char16_t>(value);
        } else if (e >= '0' && e <= '7') {
            unsigned value = static_cast<unsigned>(e - '0');
            for (int digits = 1; digits < 3 && i < s.size() && s[i] >= '0' && s[i] <= '7';
                 ++digits, ++i)
                value = value * 8 + static_cast<unsigned>(s[i] - '0');
            out += static_cast<char16_t>(value);
        } else if (static_cast<unsigned char>(e) >= 0x80) {
            return std::nullopt;
        } else {
            static constexpr std::string_view named = "abtnvfre";
            static constexpr char16_t codes[] = {7, 8, 9, 10, 11, 12, 13, 27};
            const size_t k = named.find(e);
            out += k == std::string_view::npos ? static_cast<char16_t>(e) : codes[k];
        }
    }
    return std::nullopt;
}

bool onlyBlanksFrom(std::string_view s, size_t i) {
    for (; i < s.size(); ++i)
        if (!isBlank(s[i]))
            return false;
    return true;
}

// "41,00,42,00,00,00" as UTF-16LE, cut at its first NUL; nothing without one, so a value cut
// short by a damaged file never passes for a whole one.
std::optional<std::u16string> hexString(std::string_view s) {
    std::string bytes;
    size_t i = 0;
    while (true) {
        while (i < s.size() && isBlank(s[i]))
            ++i;
        if (i + 1 >= s.size() || hexDigit(s[i]) < 0 || hexDigit(s[i + 1]) < 0)
            return std::nullopt;
        bytes += static_cast<char>(hexDigit(s[i]) * 16 + hexDigit(s[i + 1]));
        i += 2;
        while (i < s.size() && isBlank(s[i]))
            ++i;
        if (i >= s.size())
            break;
        if (s[i++] != ',')
            return std::nullopt;
    }
    for (size_t k = 0; k + 1 < bytes.size(); k += 2) {
        const auto unit = static_cast<char16_t>(static_cast<unsigned char>(bytes[k]) |
                                                static_cast<unsigned char>(bytes[k + 1]) << 8);
        if (unit == 0) {
            std::u16string out;
            for (size_t j = 0; j < k; j += 2)
                out += static_cast<char16_t>(static_cast<unsigned char>(bytes[j]) |
                                             static_cast<unsigned char>(bytes[j + 1]) << 8);
            return out;
        }
    }
    return std::nullopt;
}

// The string data after `"name"=`: "text", str(1|2):"text", hex(1|2):bytes; nothing for the
// other types and for anything damaged.
std::optional<std::u16string> stringData(std::string_view s) {
    for (const std::string_view tag : {"str(1):", "str(2):"})
        if (s.substr(0, tag.size()) == tag)
            s.remove_prefix(tag.size());
    for (const std::string_view tag : {"hex(1):", "hex(2):"})
        if (s.substr(0, tag.size()) == tag)
            return hexString(s.substr(tag.size()));
    if (s.empty() || s[0] != '"')
        return std::nullopt;
    size_t i = 1;
    auto text = readEscaped(s, i, '"');
    if (!text || !onlyBlanksFrom(s, i))
        return std::nullopt;
    return text;
}

// The next logical line from pos: a line ending in "\" goes on in the next line when that
// starts with a blank, the way Wine wraps long hex data.
std::string nextLine(std::string_view text, size_t& pos) {
    std::string line;
    while (pos < text.size()) {
        const size_t end = std::min(text.find('\n', pos), text.size());
        std::string_view part = text.substr(pos, end - pos);
        pos = end + 1;
        while (!part.empty() && part.back() == '\r')
            part.remove_suffix(1);
        if (!line.empty()) {
            while (!part.empty() && isBlank(part.front()))
                part.remove_prefix(1);
        }
        line += part;
        if (line.empty() || line.back() != '\\' || pos >= text.size() ||
            (text[pos] != ' ' && text[pos] != '\t'))
            break;
        line.pop_back();
    }
    return line;
}

std::optional<std::string> readText(const fs::path& file) {
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(file, ec);
    if (ec || size > kMaxRegistryBytes)
        return std::nullopt;
    std::ifstream in(file, std::ios::binary);
    std::string text(static_cast<size_t>(size), '\0');
    if (!in.read(text.data(), static_cast<std::streamsize>(size)))
        text.resize(static_cast<size_t>(in.gcount()));
    return text;
}

} // namespace

std::vector<std::optional<std::string>>
wineRegistryStrings(std::string_view fileText, const std::vector<std::string>& keyPaths,
                    std::string_view valueName) {
    std::vector<std::optional<std::string>> found(keyPaths.size());
    if (fileText.substr(0, kHeader.size()) != kHeader)
        return found;
    std::vector<bool> seen(keyPaths.size());
    int section = -1; // the wanted key whose values follow, or -1
    size_t pos = 0;
    while (pos < fileText.size()) {
        const std::string line = nextLine(fileText, pos);
        if (line.empty() || line[0] == ';' || line[0] == '#')
            continue;
        if (line[0] == '[') {
            // A key line that cannot be read ends the section, so no value lands in a wrong key.
            section = -1;
            size_t i = 1;
            const auto name = readEscaped(line, i, ']');
            if (!name)
                continue;
            const std::string key = utf16ToUtf8(*name);
            for (size_t k = 0; k < keyPaths.size(); ++k)
                if (!seen[k] && sameName(key, keyPaths[k])) {
                    seen[k] = true; // a key that comes twice counts the first time
                    section = static_cast<int>(k);
                }
            continue;
        }
        if (section < 0 || found[static_cast<size_t>(section)])
            continue;
        std::optional<std::u16string> name;
        size_t i = 0;
        if (line[0] == '@') {
            name = std::u16string();
            i = 1;
        } else if (line[0] == '"') {
            i = 1;
            name = readEscaped(line, i, '"');
        }
        if (!name || i >= line.size() || line[i] != '=' || !sameName(utf16ToUtf8(*name), valueName))
            continue;
        if (const auto data = stringData(std::string_view(line).substr(i + 1)))
            found[static_cast<size_t>(section)] = utf16ToUtf8(*data);
    }
    return found;
}

std::string environmentWinePrefix() {
    if (const char* p = std::getenv("WINEPREFIX"); p && *p)
        return p;
    const std::string home = expandHome("~");
    return home == "~" ? std::string() : home + "/.wine";
}

std::string winePrefixFolder(const std::string& stored, const std::string& environmentPrefix) {
    return stored.empty() ? environmentPrefix : expandHome(stored);
}

std::optional<std::string> unixPathInPrefix(const std::string& prefix,
                                            std::string_view windowsPath) {
    const auto letter = windowsPath.empty() ? 0 : static_cast<unsigned char>(windowsPath[0]);
    if (prefix.empty() || windowsPath.size() < 2 || !std::isalpha(letter) || windowsPath[1] != ':')
        return std::nullopt;
    // "C:folder" is relative to that drive's current folder, which only a running program has.
    if (windowsPath.size() > 2 && windowsPath[2] != '\\' && windowsPath[2] != '/')
        return std::nullopt;
    const std::string drive{static_cast<char>(std::tolower(letter)), ':'};
    std::error_code ec;
    fs::path p = fs::canonical(pathFromUtf8(prefix) / "dosdevices" / drive, ec);
    if (ec)
        return std::nullopt;
    std::string_view rest = windowsPath.substr(2);
    while (!rest.empty()) {
        const size_t sep = rest.find_first_of("\\/");
        const std::string part(rest.substr(0, sep));
        rest = sep == std::string_view::npos ? std::string_view() : rest.substr(sep + 1);
        if (part.empty() || part == ".")
            continue;
        if (part == "..")
            return std::nullopt;
        const fs::path exact = p / pathFromUtf8(part);
        if (fs::exists(exact, ec)) {
            p = exact;
            continue;
        }
        std::optional<fs::path> match;
        fs::directory_iterator it(p, ec), end;
        for (; !ec && it != end && !match; it.increment(ec))
            if (sameName(pathToUtf8(it->path().filename()), part))
                match = it->path();
        if (!match)
            return std::nullopt;
        p = *match;
    }
    return pathToUtf8(p);
}

namespace {

// The string values `valueName` of `keys` in one of the prefix's registry files; none when the
// file cannot be read.
std::vector<std::optional<std::string>> stringsInPrefix(const std::string& prefix, const char* file,
                                                        const std::vector<std::string>& keys,
                                                        std::string_view valueName) {
    const auto text = prefix.empty() ? std::nullopt : readText(pathFromUtf8(prefix) / file);
    return text ? wineRegistryStrings(*text, keys, valueName)
                : std::vector<std::optional<std::string>>(keys.size());
}

} // namespace

std::string gameFolderInPrefix(const std::string& prefix) {
    static const std::vector<std::string> keys = {
        "Software\\Bohemia Interactive Studio\\ArmA 2",
        "Software\\Wow6432Node\\Bohemia Interactive Studio\\ArmA 2",
        "Software\\Bohemia Interactive Studio\\ArmA 2 OA",
        "Software\\Wow6432Node\\Bohemia Interactive Studio\\ArmA 2 OA"};
    for (const auto& main : stringsInPrefix(prefix, "system.reg", keys, "MAIN")) {
        std::error_code ec;
        if (!main)
            continue;
        if (const auto folder = unixPathInPrefix(prefix, *main);
            folder && fs::is_directory(pathFromUtf8(*folder), ec))
            return *folder;
    }
    return {};
}

std::string playerNameInPrefix(const std::string& prefix) {
    static const std::vector<std::string> keys = {
        "Software\\Bohemia Interactive Studio\\ArmA 2",
        "Software\\Bohemia Interactive Studio\\ArmA 2 OA"};
    for (const auto& name : stringsInPrefix(prefix, "user.reg", keys, "Player Name"))
        if (name && !name->empty())
            return *name;
    return {};
}

std::vector<std::string> documentFoldersInPrefix(const std::string& prefix) {
    // Wine names the user's folder after the login; Proton's prefixes use "steamuser".
    std::vector<std::string> users;
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_name)
        users.emplace_back(pw->pw_name);
    for (const char* var : {"USER", "LOGNAME"})
        if (const char* v = std::getenv(var); v && *v)
            users.emplace_back(v);
    users.emplace_back("steamuser");

    std::vector<std::string> folders;
    std::vector<fs::path> seen;
    for (const std::string& user : users) {
        for (const char* documents : {"Documents", "My Documents"}) {
            const auto folder = unixPathInPrefix(prefix, "C:\\users\\" + user + "\\" + documents);
            std::error_code ec;
            if (!folder || !fs::is_directory(pathFromUtf8(*folder), ec))
                continue;
            const fs::path real = fs::canonical(pathFromUtf8(*folder), ec);
            if (ec || std::find(seen.begin(), seen.end(), real) != seen.end())
                continue;
            seen.push_back(real);
            folders.push_back(*folder);
        }
    }
    return folders;
}

} // namespace quorvale
