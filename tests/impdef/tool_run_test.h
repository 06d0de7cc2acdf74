#pragma once
// A fresh folder per test for runs of the whole tool, with a DLL path and a .def path in it,
// and the file helpers those tests share.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

std::string ReadText(const std::filesystem::path& path);
void WriteBytes(const std::filesystem::path& path, const std::vector<unsigned char>& bytes);
size_t FileCount(const std::filesystem::path& dir);

class ToolRunTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    std::filesystem::path dir_;
    std::string dll_; // bad.dll in dir_
    std::string def_; // bad.def in dir_
};
