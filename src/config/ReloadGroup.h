#pragma once

namespace vistrel {

// The settings page that writes a key (None: no page does).
enum class SettingsPage { None, Device, Image, Capture, Location, Connection, General };

// Which loader of the live settings reads a key: a page that has stored its keys has the hub
// re-read its reload group. None: the key is read elsewhere (at the point of use, or by the full
// load alone).
enum class ReloadGroup { None, Device, Image, Capture, Location, Connection, General };

} // namespace vistrel
