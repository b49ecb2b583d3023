// A stand-in for the game: appends what it was started with to $QUORVALE_STUB_OUT, one record
// per start: its name, working folder and arguments, separated by 0x1F and ended by 0x1E.
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <unistd.h>

int main(int argc, char** argv) {
    const char* out = std::getenv("QUORVALE_STUB_OUT");
    if (!out)
        return 2;
    char cwd[4096];
    std::string rec = argv[0];
    rec += '\x1f';
    rec += getcwd(cwd, sizeof cwd) ? cwd : "?";
    for (int i = 1; i < argc; ++i) {
        rec += '\x1f';
        rec += argv[i];
    }
    rec += '\x1e';
    const int fd = open(out, O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (fd < 0)
        return 3;
    const bool ok = write(fd, rec.data(), rec.size()) == static_cast<ssize_t>(rec.size());
    close(fd);
    return ok ? 0 : 4;
}
