#include "engine/temp_names.h"

#include <chrono>
#include <mutex>
#include <random>

#include "core/utf8.h"

namespace orbenix {
namespace {

std::u16string Decimal(int value) { return TextFromUtf8(std::to_string(value)); }

}  // namespace

std::u16string TempFolder(std::u16string_view documents) {
    std::u16string folder(documents);
    // The shell may give the folder with its separator already on (a drive's
    // root, and Wine's documents folder): it is not doubled. An unresolved
    // folder still leaves the leading one, a path from the drive's root.
    if (folder.empty() || folder.back() != kPathSeparator) folder += kPathSeparator;
    for (const char16_t* part : {u"Quorvane", u"temp"}) {
        folder += part;
        folder += kPathSeparator;
    }
    return folder;
}

std::u16string TempFileName(std::u16string_view folder, const std::function<LocalTime()>& now,
                            int random) {
    std::u16string name(folder);
    name += Decimal(now().year);
    name += Decimal(now().month);
    name += Decimal(now().day);
    name += Decimal(now().hour);
    name += Decimal(now().minute);
    name += Decimal(now().second);
    name += Decimal(random);
    name += u".tmp";
    return name;
}

int ReseededRandom99() {
    static std::mutex mutex;
    static std::mt19937 generator;
    std::lock_guard<std::mutex> lock(mutex);
    // Two clocks: the wall clock alone may not tick between the two names of one check.
    const auto wall = std::chrono::system_clock::now().time_since_epoch().count();
    const auto fine = std::chrono::steady_clock::now().time_since_epoch().count();
    std::seed_seq seed{static_cast<std::uint32_t>(wall), static_cast<std::uint32_t>(wall >> 32),
                       static_cast<std::uint32_t>(fine), static_cast<std::uint32_t>(fine >> 32)};
    generator.seed(seed);
    const double unit = static_cast<double>(generator()) / 4294967296.0;  // [0, 1)
    return static_cast<int>(99.0 * unit);
}

std::u16string RandomTempFile() {
    const int random = ReseededRandom99();
    const std::u16string folder = TempFolder(GetSpecialFolderLocation(kCsidlPersonal));
    return TempFileName(folder, LocalNow, random);
}

}  // namespace orbenix
