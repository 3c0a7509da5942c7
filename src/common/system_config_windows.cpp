// Windows part of the fixed constants declared in common/system_config.hpp.
#include "common/system_config.hpp"

namespace parone {

// Windows accepts both separators in a path; the tool writes "\".
// Windows users keep the netrc file as _netrc (the name the FTP clients of
// the platform read) in %HOME% when they set one, else in their profile.
const PlatformConventions kPlatform = {'\\', "\\/", "S:\\Codesigning\\unsigned",
                                       "S:\\Codesigning\\signed", true,
                                       {"HOME", "USERPROFILE"}, {"_netrc", ".netrc"}};

}  // namespace parone
