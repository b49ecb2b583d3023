#pragma once

#include "status_protocol.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

// A reply's players as name and score pairs, to compare with a table of expected ones.
using Players = std::vector<std::pair<std::string, std::optional<std::string>>>;

inline Players playersOf(const quorvale::ServerStatusReply& r) {
    Players p;
    for (const auto& pl : r.players)
        p.emplace_back(pl.name, pl.score);
    return p;
}
