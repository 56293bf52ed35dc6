// Which summary fields the WHOIS field tables find in each recorded answer
// under ../shared/whois-samples/ (or the folder given): one line per sample
// with the fields found, then per field how many of the N samples yield it.
//   bench_summary_coverage [FOLDER] [--values]
#include "engine/summary/summary.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    std::string folder = OSTRABEL_SAMPLES_DIR;
    bool values = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--values") == 0)
            values = true;
        else
            folder = argv[i];
    }
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
        if (entry.is_regular_file() && entry.path().extension() == ".txt")
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());

    std::size_t counts[summary::kFieldCount] = {};
    for (const auto& path : files) {
        std::ifstream in(path, std::ios::binary);
        const std::string answer{std::istreambuf_iterator<char>(in), {}};
        const summary::Summary found = summary::FromWhoisText(answer);
        std::string line = std::filesystem::relative(path, folder).string() + ":";
        for (std::size_t f = 0; f < summary::kFieldCount; ++f) {
            const auto& v = found.values[f];
            if (v.empty())
                continue;
            ++counts[f];
            line += std::string(" ") + summary::Info(static_cast<summary::Field>(f)).key;
            if (values) {
                line += "=";
                for (std::size_t k = 0; k < v.size(); ++k)
                    line += (k ? "," : "") + v[k];
            }
        }
        std::printf("%s\n", line.c_str());
    }
    std::printf("\n%zu samples\n", files.size());
    for (std::size_t f = 0; f < summary::kFieldCount; ++f)
        std::printf("%-14s %3zu of %zu\n", summary::Info(static_cast<summary::Field>(f)).key,
                    counts[f], files.size());
    return 0;
}
