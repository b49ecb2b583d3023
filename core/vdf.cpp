#include "vdf.h"

#include "paths.h"
#include "text.h"

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace quorvale {

const VdfNode* VdfNode::find(std::string_view name) const {
    for (const VdfNode& c : children)
        if (sameName(c.key, name))
            return &c;
    return nullptr;
}

std::optional<std::string> VdfNode::text(std::string_view name) const {
    for (const VdfNode& c : children)
        if (!c.block && sameName(c.key, name))
            return c.value;
    return std::nullopt;
}

namespace {

struct Token {
    enum Kind { End, Open, Close, Text, Condition } kind = End;
    std::string text;
    size_t line = 1;
};

class Reader {
public:
    Reader(std::string_view text, const VdfLimits& limits) : s_(text), limits_(limits) {
        if (s_.substr(0, 3) == "\xEF\xBB\xBF")
            pos_ = 3;
    }

    std::optional<VdfNode> document(std::string& error) {
        VdfNode root;
        root.block = true;
        if (!entries(root, 0)) {
            error = "line " + std::to_string(line_) + ": " + error_;
            return std::nullopt;
        }
        return root;
    }

private:
    bool fail(std::string why) {
        error_ = std::move(why);
        return false;
    }

    static bool isSpace(char c) {
        return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
    }

    // The next token; false for bytes no text file of Steam's holds.
    bool next(Token& t) {
        while (pos_ < s_.size()) {
            const char c = s_[pos_];
            if (c == '\n')
                ++line_;
            if (isSpace(c)) {
                ++pos_;
            } else if (c == '/' && pos_ + 1 < s_.size() && s_[pos_ + 1] == '/') {
                while (pos_ < s_.size() && s_[pos_] != '\n')
                    ++pos_;
            } else {
                break;
            }
        }
        t = Token{};
        t.line = line_;
        if (pos_ >= s_.size())
            return true;
        const char c = s_[pos_];
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            return fail("the file holds binary data, not text");
        if (c == '{' || c == '}') {
            t.kind = c == '{' ? Token::Open : Token::Close;
            ++pos_;
            return true;
        }
        t.kind = Token::Text;
        if (c == '"')
            return quoted(t.text);
        while (pos_ < s_.size() && !isSpace(s_[pos_]) && s_[pos_] != '"' && s_[pos_] != '{' &&
               s_[pos_] != '}') {
            if (static_cast<unsigned char>(s_[pos_]) < 0x20 || s_[pos_] == 0x7f)
                return fail("the file holds binary data, not text");
            t.text += s_[pos_++];
        }
        if (t.text.size() > 1 && t.text.front() == '[' && t.text.back() == ']')
            t.kind = Token::Condition;
        return true;
    }

    bool quoted(std::string& out) {
        const size_t startLine = line_;
        ++pos_;
        while (pos_ < s_.size()) {
            const char c = s_[pos_++];
            if (c == '"')
                return true;
            if (c == '\n')
                ++line_;
            else if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\r')
                return fail("the file holds binary data, not text");
            if (c != '\\' || pos_ >= s_.size()) {
                out += c;
                continue;
            }
            const char e = s_[pos_++];
            switch (e) {
            case 'n':
                out += '\n';
                break;
            case 't':
                out += '\t';
                break;
            case 'r':
                out += '\r';
                break;
            case 'v':
                out += '\v';
                break;
            case 'f':
                out += '\f';
                break;
            case 'b':
                out += '\b';
                break;
            case 'a':
                out += '\a';
                break;
            case '\\':
            case '"':
            case '\'':
            case '?':
                out += e;
                break;
            default: // not an escape: both stay, as Steam keeps them
                out += '\\';
                --pos_;
            }
        }
        line_ = startLine;
        return fail("a quoted text is not closed");
    }

    // A token, with a condition after it passed over.
    bool nextSkippingCondition(Token& t) {
        if (!next(t))
            return false;
        if (t.kind != Token::Condition)
            return true;
        return next(t);
    }

    bool entries(VdfNode& into, size_t depth) {
        Token t;
        while (true) {
            if (!next(t))
                return false;
            if (t.kind == Token::End)
                return depth == 0 || fail("the file ends inside a block");
            if (t.kind == Token::Close)
                return depth > 0 || fail("a '}' closes no block");
            if (t.kind == Token::Open)
                return fail("a block has no name");
            if (t.kind == Token::Condition)
                continue; // one that stands alone
            if (++count_ > limits_.entries)
                return fail("more than " + std::to_string(limits_.entries) + " entries");
            VdfNode node;
            node.key = std::move(t.text);
            if (!nextSkippingCondition(t))
                return false;
            if (t.kind == Token::Open) {
                if (depth + 1 > limits_.depth)
                    return fail("blocks nested deeper than " + std::to_string(limits_.depth));
                node.block = true;
                if (!entries(node, depth + 1))
                    return false;
            } else if (t.kind == Token::Text) {
                node.value = std::move(t.text);
            } else {
                return fail("\"" + node.key + "\" has no value");
            }
            into.children.push_back(std::move(node));
        }
    }

    std::string_view s_;
    VdfLimits limits_;
    size_t pos_ = 0;
    size_t line_ = 1;
    size_t count_ = 0;
    std::string error_;
};

std::string tooLarge(const VdfLimits& limits) {
    return "larger than " + std::to_string(limits.bytes / 1024) + " KiB";
}

} // namespace

std::optional<VdfNode> parseVdf(std::string_view text, std::string& error,
                                const VdfLimits& limits) {
    error.clear();
    if (text.size() > limits.bytes) {
        error = tooLarge(limits);
        return std::nullopt;
    }
    return Reader(text, limits).document(error);
}

std::optional<VdfNode> readVdfFile(const std::string& path, std::string& error,
                                   const VdfLimits& limits) {
    error.clear();
    const fs::path p = pathFromUtf8(path);
    std::error_code ec;
    const fs::file_status st = fs::status(p, ec);
    if (st.type() == fs::file_type::not_found)
        return std::nullopt;
    const auto refused = [&](const std::string& why) {
        error = path + ": " + why;
        return std::nullopt;
    };
    // A pipe or a device would never end, or never start.
    if (ec || st.type() != fs::file_type::regular)
        return refused("not a plain file");
    const std::uintmax_t size = fs::file_size(p, ec);
    if (ec || size > limits.bytes)
        return refused(ec ? "could not be read" : tooLarge(limits));
    std::ifstream in(p, std::ios::binary);
    std::string text(static_cast<size_t>(size) + 1, '\0'); // one more shows a file that grew
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    if (in.bad())
        return refused("could not be read");
    text.resize(static_cast<size_t>(in.gcount()));
    auto node = parseVdf(text, error, limits);
    if (!node)
        return refused(error);
    return node;
}

} // namespace quorvale
