#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

// Runs f n times and returns the median in milliseconds.
inline double medianMs(int n, const std::function<void()>& f) {
    std::vector<double> t;
    for (int i = 0; i < n; ++i) {
        const auto a = std::chrono::steady_clock::now();
        f();
        const auto b = std::chrono::steady_clock::now();
        t.push_back(std::chrono::duration<double, std::milli>(b - a).count());
    }
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

inline void report(const char* what, double ms, double baselineMs, const char* baselineName) {
    std::printf("%-34s %9.2f ms   baseline %-22s %8.2f ms   ratio %6.2f\n", what, ms, baselineName,
                baselineMs, baselineMs > 0 ? ms / baselineMs : 0.0);
}
