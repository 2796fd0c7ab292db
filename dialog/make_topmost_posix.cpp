#include "dialog/make_topmost.h"

namespace orbenix {

// There is no window system here: the dialog never loads on this platform
// (its view raises "The settings dialog needs Windows"), so no window exists
// to reorder.
void MakeTopmost(std::intptr_t, bool) {}

}  // namespace orbenix
