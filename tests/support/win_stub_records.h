#pragma once

#include "temp_dir.h"
#include "text.h"

#include <chrono>
#include <string>
#include <thread>
#include <vector>

// What the Windows stub wrote, in UTF-8: one record per start.
struct WinStubRecord {
    std::string commandLine;
    std::string cwd;
    std::vector<std::string> args; // as Windows parses the command line, the program's name first
};

inline std::vector<WinStubRecord> parseWinStubRecords(const std::string& bytes) {
    std::u16string text;
    for (size_t k = 0; k + 1 < bytes.size(); k += 2)
        text += static_cast<char16_t>(static_cast<unsigned char>(bytes[k]) |
                                      static_cast<unsigned char>(bytes[k + 1]) << 8);
    std::vector<WinStubRecord> out;
    size_t pos = 0;
    for (size_t end; (end = text.find(u'\x1e', pos)) != std::u16string::npos; pos = end + 1) {
        std::vector<std::string> fields;
        for (size_t f = pos;;) {
            const size_t sep = text.find(u'\x1f', f);
            const size_t stop = sep == std::u16string::npos || sep > end ? end : sep;
            fields.push_back(quorvale::utf16ToUtf8(text.substr(f, stop - f)));
            if (stop == end)
                break;
            f = stop + 1;
        }
        fields.resize(std::max<size_t>(fields.size(), 2));
        out.push_back({fields[0], fields[1], {fields.begin() + 2, fields.end()}});
    }
    return out;
}

// Waits, at most `bound`, until the stub has written `count` records.
inline std::vector<WinStubRecord>
waitForWinStubRecords(const std::string& file, size_t count,
                      std::chrono::seconds bound = std::chrono::seconds(5)) {
    const auto until = std::chrono::steady_clock::now() + bound;
    while (true) {
        auto recs = parseWinStubRecords(readAll(file));
        if (recs.size() >= count || std::chrono::steady_clock::now() > until)
            return recs;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}
