// Replies recorded from a compositor, or written as its documentation shows them, in data/.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

namespace tb::linux_desktop::wayland {

inline std::string Recorded(const char* name) {
    std::string path = __FILE__;
    path = path.substr(0, path.rfind('/')) + "/data/" + name;
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    EXPECT_FALSE(text.str().empty()) << path;
    return text.str();
}

}  // namespace tb::linux_desktop::wayland
