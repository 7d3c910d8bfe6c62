// The source and build trees the tests read from, and whole-file reads.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

// From the environment the test runner sets, else from this file's own path.
inline std::string test_source_dir()
{
    if (const char* s = std::getenv("QUORVEL_TEST_SOURCE_DIR")) return s;
    const std::string f = __FILE__;
    return f.substr(0, f.rfind("/tests/"));
}

// A whole file; empty when it cannot be read.
inline std::string test_file_text(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

inline std::vector<uint8_t> test_file_bytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// How often `part` stands in `text`, overlapping runs counted.
inline int test_count_of(const std::string& text, const std::string& part)
{
    int n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}
