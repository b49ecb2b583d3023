#pragma once

#include "temp_dir.h"
#ifdef _WIN32
#include "win_stub_records.h"
#endif

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

// What the stub game wrote: one record per start.
struct StubRecord {
    std::string program;
    std::string cwd;
    std::vector<std::string> args;
};

#ifdef _WIN32
// The Windows stub writes its records in UTF-16, its whole command line first.
inline std::vector<StubRecord> parseStubRecords(const std::string& bytes) {
    std::vector<StubRecord> out;
    for (WinStubRecord& r : parseWinStubRecords(bytes)) {
        StubRecord rec{r.args.empty() ? std::string() : r.args.front(), r.cwd, {}};
        if (!r.args.empty())
            rec.args.assign(r.args.begin() + 1, r.args.end());
        out.push_back(std::move(rec));
    }
    return out;
}
#else
inline std::vector<StubRecord> parseStubRecords(const std::string& bytes) {
    std::vector<StubRecord> out;
    size_t pos = 0;
    while (true) {
        const size_t end = bytes.find('\x1e', pos);
        if (end == std::string::npos)
            break;
        std::vector<std::string> fields;
        size_t f = pos;
        while (true) {
            const size_t sep = bytes.find('\x1f', f);
            if (sep == std::string::npos || sep > end) {
                fields.push_back(bytes.substr(f, end - f));
                break;
            }
            fields.push_back(bytes.substr(f, sep - f));
            f = sep + 1;
        }
        StubRecord r;
        r.program = fields[0];
        r.cwd = fields.size() > 1 ? fields[1] : "";
        r.args.assign(fields.begin() + std::min<size_t>(2, fields.size()), fields.end());
        out.push_back(std::move(r));
        pos = end + 1;
    }
    return out;
}

#endif

// Waits (boundedly) until the stub has written `count` records.
inline std::vector<StubRecord> waitForStubRecords(const std::string& file, size_t count) {
    for (int i = 0; i < 500; ++i) {
        auto recs = parseStubRecords(readAll(file));
        if (recs.size() >= count)
            return recs;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return parseStubRecords(readAll(file));
}

// Puts a copy of the stub game at `path` (folders created) and returns the path.
inline std::string placeStub(const std::string& path) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::filesystem::copy_file(STUB_GAME_PATH, path,
                               std::filesystem::copy_options::overwrite_existing);
    return path;
}
