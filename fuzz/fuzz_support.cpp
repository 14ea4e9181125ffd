#include "fuzz/fuzz_support.h"

#include <QDir>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>

namespace bopatron::fuzz {

const std::string& scratchFolder() {
    static const std::unique_ptr<QTemporaryDir> dir = std::make_unique<QTemporaryDir>();
    static const std::string path = QDir::toNativeSeparators(dir->path()).toStdString();
    if (!dir->isValid()) {
        std::fprintf(stderr, "fuzz: cannot make a scratch folder\n");
        std::abort();
    }
    return path;
}

void writeWhole(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) {
        std::fprintf(stderr, "fuzz: cannot write %s\n", path.c_str());
        std::abort();
    }
}

void check(bool condition, const std::string& message) {
    if (condition) return;
    std::fprintf(stderr, "fuzz: %s\n", message.c_str());
    std::abort();
}

}  // namespace bopatron::fuzz
