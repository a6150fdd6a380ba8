#include "record/access_tap.h"

namespace recording {

std::atomic<AccessTap*> activeTap{nullptr};

}  // namespace recording
