#pragma once

#include <filesystem>
#include <string>
#include <vector>

// A fresh directory under the system's temporary folder, removed with its content.
class temp_dir {
public:
    temp_dir();
    ~temp_dir();
    temp_dir(const temp_dir&) = delete;
    temp_dir& operator=(const temp_dir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// The whole content of a file ("" when it cannot be read).
std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& content);
// The entries of a record file, each up to and including its carriage return.
std::vector<std::string> read_entries(const std::string& path);
