// Stands in for the programs the tool starts (the UPX packer) in tests, on
// every platform the suite runs on. Tests copy it into a folder of their own
// with InstallFakeProgram (fake_program.hpp). It takes the arguments the
// packer step gives ("FILE" to pack, "-d FILE" to unpack) and does what the
// control file beside its own program file says, one line per action, in
// order:
//
//     <run>[:NAME] <action> [argument]    run: pack, unpack or any;
//                                          NAME: only when FILE is named so
//
//   record          append the working folder and each argument as "[arg]",
//                   one per line, to fake_program.log beside the program
//   exit N          end now with exit status N
//   sleep MS        sleep MS milliseconds
//   truncate N      cut FILE to N bytes
//   corrupt         overwrite FILE's first two bytes (the "MZ")
//   bump-version    change the last digit of FILE's FileVersion value
//   append TEXT     append TEXT to FILE
//   remove          delete FILE
//   child-sleep MS  start a copy of itself that writes its process id to
//                   fake_program.child beside the program and then sleeps
//                   MS milliseconds; go on once the id is written (the copy
//                   is running)
//
// Without a control file it does nothing and exits with 0. It never looks
// at anything but FILE, the control file, its log and the child's id file
// (a copy started by child-sleep reads no control file). Arguments, the
// working folder and the log are UTF-8 whatever the platform (on Windows
// read from the UTF-16 command line), so Korean paths arrive whole.

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "fake_program_platform.hpp"

namespace fs = std::filesystem;

namespace {

fs::path FromUtf8(const std::string& text) { return fs::path(std::u8string(text.begin(), text.end())); }

std::string Utf8(const fs::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteAll(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::string Utf16(const std::string& ascii) {
  std::string out;
  for (char c : ascii) {
    out += c;
    out += '\0';
  }
  return out;
}

// The value follows the key's NUL and at most one padding unit.
bool BumpVersion(std::string& bytes) {
  const std::string key = Utf16("FileVersion") + std::string(2, '\0');
  std::size_t at = bytes.find(key);
  if (at == std::string::npos) return false;
  at += key.size();
  if (bytes.compare(at, 2, std::string(2, '\0')) == 0) at += 2;
  std::size_t end = at;
  while (end + 1 < bytes.size() && (bytes[end] != '\0' || bytes[end + 1] != '\0')) end += 2;
  if (end == at) return false;
  char& last = bytes[end - 2];
  last = last == '9' ? '0' : static_cast<char>(last + 1);
  return true;
}

// The first argument of a copy started by child-sleep; no packer run passes it.
constexpr const char* kChildArgument = "--fake-program-child-sleep";

// The copy: its id written whole (to a temporary name, then renamed) so the
// starter and the test never read half of it.
int RunAsChild(const fs::path& folder, long sleepMs) {
  const fs::path id = folder / "fake_program.child";
  const fs::path temp = folder / "fake_program.child.tmp";
  WriteAll(temp, std::to_string(parone::testing::OwnProcessId()));
  fs::rename(temp, id);
  std::this_thread::sleep_for(std::chrono::milliseconds(sleepMs));
  return 0;
}

bool StartChild(const fs::path& folder, const std::string& sleepMs) {
  const fs::path id = folder / "fake_program.child";
  fs::remove(id);
  if (!parone::testing::StartCopyOfSelf({kChildArgument, sleepMs})) return false;
  // A program start takes a while under wine; give it half a minute.
  for (int polls = 0; polls < 3000; ++polls) {
    if (fs::exists(id)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  const fs::path folder = FromUtf8(parone::testing::FakeProgramPath()).parent_path();
  const fs::path control = folder / "fake_program.control";
  const fs::path log = folder / "fake_program.log";
  const std::vector<std::string> args = parone::testing::FakeProgramArguments(argc, argv);
  if (args.size() == 2 && args[0] == kChildArgument) return RunAsChild(folder, std::stol(args[1]));
  const bool unpack = !args.empty() && args.front() == "-d";
  const fs::path file = args.empty() ? fs::path() : FromUtf8(args.back());

  std::istringstream lines(ReadAll(control));
  std::string line;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::istringstream words(line);
    std::string run;
    std::string action;
    if (!(words >> run >> action)) continue;
    const auto colon = run.find(':');
    if (colon != std::string::npos) {
      if (run.substr(colon + 1) != Utf8(file.filename())) continue;
      run.resize(colon);
    }
    if (!(run == "any" || (run == "pack" && !unpack) || (run == "unpack" && unpack))) continue;
    std::string rest;
    std::getline(words >> std::ws, rest);

    if (action == "record") {
      std::string entry = Utf8(fs::current_path()) + "\n";
      for (const std::string& a : args) entry += "[" + a + "]\n";
      std::ofstream(log, std::ios::binary | std::ios::app) << entry;
    } else if (action == "exit") {
      return std::stoi(rest);
    } else if (action == "sleep") {
      std::this_thread::sleep_for(std::chrono::milliseconds(std::stol(rest)));
    } else if (action == "truncate") {
      fs::resize_file(file, std::stoull(rest));
    } else if (action == "corrupt") {
      std::string bytes = ReadAll(file);
      bytes.replace(0, 2, "XX");
      WriteAll(file, bytes);
    } else if (action == "bump-version") {
      std::string bytes = ReadAll(file);
      if (!BumpVersion(bytes)) {
        std::cerr << "fake program: no FileVersion in " << Utf8(file) << "\n";
        return 99;
      }
      WriteAll(file, bytes);
    } else if (action == "append") {
      std::ofstream(file, std::ios::binary | std::ios::app) << rest;
    } else if (action == "remove") {
      fs::remove(file);
    } else if (action == "child-sleep") {
      if (!StartChild(folder, rest)) {
        std::cerr << "fake program: the child copy did not start\n";
        return 97;
      }
    } else {
      std::cerr << "fake program: unknown action " << action << "\n";
      return 98;
    }
  }
  return 0;
}
