// The mixed corpus of the zip benchmarks: whole files from several folders under /usr
// (documentation, manual pages, headers, programs, libraries, locale data), in a fixed order,
// copied into a folder of the benchmark, about `target` bytes in all.
#pragma once

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

namespace {

struct Corpus {
    std::filesystem::path root;
    std::vector<std::string> names; // relative to root
    std::vector<std::vector<uint8_t>> data;
    uint64_t bytes = 0;
};

// Whole files from several kinds of folders, in sorted order, each kind up to its share. Flat:
// every file directly in `root` as "f<number>-<name>"; nested: at its path below /usr, in its
// folders. `keepData` keeps every file's bytes in memory too.
Corpus buildCorpus(const std::filesystem::path &root, uint64_t target, bool nested = false, bool keepData = true)
{
    const std::vector<std::pair<std::string, double>> sources = {
        {"/usr/share/doc", 0.20}, {"/usr/share/man", 0.05}, {"/usr/include", 0.15}, {"/usr/bin", 0.20},
        {"/usr/lib/x86_64-linux-gnu", 0.30}, {"/usr/share/locale", 0.05}, {"/usr/share", 0.05},
    };
    Corpus c;
    c.root = root;
    for (const auto &[dir, share] : sources) {
        const uint64_t limit = c.bytes + static_cast<uint64_t>(share * static_cast<double>(target));
        std::vector<std::filesystem::path> files;
        std::error_code ec;
        for (auto it = std::filesystem::recursive_directory_iterator(dir, std::filesystem::directory_options::skip_permission_denied, ec);
             it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
            if (ec) {
                break;
            }
            if (!it->is_symlink(ec) && it->is_regular_file(ec) && it->file_size(ec) < 20'000'000) {
                files.push_back(it->path());
            }
        }
        std::sort(files.begin(), files.end());
        for (const std::filesystem::path &p : files) {
            if (c.bytes >= limit) {
                break;
            }
            std::ifstream in(p, std::ios::binary);
            std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            const std::string name = nested ? p.lexically_relative("/usr").string()
                                            : "f" + std::to_string(c.names.size()) + "-" + p.filename().string();
            if (nested) {
                std::filesystem::create_directories((root / name).parent_path());
            }
            std::ofstream(root / name, std::ios::binary)
                .write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
            c.bytes += bytes.size();
            c.names.push_back(name);
            if (keepData) {
                c.data.push_back(std::move(bytes));
            }
        }
    }
    return c;
}

} // namespace
