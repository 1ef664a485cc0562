#include "File_IO/copy.h"

#include "File_IO/PartFile.h"
#include "platform/Root.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <string>
#include <vector>
#include <unistd.h>

namespace {

// Copies the open `in` to the physical `to`; 0 or the errno of the failure.
int copyInto(int in, const std::string& to)
{
    // The source as its own target, by whatever name, is no copy.
    struct stat source_stat {}, target_stat {};
    if (::fstat(in, &source_stat) != 0)
        return errno;
    if (::stat(to.c_str(), &target_stat) == 0 && source_stat.st_dev == target_stat.st_dev
        && source_stat.st_ino == target_stat.st_ino)
        return EINVAL;

    PartFile out(QString::fromStdString(to));
    if (!out.isOpen())
        return out.error();
    // 64 KiB at a time: 1 KiB blocks made an export to a stick half as fast.
    std::vector<char> buffer(64 * 1024);
    for (;;) {
        const ssize_t got = ::read(in, buffer.data(), buffer.size());
        if (got == 0)
            break;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (!out.write(buffer.data(), got))
            return out.error();
    }
    return out.commit() ? 0 : out.error();
}

}  // namespace

int copy(char const* source, char const* target)
{
    const int in = ::open(platform::rootPath(std::string(source)).c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return -1;
    const int error = copyInto(in, platform::rootPath(std::string(target)));
    ::close(in);
    // Set last: the clean-up may have touched errno.
    errno = error;
    return error == 0 ? 0 : -1;
}

void usage(char* program)
{
    std::printf("usage: %s [source] [target]\n", program);
}
