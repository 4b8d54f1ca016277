#pragma once
// Writing the run's text files with the system's reason for every failure,
// and a temporary file that is the run's own.
//
// A temporary file is created under a fresh name in the folder it is asked
// for and written through the descriptor of that creation, so a file or a
// symbolic link already standing under any name is never opened, followed
// or overwritten. It is removed when its owner goes.

#include <filesystem>
#include <string>
#include <string_view>

namespace textfile {

// Writes text to path, creating the file or rewriting an existing one.
// Returns "" on success, else the system's reason ("No space left on
// device", ...).
std::string write(const std::filesystem::path& path, std::string_view text);

class Temporary {
public:
    Temporary() = default;
    Temporary(const Temporary&) = delete;
    Temporary& operator=(const Temporary&) = delete;
    ~Temporary();

    // Creates a new empty file prefix + six random characters + suffix in
    // folder (readable and writable by its owner only), removing any file
    // this one held before. Returns "" on success, else the system's reason.
    std::string create(const std::filesystem::path& folder, std::string_view prefix, std::string_view suffix);
    // Writes text into the created file and closes it; "" or the reason.
    std::string write(std::string_view text);
    // Removes the file now (nothing when there is none).
    void remove();

    // The file's path; empty before create succeeded.
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
    int fd_ = -1;
};

}  // namespace textfile
