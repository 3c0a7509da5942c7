// Windows part of the fixed constants declared in common/system_config.hpp.
#include "common/system_config.hpp"

namespace parone {

// Windows accepts both separators in a path; the tool writes "\".
const PlatformConventions kPlatform = {'\\', "\\/", "S:\\Codesigning\\unsigned",
                                       "S:\\Codesigning\\signed", true};

}  // namespace parone
