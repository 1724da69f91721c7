// The floor for converting many files: the least that a safe writer must do
// for each control file named on the command line. It reads the file, writes
// as many bytes to a temporary file beside its .cue, flushes them to disk and
// renames the temporary file over the .cue. No parsing, no Qt.

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace {

bool readAll(const char *path, std::vector<char> &bytes)
{
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    bytes.clear();
    char chunk[65536];
    ssize_t got = 0;
    while ((got = ::read(fd, chunk, sizeof chunk)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + got);
    ::close(fd);
    return got == 0;
}

bool writeSafely(const std::string &target, const std::vector<char> &bytes)
{
    std::string temporary = target + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0)
        return false;
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t wrote = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (wrote <= 0)
            break;
        done += static_cast<size_t>(wrote);
    }
    const bool written = done == bytes.size() && ::fsync(fd) == 0;
    if (::close(fd) != 0 || !written || ::rename(temporary.c_str(), target.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    int status = 0;
    std::vector<char> bytes;
    for (int i = 1; i < argc; ++i) {
        const std::string path = argv[i];
        const std::string target = path.substr(0, path.size() < 4 ? 0 : path.size() - 4) + ".cue";
        if (!readAll(argv[i], bytes) || !writeSafely(target, bytes)) {
            std::fprintf(stderr, "safeWriter: %s: %s\n", argv[i], std::strerror(errno));
            status = 1;
        }
    }
    return status;
}
