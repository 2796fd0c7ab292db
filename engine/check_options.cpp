#include "engine/check_options.h"

namespace orbenix {

CheckOptions& ThreadCheckOptions() {
    thread_local CheckOptions options;
    return options;
}

}  // namespace orbenix
