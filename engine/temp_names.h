#pragma once
// Temporary file names of a check: the user's documents folder, a fixed
// subfolder, then the local date and time and a random number. Names only:
// nothing creates, reads or deletes such a file or its folder.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace orbenix {

#ifdef _WIN32
inline constexpr char16_t kPathSeparator = u'\\';
#else
inline constexpr char16_t kPathSeparator = u'/';
#endif

inline constexpr std::int32_t kCsidlPersonal = 5;  // the user's documents folder

// The path of the special folder `csidl`, or "" when it cannot be resolved.
// Elsewhere than Windows only the documents folder is known.
std::u16string GetSpecialFolderLocation(std::int32_t csidl);

// A new name: documents folder + "Quorvane" + "temp" + digits + ".tmp".
std::u16string RandomTempFile();

struct LocalTime {
    int year, month, day, hour, minute, second;
};
LocalTime LocalNow();

// The pieces RandomTempFile is made of.
// documents + "Quorvane" + "temp", each followed by one separator (a trailing
// separator of `documents` is not doubled).
std::u16string TempFolder(std::u16string_view documents);
// The clock is read anew for each of the six parts.
std::u16string TempFileName(std::u16string_view folder, const std::function<LocalTime()>& now,
                            int random);
// 0 to 98 from the component-wide generator, reseeded from the clock.
int ReseededRandom99();

}  // namespace orbenix
