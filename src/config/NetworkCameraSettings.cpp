#include "config/NetworkCameraSettings.h"

#include "config/KeyCatalogue.h"
#include "config/SettingsFile.h"

namespace vistrel {

namespace {

static_assert(std::size(keys::kCameraSlots) == kMaxNetworkCameras);

bool validSlot(int slot)
{
    return slot >= 1 && slot <= kMaxNetworkCameras;
}

const keys::CameraSlotKeys& slotKeys(int slot)
{
    return keys::kCameraSlots[slot - 1];
}

} // namespace

std::vector<NetworkCameraKeys> ReadNetworkCameras()
{
    std::vector<NetworkCameraKeys> cameras;
    for (int slot = 1; slot <= kMaxNetworkCameras; ++slot) {
        NetworkCameraKeys c;
        c.slot = slot;
        const keys::CameraSlotKeys& k = slotKeys(slot);
        c.url = ReadSettingString(k.url);
        if (c.url.empty())
            continue;
        c.name = ReadSettingString(k.name);
        if (c.name.empty())
            c.name = "Network camera " + std::to_string(slot);
        c.username = ReadSettingString(k.username);
        c.password = ReadSettingString(k.password);
        cameras.push_back(std::move(c));
    }
    return cameras;
}

bool WriteNetworkCamera(const NetworkCameraKeys& camera, std::string* error)
{
    auto refuse = [error](const char* text) {
        if (error)
            *error = text;
        return false;
    };
    if (!validSlot(camera.slot))
        return refuse("There is no such network camera slot");
    if (camera.url.empty())
        return refuse("A network camera needs a URL");
    if (!PasswordFitsSettingsFile(camera.password))
        return refuse("The password is too long to be stored");
    const keys::CameraSlotKeys& k = slotKeys(camera.slot);
    // The URL last: a slot counts as a camera once its URL is there.
    return WriteSetting(k.name, camera.name, error) &&
           WriteSetting(k.username, camera.username, error) &&
           WriteSetting(k.password, camera.password, error) &&
           WriteSetting(k.url, camera.url, error);
}

bool RemoveNetworkCamera(int slot, std::string* error)
{
    if (!validSlot(slot)) {
        if (error)
            *error = "There is no such network camera slot";
        return false;
    }
    const keys::CameraSlotKeys& k = slotKeys(slot);
    // The URL first: a slot stops being a camera before its other keys go. An empty password is
    // stored as an empty text, not scrambled.
    bool ok = IniWriteString(k.url.section, k.url.key, "", error);
    for (const SettingKey* field : {&k.name, &k.username, &k.password})
        ok = ok && IniWriteString(field->section, field->key, "", error);
    return ok;
}

int FreeNetworkCameraSlot()
{
    for (int slot = 1; slot <= kMaxNetworkCameras; ++slot)
        if (ReadSettingString(slotKeys(slot).url).empty())
            return slot;
    return 0;
}

} // namespace vistrel
