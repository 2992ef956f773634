#pragma once

#include <fstream>
#include <iterator>
#include <string>

// The whole of a file a test reads back: a child's output, a server's log. "" when unreadable.
inline std::string fileText(const std::string& path)
{
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
