// Where a run's FTP password is found, and the TLS settings it is read with.
#include <gtest/gtest.h>

#include <map>

#include "distribution/ftp_account.hpp"
#include "platform/fakes/memory_credential_store.hpp"
#include "platform/fakes/memory_file_system.hpp"
#include "platform/fakes/memory_settings_store.hpp"

namespace parone {
namespace {

// The home folder as the platform names it, and the netrc file in it.
const std::string kHome = std::string(1, kPlatform.separator) + "home";
const std::string kNetrc = kHome + kPlatform.separator + kPlatform.netrcNames[0];

class FtpAccountTest : public ::testing::Test {
 protected:
  FtpAccountTest() {
    config.ftpHost = "download.example";
    config.ftpUser = "sdc1";
    config.ftpPort = 21;
  }
  Environment Env() {
    return [this](const char* name) -> std::optional<std::string> {
      const auto found = variables.find(name);
      if (found == variables.end()) return std::nullopt;
      return found->second;
    };
  }
  FoundPassword Find(CredentialStore* lookIn) { return FindFtpPassword(config, Env(), lookIn, files); }

  SystemConfig config;
  std::map<std::string, std::string> variables;
  MemoryCredentialStore store;
  MemoryFileSystem files;
  MemorySettingsStore settings;
};

TEST_F(FtpAccountTest, ThePasswordIsTakenFromTheFirstPlaceThatHasOne) {
  config.ftpPassword = "built";
  variables["HOME"] = kHome;
  files.AddFile(kNetrc, "machine download.example login sdc1 password fromnetrc\n");
  store.Set("download.example", "sdc1", "stored");
  variables[kPasswordVariable] = "fromenv";

  FoundPassword found = Find(&store);
  EXPECT_EQ(found.source, PasswordSource::kEnvironment);
  EXPECT_EQ(found.password, "fromenv");
  EXPECT_TRUE(store.calls().empty());  // the store is not even asked

  variables[kPasswordVariable] = "";  // set but empty: as if unset
  found = Find(&store);
  EXPECT_EQ(found.source, PasswordSource::kStore);
  EXPECT_EQ(found.password, "stored");

  store.Erase("download.example", "sdc1");
  found = Find(&store);
  EXPECT_EQ(found.source, PasswordSource::kNetrc);
  EXPECT_EQ(found.netrcFile, kNetrc);
  EXPECT_EQ(found.password, "");  // libcurl reads it; the tool never holds it

  files.DeleteFile(kNetrc);
  found = Find(&store);
  EXPECT_EQ(found.source, PasswordSource::kBuild);
  EXPECT_EQ(found.password, "built");

  config.ftpPassword = "";
  EXPECT_FALSE(Find(&store).found());
  EXPECT_FALSE(Find(nullptr).found());
}

TEST_F(FtpAccountTest, AStoreThatMayNotBeUsedStopsTheSearchWithItsReason) {
  config.ftpPassword = "built";
  store.Refuse("credentials: mode 0644, readable by others");
  const FoundPassword found = Find(&store);
  EXPECT_FALSE(found.found());
  EXPECT_EQ(found.storeRefusal, "credentials: mode 0644, readable by others");
  // The environment still comes first.
  variables[kPasswordVariable] = "fromenv";
  EXPECT_EQ(Find(&store).source, PasswordSource::kEnvironment);
}

TEST_F(FtpAccountTest, ANetrcFileWithoutAnEntryForTheAccountIsPassedOver) {
  variables["HOME"] = kHome;
  files.AddFile(kNetrc, "machine other.example login sdc1 password x\n");
  EXPECT_FALSE(Find(&store).found());
  // Without HOME there is no file to look at.
  variables.erase("HOME");
  files.AddFile(kNetrc, "default login sdc1 password x\n");
  EXPECT_FALSE(Find(&store).found());
}

TEST_F(FtpAccountTest, UsingAPasswordPutsItOrItsNetrcFileIntoTheRequest) {
  PublishRequest request;
  request.config.ftpPassword = "built";
  UsePassword(request, FoundPassword{PasswordSource::kNetrc, "", kNetrc, ""});
  EXPECT_EQ(request.config.ftpPassword, "");  // not the built one beside the file
  EXPECT_EQ(request.ftpNetrcFile, kNetrc);
  UsePassword(request, FoundPassword{PasswordSource::kEntered, "typed", "", ""});
  EXPECT_EQ(request.config.ftpPassword, "typed");
  EXPECT_EQ(request.ftpNetrcFile, "");
}

TEST(NetrcEntry, IsFoundAsLibcurlReadsTheFile) {
  struct Row {
    const char* text;
    bool found;
  };
  const Row rows[] = {
      {"machine h login u password p", true},
      {"machine H\n\tlogin u\n\tpassword p\n", true},       // a host name in any case, over lines
      {"machine h login U password p", false},             // the login's case counts
      {"machine h login other password p", false},
      {"machine h password p", false},                     // no login: not this user's
      {"machine h password p login u", false},             // libcurl takes the password only after the login
      {"machine h2 login u password p", false},
      {"machine x login u password p\nmachine h login u password p", true},
      {"machine h login u password p\nmachine h login v", true},
      {"default login u password p", true},
      {"machine \"h\" login \"u\" password \"a b\\\"c\"", true},  // quoted tokens
      {"# machine h login u password p\n", false},         // a comment line
      {"machine h login u # password p\n", false},         // a comment to the end of the line
      {"macdef init\nmachine h login u password p\n\nmachine z", false},  // inside a macro
      {"macdef init\ncd /\n\nmachine h login u password p", true},        // after the macro
      {"machine h login u password", false},               // no password follows
      {"", false},
  };
  for (const Row& row : rows) EXPECT_EQ(NetrcHasEntry(row.text, "h", "u"), row.found) << row.text;
}

TEST_F(FtpAccountTest, TlsSettingsDefaultToAutoAndAreReadAsStored) {
  auto tls = ReadFtpTls(settings, Env(), config);
  ASSERT_TRUE(tls.ok());
  EXPECT_EQ(tls->mode, FtpTlsMode::kAuto);
  EXPECT_EQ(tls->caFile, "");
  EXPECT_EQ(tls->pin, "");
  EXPECT_FALSE(tls->spokenBefore);

  settings.Set(kAppTitle, "Config", "FtpTls", "Require");
  settings.Set(kAppTitle, "Config", "CaFile", "/etc/company-ca.pem");
  settings.Set(kAppTitle, "Config", "TlsPin", "sha256//abc+/=;sha256//def=");
  // Remembered per host (in any case) and port.
  settings.Set(kAppTitle, "TlsHosts", "download.example:21", "1");
  config.ftpHost = "Download.Example";
  tls = ReadFtpTls(settings, Env(), config);
  ASSERT_TRUE(tls.ok());
  EXPECT_EQ(tls->mode, FtpTlsMode::kRequire);
  EXPECT_EQ(tls->caFile, "/etc/company-ca.pem");
  EXPECT_EQ(tls->pin, "sha256//abc+/=;sha256//def=");
  EXPECT_TRUE(tls->spokenBefore);
  config.ftpPort = 2121;
  EXPECT_FALSE(ReadFtpTls(settings, Env(), config)->spokenBefore);

  variables[kCaFileVariable] = "/tmp/staging-ca.pem";  // the environment wins
  EXPECT_EQ(ReadFtpTls(settings, Env(), config)->caFile, "/tmp/staging-ca.pem");
  EXPECT_TRUE(settings.writes().empty());
}

TEST_F(FtpAccountTest, ATlsSettingOfAnotherFormIsAnErrorNotAWeakerDefault) {
  const std::pair<const char*, const char*> rows[] = {
      {"FtpTls", "yes"},
      {"FtpTls", ""},                   // present but empty is no mode either
      {"TlsPin", "5SxGP9LKYxnoqt"},     // the hash without its kind
      {"TlsPin", "sha1//abc="},         // libcurl pins sha256 only
      {"TlsPin", "sha256//"},
      {"TlsPin", "sha256//abc;"},       // an empty second pin
      {"TlsPin", "sha256//ab c"},
  };
  for (const auto& [key, value] : rows) {
    MemorySettingsStore fresh;
    fresh.Set(kAppTitle, "Config", key, value);
    const auto tls = ReadFtpTls(fresh, Env(), config);
    ASSERT_FALSE(tls.ok()) << key << "=" << value;
    EXPECT_NE(tls.error().message.find(std::string("Config/") + key), std::string::npos)
        << tls.error().message;
  }
  for (const char* mode : {"auto", "OFF", "require"}) {
    MemorySettingsStore fresh;
    fresh.Set(kAppTitle, "Config", "FtpTls", mode);
    EXPECT_TRUE(ReadFtpTls(fresh, Env(), config).ok()) << mode;
  }
}

}  // namespace
}  // namespace parone
