#pragma once
// The packer step of a publication: the UPX program the request names runs
// twice over one file (pack, then " -d "), each run limited to
// SystemConfig::upxTimeoutMs, and what it leaves is checked. Blocks the
// calling thread for both runs, then pulses the events once.

#include <string>

#include "common/error.hpp"
#include "distribution/run_context.hpp"

namespace parone {

// Success when the UPX path names no existing program (nothing runs), or
// when both runs exited with 0 and left a program file with the FileVersion
// it had before. An error of stage packer when a run could not start, ran
// past its limit (it is ended), exited otherwise, or left a damaged file or
// another version: a warning naming the packer, the run's outcome and the
// file has been shown, the file is back as it was before the step, and it
// must not be published.
Status RunUpxStep(const RunContext& context, const std::string& path);

// Beside the file while the packer has it; put back if the packer fails.
inline constexpr const char* kBeforeUpxSuffix = ".before-upx";

}  // namespace parone
