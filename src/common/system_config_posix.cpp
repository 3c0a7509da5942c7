// POSIX part of the fixed constants declared in common/system_config.hpp.
#include "common/system_config.hpp"

namespace parone {

// On Linux only "/" separates folders; "\" is an ordinary character of a
// file name there. The signing share is mounted where the build machines
// mount drive S:.
// A netrc file is ~/.netrc, where libcurl and ftp(1) look.
const PlatformConventions kPlatform = {'/', "/", "/mnt/s/Codesigning/unsigned",
                                       "/mnt/s/Codesigning/signed", false,
                                       {"HOME", nullptr}, {".netrc", nullptr}};

}  // namespace parone
