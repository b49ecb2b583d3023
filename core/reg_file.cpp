#include "reg_file.h"

#include "text.h"

#include <cstring>

namespace quorvale {

bool NameLess::operator()(const std::string& a, const std::string& b) const {
    return compareNames(a, b) < 0;
}

RegKey::~RegKey() {
    std::vector<std::unique_ptr<RegKey>> doomed;
    for (auto& [n, k] : subkeys)
        doomed.push_back(std::move(k));
    subkeys.clear();
    while (!doomed.empty()) {
        const std::unique_ptr<RegKey> k = std::move(doomed.back());
        doomed.pop_back();
        for (auto& [n, c] : k->subkeys)
            doomed.push_back(std::move(c));
        k->subkeys.clear();
    }
}

RegKey* RegKey::child(const std::string& n) const {
    const auto it = subkeys.find(n);
    return it == subkeys.end() ? nullptr : it->second.get();
}

namespace {
// The key of that name in a map of keys, made when it is not there yet.
RegKey& keyIn(std::map<std::string, std::unique_ptr<RegKey>, NameLess>& keys,
              const std::string& name) {
    auto& slot = keys[name];
    if (!slot) {
        slot = std::make_unique<RegKey>();
        slot->name = name;
    }
    return *slot;
}
} // namespace

RegKey& RegKey::childOrCreate(const std::string& n) {
    return keyIn(subkeys, n);
}

std::vector<std::string> splitKeyPath(const std::string& path) {
    std::vector<std::string> parts;
    std::string cur;
    for (const char c : path) {
        if (c == '\\') {
            if (!cur.empty())
                parts.push_back(std::move(cur));
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!cur.empty())
        parts.push_back(std::move(cur));
    return parts;
}

const char* rootName(RootKey root) {
    return root == RootKey::LocalMachine ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER";
}

RegKey& RegTree::root(const std::string& name) {
    return keyIn(roots_, name);
}

RegKey* RegTree::find(const std::string& rootName, const std::string& path) const {
    return find(rootName, splitKeyPath(path));
}

RegKey& RegTree::findOrCreate(const std::string& rootName, const std::string& path) {
    return findOrCreate(rootName, splitKeyPath(path));
}

RegKey* RegTree::find(const std::string& rootName, const std::vector<std::string>& parts) const {
    const auto it = roots_.find(rootName);
    if (it == roots_.end())
        return nullptr;
    RegKey* k = it->second.get();
    for (const auto& part : parts) {
        k = k->child(part);
        if (!k)
            return nullptr;
    }
    return k;
}

RegKey& RegTree::findOrCreate(const std::string& rootName, const std::vector<std::string>& parts) {
    RegKey* k = &root(rootName);
    for (const auto& part : parts)
        k = &k->childOrCreate(part);
    return *k;
}

std::string expandStringText(const RegValue& v) {
    if (!v.inHex())
        return v.text.substr(0, v.text.find('\0'));
    std::u16string u;
    for (size_t i = 0; i + 1 < v.raw.size(); i += 2) {
        const auto c = static_cast<char16_t>(v.raw[i] | (v.raw[i + 1] << 8));
        if (c == 0)
            break;
        u += c;
    }
    return utf16ToUtf8(u);
}

// ---------------------------------------------------------------------------------------------
// Writing

namespace {

void appendAscii(std::u16string& out, const char* s) {
    while (*s)
        out += static_cast<char16_t>(*s++);
}

std::u16string escapeText(const std::string& s) {
    std::u16string out;
    for (const char16_t c : utf8ToUtf16(s)) {
        switch (c) {
        case 0:
            out += u"\\0";
            break;
        case u'\r':
            out += u"\\r";
            break;
        case u'\n':
            out += u"\\n";
            break;
        case u'\\':
            out += u"\\\\";
            break;
        case u'"':
            out += u"\\\"";
            break;
        default:
            out += c;
        }
    }
    return out;
}

void writeHex(std::u16string& out, size_t lineLen, ValueType type,
              const std::vector<uint8_t>& data) {
    static const char digits[] = "0123456789abcdef";
    char head[24];
    if (type == ValueType::Binary)
        std::strcpy(head, "hex:");
    else
        std::snprintf(head, sizeof head, "hex(%x):", static_cast<unsigned>(type));
    appendAscii(out, head);
    lineLen += std::strlen(head);
    for (size_t i = 0; i < data.size(); ++i) {
        out += static_cast<char16_t>(digits[data[i] >> 4]);
        out += static_cast<char16_t>(digits[data[i] & 15]);
        if (i + 1 == data.size())
            break;
        out += u',';
        lineLen += 3;
        if (lineLen >= 77) {
            out += u"\\\r\n  ";
            lineLen = 2;
        }
    }
}

void writeValue(std::u16string& out, const RegValue& v) {
    size_t lineLen;
    if (v.name.empty()) {
        out += u"@=";
        lineLen = 2;
    } else {
        const std::u16string n = escapeText(v.name);
        out += u'"';
        out += n;
        out += u"\"=";
        lineLen = n.size() + 3;
    }
    if (v.inHex()) {
        writeHex(out, lineLen, v.type, v.raw);
    } else if (v.type == ValueType::String) {
        out += u'"';
        out += escapeText(v.text);
        out += u'"';
    } else {
        char buf[16];
        std::snprintf(buf, sizeof buf, "dword:%08x", v.dword);
        appendAscii(out, buf);
    }
    out += u"\r\n";
}

// A key and everything below it, depth first, parents before children; a loop, not recursion,
// so that no depth of keys can run out of stack.
void writeKey(std::u16string& out, const RegKey& top, std::u16string topPath) {
    std::vector<std::pair<const RegKey*, std::u16string>> todo;
    todo.emplace_back(&top, std::move(topPath));
    while (!todo.empty()) {
        const RegKey* key = todo.back().first;
        const std::u16string path = std::move(todo.back().second);
        todo.pop_back();
        out += u"\r\n[";
        out += path;
        out += u"]\r\n";
        for (const auto& [n, v] : key->values)
            writeValue(out, v);
        for (auto it = key->subkeys.rbegin(); it != key->subkeys.rend(); ++it)
            todo.emplace_back(it->second.get(), path + u'\\' + utf8ToUtf16(it->second->name));
    }
}

std::string toBytes(const std::u16string& text) {
    std::string bytes;
    bytes.resize(2 + text.size() * 2);
    bytes[0] = '\xFF';
    bytes[1] = '\xFE';
    for (size_t i = 0; i < text.size(); ++i) {
        bytes[2 + 2 * i] = static_cast<char>(text[i] & 0xFF);
        bytes[3 + 2 * i] = static_cast<char>(text[i] >> 8);
    }
    return bytes;
}

} // namespace

std::string serializeRegFile(const RegTree& tree) {
    std::u16string out = u"Windows Registry Editor Version 5.00\r\n";
    for (const auto& [name, root] : tree.roots()) {
        const std::u16string rootPath = utf8ToUtf16(root->name);
        // A root without subkeys is written too, so that it is there again when read.
        if (!root->values.empty() || root->subkeys.empty()) {
            out += u"\r\n[" + rootPath + u"]\r\n";
            for (const auto& [n, v] : root->values)
                writeValue(out, v);
        }
        for (const auto& [n, sub] : root->subkeys)
            writeKey(out, *sub, rootPath + u'\\' + utf8ToUtf16(sub->name));
    }
    out += u"\r\n";
    return toBytes(out);
}

std::string serializeRegSubtree(const RegKey& key, const std::string& fullPath) {
    std::u16string out = u"Windows Registry Editor Version 5.00\r\n";
    writeKey(out, key, utf8ToUtf16(fullPath));
    out += u"\r\n";
    return toBytes(out);
}

// ---------------------------------------------------------------------------------------------
// Reading

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

// The parts of a key path, counted without making them.
size_t countKeyParts(std::string_view path) {
    size_t n = 0;
    bool inPart = false;
    for (const char c : path) {
        if (c == '\\')
            inPart = false;
        else if (!inPart)
            inPart = true, ++n;
    }
    return n;
}

// Reads a quoted text starting at s[pos] == '"'; leaves pos after the closing quote.
bool quoted(std::string_view s, size_t& pos, std::string* out) {
    ++pos;
    if (out)
        out->clear();
    while (pos < s.size()) {
        const char c = s[pos];
        if (c == '"') {
            ++pos;
            return true;
        }
        if (c == '\\' && pos + 1 < s.size()) {
            const char n = s[pos + 1];
            if (out) {
                if (n == '\\' || n == '"')
                    *out += n;
                else if (n == 'n')
                    *out += '\n';
                else if (n == 'r')
                    *out += '\r';
                else if (n == '0')
                    *out += '\0';
                else {
                    *out += c;
                    *out += n;
                }
            }
            pos += 2;
            continue;
        }
        if (out)
            *out += c;
        ++pos;
    }
    return false;
}

// Whether a line is a value whose data is hex bytes, which may go on over further lines.
bool isHexValueLine(std::string_view line) {
    size_t pos = 0;
    if (line.empty())
        return false;
    if (line[0] == '@')
        pos = 1;
    else if (line[0] != '"' || !quoted(line, pos, nullptr))
        return false;
    while (pos < line.size() && line[pos] == ' ')
        ++pos;
    if (pos >= line.size() || line[pos] != '=')
        return false;
    ++pos;
    while (pos < line.size() && line[pos] == ' ')
        ++pos;
    return line.substr(pos, 3) == "hex";
}

bool hexDigit(char c, unsigned& v) {
    if (c >= '0' && c <= '9')
        v = static_cast<unsigned>(c - '0');
    else if (c >= 'a' && c <= 'f')
        v = static_cast<unsigned>(c - 'a' + 10);
    else if (c >= 'A' && c <= 'F')
        v = static_cast<unsigned>(c - 'A' + 10);
    else
        return false;
    return true;
}

bool restIsBlank(std::string_view s, size_t pos) {
    for (; pos < s.size(); ++pos) {
        if (s[pos] == ';')
            return true;
        if (!isBlank(s[pos]))
            return false;
    }
    return true;
}

struct Parser {
    RegTree& tree;
    RegParseError& err;
    bool v4 = false;
    RegKey* current = nullptr;

    bool fail(int line, std::string msg) {
        err.line = line;
        err.message = std::move(msg);
        return false;
    }

    static std::string rootAlias(const std::string& r) {
        if (sameName(r, "HKCU"))
            return "HKEY_CURRENT_USER";
        if (sameName(r, "HKLM"))
            return "HKEY_LOCAL_MACHINE";
        if (sameName(r, "HKCR"))
            return "HKEY_CLASSES_ROOT";
        if (sameName(r, "HKU"))
            return "HKEY_USERS";
        if (sameName(r, "HKCC"))
            return "HKEY_CURRENT_CONFIG";
        return r;
    }

    bool keyLine(int ln, std::string_view line) {
        const size_t close = line.rfind(']');
        if (close == std::string::npos)
            return fail(ln, "a key line without its closing ']'");
        std::string_view path = line.substr(1, close - 1);
        bool remove = false;
        if (!path.empty() && path[0] == '-') {
            remove = true;
            path.remove_prefix(1);
        }
        if (countKeyParts(path) > MaxKeyDepth + 1)
            return fail(ln, "a key nested deeper than " + std::to_string(MaxKeyDepth) +
                                " levels, more than Windows allows");
        auto parts = splitKeyPath(std::string(path));
        if (parts.empty() || rootAlias(parts[0]).rfind("HKEY_", 0) != 0)
            return fail(ln, "a key outside the registry roots");
        const std::string rootN = rootAlias(parts[0]);
        parts.erase(parts.begin());
        current = nullptr;
        if (remove) {
            if (parts.empty())
                return true;
            const std::string last = std::move(parts.back());
            parts.pop_back();
            if (RegKey* parent = tree.find(rootN, parts))
                parent->subkeys.erase(last);
            return true;
        }
        current = &tree.findOrCreate(rootN, parts);
        return true;
    }

    bool valueLine(int ln, std::string_view line) {
        if (!current)
            return fail(ln, "a value outside any key");
        size_t pos = 0;
        std::string name;
        if (line[0] == '@') {
            pos = 1;
        } else if (!quoted(line, pos, &name)) {
            return fail(ln, "a value name without its closing quote");
        }
        while (pos < line.size() && line[pos] == ' ')
            ++pos;
        if (pos >= line.size() || line[pos] != '=')
            return fail(ln, "a value name not followed by '='");
        ++pos;
        while (pos < line.size() && line[pos] == ' ')
            ++pos;
        const std::string_view data = line.substr(pos);
        RegValue v;
        v.name = name;
        if (!data.empty() && data[0] == '-' && restIsBlank(data, 1)) {
            current->values.erase(name);
            return true;
        }
        if (!data.empty() && data[0] == '"') {
            size_t p = 0;
            if (!quoted(data, p, &v.text) || !restIsBlank(data, p))
                return fail(ln, "a text value without its closing quote");
            v.type = ValueType::String;
        } else if (data.substr(0, 6) == "dword:") {
            size_t p = 6;
            uint32_t d = 0;
            unsigned digit;
            size_t n = 0;
            while (p < data.size() && hexDigit(data[p], digit) && n < 8) {
                d = (d << 4) | digit;
                ++p;
                ++n;
            }
            if (n == 0 || !restIsBlank(data, p))
                return fail(ln, "a dword value that is not 1 to 8 hex digits");
            v.type = ValueType::Dword;
            v.dword = d;
        } else if (data.substr(0, 3) == "hex") {
            size_t p = 3;
            uint32_t type = 3;
            if (p < data.size() && data[p] == '(') {
                ++p;
                type = 0;
                unsigned digit;
                size_t n = 0;
                while (p < data.size() && hexDigit(data[p], digit) && n < 8) {
                    type = (type << 4) | digit;
                    ++p;
                    ++n;
                }
                if (n == 0 || p >= data.size() || data[p] != ')')
                    return fail(ln, "a hex value with a bad type");
                ++p;
            }
            if (p >= data.size() || data[p] != ':')
                return fail(ln, "a hex value without ':'");
            ++p;
            std::vector<uint8_t> bytes;
            while (p < data.size()) {
                while (p < data.size() && isBlank(data[p]))
                    ++p;
                if (p >= data.size() || data[p] == ';')
                    break;
                unsigned hi, lo;
                if (p + 1 >= data.size() || !hexDigit(data[p], hi) || !hexDigit(data[p + 1], lo))
                    return fail(ln, "a hex value with a byte that is not two hex digits");
                bytes.push_back(static_cast<uint8_t>(hi << 4 | lo));
                p += 2;
                while (p < data.size() && isBlank(data[p]))
                    ++p;
                if (p < data.size() && data[p] == ',')
                    ++p;
                else if (p < data.size() && data[p] != ';')
                    return fail(ln, "a hex value with bytes not separated by ','");
            }
            if (v4 && (type == 1 || type == 2 || type == 7)) {
                // REGEDIT4 keeps these in the ANSI code page; the store holds UTF-16LE.
                std::string ansi(bytes.begin(), bytes.end());
                bytes.clear();
                for (const char16_t c : utf8ToUtf16(cp1252ToUtf8(ansi))) {
                    bytes.push_back(static_cast<uint8_t>(c & 0xFF));
                    bytes.push_back(static_cast<uint8_t>(c >> 8));
                }
            }
            if (type == 4 && bytes.size() == 4) {
                v.type = ValueType::Dword;
                v.dword = static_cast<uint32_t>(bytes[0] | bytes[1] << 8 | bytes[2] << 16 |
                                                static_cast<uint32_t>(bytes[3]) << 24);
            } else {
                v.type = static_cast<ValueType>(type);
                v.raw = std::move(bytes);
                v.hexForm = true;
            }
        } else {
            return fail(ln, "value data that is neither text, dword nor hex");
        }
        auto it = current->values.find(name);
        if (it != current->values.end()) {
            v.name = it->second.name;
            it->second = std::move(v);
        } else {
            current->values.emplace(name, std::move(v));
        }
        return true;
    }
};

// The text of a v5 file, refusing lone surrogates: UTF-8 cannot hold them, and two names that
// differed only there would become one.
bool decodeUtf16File(const std::string& bytes, std::string& text, RegParseError& err) {
    if (bytes.size() % 2 != 0) {
        err = {1, "the file is cut short in the middle of a character"};
        return false;
    }
    std::u16string u;
    u.reserve(bytes.size() / 2);
    int line = 1;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
        const auto c = static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                             static_cast<unsigned char>(bytes[i + 1]) << 8);
        const bool high = c >= 0xD800 && c < 0xDC00, low = c >= 0xDC00 && c < 0xE000;
        const bool pairedLow = low && !u.empty() && u.back() >= 0xD800 && u.back() < 0xDC00;
        const bool highAtEnd = !u.empty() && u.back() >= 0xD800 && u.back() < 0xDC00 && !low;
        if ((low && !pairedLow) || highAtEnd || (high && i + 3 >= bytes.size())) {
            err = {line, "a lone UTF-16 surrogate, which cannot be kept"};
            return false;
        }
        if (c == u'\n')
            ++line;
        u += c;
    }
    text = utf16ToUtf8(u);
    return true;
}

} // namespace

bool parseRegFile(const std::string& bytes, RegTree& tree, RegParseError& err) {
    std::string text;
    bool v4 = false;
    if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') {
        if (!decodeUtf16File(bytes, text, err))
            return false;
    } else if (bytes.rfind("REGEDIT4", 0) == 0) {
        v4 = true;
        text = cp1252ToUtf8(bytes);
    } else {
        err = {1, "not a registry file (no 'Windows Registry Editor Version 5.00' or "
                  "'REGEDIT4' header)"};
        return false;
    }

    Parser p{tree, err};
    p.v4 = v4;
    size_t pos = 0;
    int ln = 0;
    bool header = true;
    std::string joined;     // a hex value continued over several lines
    bool continued = false; // the line before ended with '\' inside a hex value
    int firstLine = 0;      // where the value or key began
    while (pos <= text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        std::string_view line(text.data() + pos, end - pos);
        pos = end + 1;
        ++ln;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (header) {
            const char* want = v4 ? "REGEDIT4" : "Windows Registry Editor Version 5.00";
            if (line != want)
                return p.fail(ln, "not a registry file (wrong header line)");
            header = false;
            continue;
        }
        while (!line.empty() && isBlank(line.front()))
            line.remove_prefix(1);
        if (!continued)
            firstLine = ln;
        // Each piece is appended once: a value wrapped over many lines costs its length.
        if (!line.empty() && line.back() == '\\' && (continued || isHexValueLine(line))) {
            if (!continued)
                joined.clear();
            joined.append(line.substr(0, line.size() - 1));
            continued = true;
            if (pos > text.size())
                return p.fail(ln, "a hex value continued past the end of the file");
            continue;
        }
        if (continued) {
            joined.append(line);
            line = joined;
            continued = false;
        }
        if (line.empty() || line[0] == ';')
            continue;
        if (line[0] == '[') {
            if (!p.keyLine(firstLine, line))
                return false;
        } else if (line[0] == '"' || line[0] == '@') {
            if (!p.valueLine(firstLine, line))
                return false;
        } else {
            return p.fail(firstLine, "a line that is neither a key nor a value");
        }
    }
    if (header)
        return p.fail(1, "the file is empty");
    return true;
}

} // namespace quorvale
