#include "component/check_settings.h"

namespace orbenix {

CheckSettings& ThreadCheckSettings() {
    thread_local CheckSettings settings;
    return settings;
}

}  // namespace orbenix
