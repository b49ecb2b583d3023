// Process start -> main window painted, and peak RSS: the launcher against a bare Qt window,
// alternating A B A B, medians and ratios.
#include "bench_util.h"

#include <cstdlib>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct Run {
    double ms;
    long rssKb;
};

Run runOnce(const std::string& program) {
    const auto a = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    rusage ru{};
    wait4(pid, &status, 0, &ru);
    const auto b = std::chrono::steady_clock::now();
    return {std::chrono::duration<double, std::milli>(b - a).count(), ru.ru_maxrss};
}

template <typename T> T median(std::vector<T> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    const std::string dir =
        argc > 0 ? std::string(argv[0]).substr(0, std::string(argv[0]).rfind('/') + 1) : "";
    char tmpl[] = "/tmp/quorvale-start-XXXXXX";
    const std::string tmp = mkdtemp(tmpl);
    // A launcher with settings in place, so no first-run dialog waits for a person.
    const std::string exe = tmp + "/arma2.exe";
    std::system(("touch '" + exe + "'").c_str());
    const std::string reg = tmp + "/registry.reg";
    const std::string text =
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "[HKEY_CURRENT_USER\\Software\\Oskelan\\Quorvale]\r\n\"executable\"=\"" +
        exe + "\"\r\n\"nosplash\"=dword:00000001\r\n\"window\"=dword:00000000\r\n\r\n";
    std::string utf16 = "\xFF\xFE";
    for (const char c : text) {
        utf16 += c;
        utf16 += '\0';
    }
    FILE* f = std::fopen(reg.c_str(), "wb");
    std::fwrite(utf16.data(), 1, utf16.size(), f);
    std::fclose(f);
    setenv("QUORVALE_REGISTRY", reg.c_str(), 1);
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);

    std::vector<double> tA, tB;
    std::vector<long> rA, rB;
    runOnce(dir + "startup_probe"); // warm the file cache for both
    runOnce(dir + "bare_window");
    for (int i = 0; i < 11; ++i) {
        const Run a = runOnce(dir + "startup_probe");
        const Run b = runOnce(dir + "bare_window");
        tA.push_back(a.ms), rA.push_back(a.rssKb);
        tB.push_back(b.ms), rB.push_back(b.rssKb);
    }
    const double ta = median(tA), tb = median(tB);
    const long ra = median(rA), rb = median(rB);
    report("start -> main window painted", ta, tb, "bare Qt window");
    std::printf("%-34s %9ld KB   baseline %-22s %8ld KB   ratio %6.2f\n", "peak RSS", ra,
                "bare Qt window", rb, static_cast<double>(ra) / static_cast<double>(rb));
    std::printf("target: ratio <= 1.3: time %s, memory %s (platform %s)\n",
                ta / tb <= 1.3 ? "met" : "MISSED",
                static_cast<double>(ra) / static_cast<double>(rb) <= 1.3 ? "met" : "MISSED",
                std::getenv("QT_QPA_PLATFORM"));
    std::system(("rm -rf '" + tmp + "'").c_str());
    return 0;
}
