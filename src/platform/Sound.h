#pragma once

#include <string>

namespace vistrel {

// Starts playing a wave file and returns at once; playback is never awaited. Uses the desktop's
// sound player (paplay, then aplay) in a detached process; when none is present or the file
// cannot be played nothing happens, as a shutter sound is never worth failing a capture for.
void PlaySoundAsync(const std::string& path);

} // namespace vistrel
