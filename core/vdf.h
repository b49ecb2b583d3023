#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Steam's text files (libraryfolders.vdf, appmanifest_*.acf): names, each with a text or a block
// of further names. They come from outside, so the reader has limits and refuses what it does
// not understand, with a reason.
namespace quorvale {

struct VdfNode {
    std::string key;
    std::string value;             // a text's
    std::vector<VdfNode> children; // a block's entries, in the file's order
    bool block = false;

    // The first entry named `name`; names compare without regard to case, as Steam's do.
    const VdfNode* find(std::string_view name) const;
    // The first text entry named `name`, or nothing.
    std::optional<std::string> text(std::string_view name) const;
};

struct VdfLimits {
    size_t bytes = 1u << 20;
    size_t depth = 64;
    size_t entries = 100000;
};

// A whole text as a block of its top-level entries: quoted texts with escapes, unquoted words,
// nested blocks, "//" comments; conditions such as [$WIN32] are passed over. Nothing, with
// `error` saying why and on which line, for anything else or past a limit.
std::optional<VdfNode> parseVdf(std::string_view text, std::string& error,
                                const VdfLimits& limits = {});

// The file at `path`, parsed. A missing file gives nothing with `error` empty; a file refused
// (not a plain file, too large, not readable as above) gives nothing with `error` naming it.
std::optional<VdfNode> readVdfFile(const std::string& path, std::string& error,
                                   const VdfLimits& limits = {});

} // namespace quorvale
