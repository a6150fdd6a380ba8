#include "record/access_tap.h"

namespace recording {

std::atomic<AccessTap*> activeTap{nullptr};

void TapSeen(AccessTap* tap, std::uint16_t address, std::uint16_t value, bool isWrite)
{
    tap->Seen(address, static_cast<std::uint8_t>(value & 0xFF), isWrite);
}

void TapBeforeSeen(AccessTap* tap, std::uint16_t address, UntappedRead read)
{
    tap->Before(address, read);
}

}  // namespace recording
