#pragma once

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <fstream>
#include <string>

// The longest gap between the ticks of a 1 ms timer: how long the event loop was busy.
struct PauseMeter {
    QTimer timer;
    QElapsedTimer clock;
    qint64 last = 0, longest = 0;
    PauseMeter() {
        timer.setTimerType(Qt::PreciseTimer);
        timer.setInterval(1);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            const qint64 now = clock.nsecsElapsed();
            longest = std::max(longest, now - last);
            last = now;
        });
    }
    void start() {
        clock.start();
        last = 0;
        longest = 0;
        timer.start();
    }
    double stopMs() {
        timer.stop();
        return static_cast<double>(longest) / 1e6;
    }
};

inline void spin(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

inline long rssKb() {
    std::ifstream in("/proc/self/status");
    std::string key;
    long value = 0;
    while (in >> key) {
        if (key == "VmRSS:") {
            in >> value;
            return value;
        }
        in.ignore(1 << 12, '\n');
    }
    return 0;
}

// The largest resident size seen while it runs, sampled every 20 ms.
struct MemoryPeak {
    QTimer timer;
    long peakKb = 0;
    MemoryPeak() {
        timer.setInterval(20);
        QObject::connect(&timer, &QTimer::timeout, [this] { peakKb = std::max(peakKb, rssKb()); });
    }
    void start() {
        peakKb = rssKb();
        timer.start();
    }
};
