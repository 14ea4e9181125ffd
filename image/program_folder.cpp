// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#include "image/program_folder.h"

#include <filesystem>

namespace bopatron::image {

std::string programFolder(const char* argv0) {
    std::error_code error;
    const auto self = std::filesystem::canonical("/proc/self/exe", error);
    return (error ? std::filesystem::absolute(argv0) : self).parent_path().string();
}

std::string programFolder(const char* argv0, const std::string& relative) {
    const std::filesystem::path folder = programFolder(argv0);
    const auto installed = (folder / relative).lexically_normal();
    std::error_code error;
    return std::filesystem::is_directory(installed, error) ? installed.string() : folder.string();
}

}  // namespace bopatron::image
