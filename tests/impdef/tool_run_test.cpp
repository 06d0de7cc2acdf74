#include "tool_run_test.h"

#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const fs::path& path, const std::vector<unsigned char>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

size_t FileCount(const fs::path& dir) {
    return static_cast<size_t>(
        std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

void ToolRunTest::SetUp() {
    dir_ = fs::path(testing::TempDir()) /
           ("impdef-" + std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    dll_ = (dir_ / "bad.dll").string();
    def_ = (dir_ / "bad.def").string();
}
void ToolRunTest::TearDown() {
    fs::remove_all(dir_);
}
