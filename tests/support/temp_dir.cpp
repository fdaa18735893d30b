#include "temp_dir.h"

#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

temp_dir::temp_dir() {
    namespace fs = std::filesystem;
    std::random_device rd;
    for (int i = 0; i < 100; ++i) {
        fs::path p = fs::temp_directory_path() / ("marev-test-" + std::to_string(rd()));
        if (fs::create_directory(p)) {
            path_ = p;
            return;
        }
    }
    throw std::runtime_error("cannot make a temporary directory");
}

temp_dir::~temp_dir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void write_file(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

std::vector<std::string> read_entries(const std::string& path) {
    const std::string text = read_file(path);
    std::vector<std::string> entries;
    for (std::size_t pos = 0, cr; (cr = text.find('\r', pos)) != std::string::npos; pos = cr + 1)
        entries.push_back(text.substr(pos, cr + 1 - pos));
    return entries;
}
