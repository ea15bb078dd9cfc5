#include "orvstart/display_mode_guard.h"

#include <cstring>
#include <utility>

namespace {

static_assert(sizeof(DEVMODEA) == 156, "the display-mode records are 156 bytes");

// Only colour depth, size and refresh rate are written back.
constexpr DWORD written_fields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT | DM_DISPLAYFREQUENCY;
// Store in the registry without applying: the live mode stays as it is.
constexpr DWORD store_only = CDS_UPDATEREGISTRY | CDS_NORESET;

void store_mode(const std::string& device, DEVMODEA& mode) {
    ChangeDisplaySettingsExA(device.c_str(), &mode, nullptr, store_only, nullptr);
}

}  // namespace

display_mode_guard::display_mode_guard(std::string device) : device_name(std::move(device)) {
    for (DEVMODEA& mode : modes) {
        std::memset(&mode, 0, sizeof mode);
        mode.dmSize = sizeof mode;
    }
    // No name selects the calling thread's display.
    const char* name = device_name.empty() ? nullptr : device_name.c_str();
    EnumDisplaySettingsA(name, ENUM_CURRENT_SETTINGS, &modes[1]);
    EnumDisplaySettingsA(name, ENUM_REGISTRY_SETTINGS, &modes[0]);
    modes[0].dmFields = written_fields;
    modes[1].dmFields = written_fields;
    store_mode(device_name, modes[1]);
}

display_mode_guard::~display_mode_guard() { store_mode(device_name, modes[0]); }
