// Kept apart so that tests which bring their own component stand-in do not
// need the real one linked in.
#include "engine/check_engine.h"

namespace orbenix {

HttpComponentFactory RealHttpComponentFactory() {
    return [](http::HttpEvents& events) { return http::CreateHttpComponent(events); };
}

}  // namespace orbenix
