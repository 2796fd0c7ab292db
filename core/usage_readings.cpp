#include "core/usage_readings.h"

namespace orbenix {

std::u16string_view UsageTag(UsageKind kind) {
    switch (kind) {
    case UsageKind::Bandwidth: return u"bw";
    case UsageKind::Disk: return u"hdd";
    case UsageKind::Memory: break;
    }
    return u"mem";
}

std::string_view UsageWord(UsageKind kind) {
    switch (kind) {
    case UsageKind::Bandwidth: return "bandwidth";
    case UsageKind::Disk: return "disk";
    case UsageKind::Memory: break;
    }
    return "memory";
}

}  // namespace orbenix
