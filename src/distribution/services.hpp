#pragma once
// What a run reaches outside itself, the same bundle from both windows and
// the command line: the platform's files, settings, code page, process
// facts, program launcher and sleeper. The front end owns every one and
// keeps it alive for as long as the runs it starts.

#include "platform/code_page.hpp"
#include "platform/file_system.hpp"
#include "platform/process_facts.hpp"
#include "platform/process_launcher.hpp"
#include "platform/settings_store.hpp"
#include "platform/sleeper.hpp"

namespace parone {

struct PublishServices {
  FileSystem& files;
  SettingsStore& settings;
  const CodePage& codePage;
  const ProcessFacts& facts;
  ProcessLauncher& launcher;
  Sleeper& sleeper;
};

}  // namespace parone
