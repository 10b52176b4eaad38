// A small program for the profile tests: it writes keys of one settings file from a second
// process, so that tests can run writers side by side or kill one in the middle of a write.
//
//   profile_test_writer FILE keys SECTION PREFIX COUNT   writes PREFIX0..PREFIX<COUNT-1> = v<n>
//   profile_test_writer FILE loop SECTION KEY            counts KEY up from its value until killed
#include "platform/Profile.h"

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv)
{
    if (argc < 5) {
        std::fprintf(stderr, "usage: %s FILE keys|loop SECTION KEY|PREFIX [COUNT]\n", argv[0]);
        return 2;
    }
    const std::string file = argv[1], mode = argv[2], section = argv[3], name = argv[4];
    std::string error;
    if (mode == "keys" && argc >= 6) {
        const int count = std::atoi(argv[5]);
        for (int i = 0; i < count; ++i) {
            if (!vistrel::WritePrivateProfileString(section, name + std::to_string(i),
                                                    "v" + std::to_string(i), file, &error)) {
                std::fprintf(stderr, "%s\n", error.c_str());
                return 1;
            }
        }
        return 0;
    }
    if (mode == "loop") {
        for (long i = vistrel::GetPrivateProfileInt(section, name, 0, file) + 1;; ++i) {
            if (!vistrel::WritePrivateProfileString(section, name, std::to_string(i), file,
                                                    &error)) {
                std::fprintf(stderr, "%s\n", error.c_str());
                return 1;
            }
        }
    }
    return 2;
}
