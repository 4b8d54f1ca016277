#include "run/textfile.h"

#include <cerrno>
#include <cstdlib>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace textfile {
namespace {

std::string reason(int error) { return std::generic_category().message(error); }

// Writes all of text to fd and closes it; "" or the reason of the first
// failure.
std::string write_and_close(int fd, std::string_view text) {
    int error = 0;
    while (!text.empty() && error == 0) {
        const ssize_t written = ::write(fd, text.data(), text.size());
        if (written > 0)
            text.remove_prefix(static_cast<std::size_t>(written));
        else if (written == 0)
            error = EIO;
        else if (errno != EINTR)
            error = errno;
    }
    if (::close(fd) != 0 && error == 0) error = errno;
    return error == 0 ? std::string() : reason(error);
}

}  // namespace

std::string write(const std::filesystem::path& path, std::string_view text) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return reason(errno);
    return write_and_close(fd, text);
}

Temporary::~Temporary() { remove(); }

std::string Temporary::create(const std::filesystem::path& folder, std::string_view prefix,
                              std::string_view suffix) {
    remove();
    const std::string pattern = (folder / (std::string(prefix) + "XXXXXX" + std::string(suffix))).string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    // mkstemps creates the file exclusively (O_CREAT | O_EXCL), so it never
    // opens a name that already exists, a symbolic link included.
    const int fd = ::mkostemps(name.data(), static_cast<int>(suffix.size()), O_CLOEXEC);
    if (fd < 0) return reason(errno);
    fd_ = fd;
    path_ = name.data();
    return {};
}

std::string Temporary::write(std::string_view text) {
    if (fd_ < 0) return reason(EBADF);
    const int fd = fd_;
    fd_ = -1;
    return write_and_close(fd, text);
}

void Temporary::remove() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (path_.empty()) return;
    std::error_code ec;
    std::filesystem::remove(path_, ec);
    path_.clear();
}

}  // namespace textfile
