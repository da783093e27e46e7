// Writes benchmark input: one history file of a given size, or a folder of plain
// history files (one per group and day, dated in the past).
//
//   tamble_make_corpus file   PATH MEGABYTES [binary|csv|random]
//   tamble_make_corpus folder PATH DAYS KILOBYTES [GROUPS]
#include "bench/HistoryData.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

bool WriteFile(const std::string& path, const std::vector<std::uint8_t>& data)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
    return std::fclose(f) == 0 && ok;
}

int Usage()
{
    std::fprintf(stderr, "usage: tamble_make_corpus file PATH MEGABYTES [binary|csv|random]\n"
                         "       tamble_make_corpus folder PATH DAYS KILOBYTES [GROUPS]\n");
    return 2;
}

int MakeFile(const std::string& path, std::size_t megabytes, const std::string& kind)
{
    std::size_t bytes = megabytes << 20;
    std::vector<std::uint8_t> data = kind == "csv"      ? benchdata::HistoryCsv(bytes)
                                     : kind == "random" ? benchdata::RandomBytes(bytes)
                                                        : benchdata::HistoryRecords(bytes);
    return WriteFile(path, data) ? 0 : 1;
}

int MakeFolder(const std::string& path, int days, std::size_t kilobytes, int groups)
{
    ::mkdir(path.c_str(), 0755);
    std::time_t now = std::time(nullptr);
    for (int d = 2; d < days + 2; ++d) {
        std::time_t when = now - static_cast<std::time_t>(d) * 86400;
        std::tm tm {};
        localtime_r(&when, &tm);
        for (int g = 0; g < groups; ++g) {
            char name[64];
            std::snprintf(name, sizeof name, "/%02X%02d%02d%02d.hst", 10 + g, tm.tm_year % 100, tm.tm_mon + 1,
                          tm.tm_mday);
            auto data = benchdata::HistoryRecords(kilobytes << 10, static_cast<std::uint64_t>(d * 131 + g));
            if (!WriteFile(path + name, data))
                return 1;
        }
    }
    return 0;
}

}   // namespace

int main(int argc, char** argv)
{
    if (argc >= 4 && std::string(argv[1]) == "file")
        return MakeFile(argv[2], std::strtoul(argv[3], nullptr, 10), argc > 4 ? argv[4] : "binary");
    if (argc >= 5 && std::string(argv[1]) == "folder")
        return MakeFolder(argv[2], std::atoi(argv[3]), std::strtoul(argv[4], nullptr, 10),
                          argc > 5 ? std::atoi(argv[5]) : 1);
    return Usage();
}
