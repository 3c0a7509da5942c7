#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "platform/credential_store.hpp"
#include "platform/fakes/fixed_process_facts.hpp"
#include "test_dir.hpp"

namespace parone {
namespace {

namespace fs = std::filesystem;
using Status = StoredPassword::Status;

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// The platform's own store: on Linux a file in a folder of the test's own;
// on Windows the Credential Manager of wine's (or the test account's)
// user, with host names no one else uses, erased again afterwards.
class CredentialStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = testing::FreshTestDir("parone_credentials");
    folder_ = dir_ / "config" / testing::Utf8Path("파로네_배포");
    facts_.userDataFolder = testing::Utf8Of(folder_);
    store_ = MakeNativeCredentialStore(facts_);
  }
  void TearDown() override {
    for (const auto& [host, user] : used_) store_->Erase(host, user);
    fs::remove_all(dir_);
  }
  std::string Host(const std::string& name) {
    return name + "-" + std::to_string(::getpid()) + ".parone.test";
  }
  bool Write(const std::string& host, const std::string& user, const std::string& password) {
    used_.emplace_back(host, user);
    return store_->Write(host, user, password);
  }
  fs::path File() const { return folder_ / "credentials"; }
  // A store file as a user would write it by hand, readable by its owner alone.
  void PutFile(const std::string& text) {
    fs::create_directories(folder_);
    WriteBytes(File(), text);
    fs::permissions(File(), fs::perms::owner_read | fs::perms::owner_write);
  }

  fs::path dir_;
  fs::path folder_;
  FixedProcessFacts facts_{"/"};
  std::unique_ptr<CredentialStore> store_;
  std::vector<std::pair<std::string, std::string>> used_;
};

TEST_F(CredentialStoreTest, AWrittenPasswordIsReadBackReplacedAndErased) {
  const std::string host = Host("download");
  EXPECT_EQ(store_->Read(host, "sdc1").status, Status::kNoneStored);
  ASSERT_TRUE(Write(host, "sdc1", "first"));
  StoredPassword read = store_->Read(host, "sdc1");
  ASSERT_EQ(read.status, Status::kFound) << read.reason;
  EXPECT_EQ(read.password, "first");

  ASSERT_TRUE(Write(host, "sdc1", "second"));
  EXPECT_EQ(store_->Read(host, "sdc1").password, "second");

  EXPECT_TRUE(store_->Erase(host, "sdc1"));
  read = store_->Read(host, "sdc1");
  EXPECT_EQ(read.status, Status::kNoneStored) << read.reason;
  EXPECT_EQ(read.password, "");
  EXPECT_TRUE(store_->Erase(host, "sdc1"));  // nothing left to erase is no failure
}

TEST_F(CredentialStoreTest, HostsAndUsersAreKeptApart) {
  const std::string one = Host("one");
  const std::string two = Host("two");
  ASSERT_TRUE(Write(one, "sdc1", "p-one"));
  ASSERT_TRUE(Write(two, "sdc1", "p-two"));
  ASSERT_TRUE(Write(one, "other", "p-other"));
  EXPECT_EQ(store_->Read(one, "sdc1").password, "p-one");
  EXPECT_EQ(store_->Read(two, "sdc1").password, "p-two");
  EXPECT_EQ(store_->Read(one, "other").password, "p-other");
  EXPECT_EQ(store_->Read(two, "other").status, Status::kNoneStored);

  ASSERT_TRUE(store_->Erase(one, "sdc1"));
  EXPECT_EQ(store_->Read(one, "sdc1").status, Status::kNoneStored);
  EXPECT_EQ(store_->Read(two, "sdc1").password, "p-two");
  EXPECT_EQ(store_->Read(one, "other").password, "p-other");
}

TEST_F(CredentialStoreTest, PasswordsComeBackByteForByte) {
  const std::string host = Host("bytes");
  for (const std::string& password : {
           std::string("pass word  "),         // blanks, trailing ones too
           std::string("a:b::c"),              // the separator of other formats
           std::string("#not a comment"),      // a comment's mark at the start
           std::string("비밀 번호:#1"),        // Korean letters among the rest
           std::string("%41%%"),               // the escape character itself
           std::string("tab\there\r\nline"),  // control bytes
           std::string(""),                    // an empty password is a password
       }) {
    ASSERT_TRUE(Write(host, "sdc1", password)) << password;
    const StoredPassword read = store_->Read(host, "sdc1");
    ASSERT_EQ(read.status, Status::kFound) << read.reason;
    EXPECT_EQ(read.password, password);
  }
}

TEST_F(CredentialStoreTest, WritersAtOnceKeepEachOthersPasswords) {
  constexpr int kWriters = 4;
  constexpr int kHostsEach = 5;
  const auto name = [](int w, int h) { return "w" + std::to_string(w) + "h" + std::to_string(h); };
  for (int w = 0; w < kWriters; ++w) {
    for (int h = 0; h < kHostsEach; ++h) used_.emplace_back(Host(name(w, h)), "u");
  }
  std::atomic<int> failed{0};
  std::vector<std::thread> writers;
  for (int w = 0; w < kWriters; ++w) {
    writers.emplace_back([&, w] {
      for (int h = 0; h < kHostsEach; ++h) {
        if (!store_->Write(Host(name(w, h)), "u", "p" + name(w, h))) ++failed;
      }
    });
  }
  for (auto& writer : writers) writer.join();
  EXPECT_EQ(failed, 0);
  for (int w = 0; w < kWriters; ++w) {
    for (int h = 0; h < kHostsEach; ++h) {
      EXPECT_EQ(store_->Read(Host(name(w, h)), "u").password, "p" + name(w, h));
    }
  }
}

// The cases below are about the file the Linux store keeps (Windows keeps
// no file of its own; see tests/CMakeLists.txt).

TEST_F(CredentialStoreTest, TheFileAndTheFoldersItNeedsAreMadeForTheUserAlone) {
  ASSERT_FALSE(fs::exists(dir_ / "config"));
  ASSERT_TRUE(Write("download.parone.example", "sdc1", "secret"));
  EXPECT_EQ(fs::status(File()).permissions(), fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(fs::status(folder_).permissions(), fs::perms::owner_all);
  // Nothing is left beside it: the temporary file was renamed into place.
  std::size_t entries = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(folder_)) ++entries;
  EXPECT_EQ(entries, 1u);
}

TEST_F(CredentialStoreTest, AHandWrittenFileInTheDocumentedFormatIsRead) {
  PutFile("# written by hand\r\n"
          "\n"
          "download.parone.example sdc1 pass%20word%23:%25\r\n"
          "staging.parone.example sdc1 비밀번호\n"
          "last.parone.example sdc1 %65nd");  // no line end at the end of the file
  EXPECT_EQ(store_->Read("download.parone.example", "sdc1").password, "pass word#:%");
  EXPECT_EQ(store_->Read("staging.parone.example", "sdc1").password, "비밀번호");
  EXPECT_EQ(store_->Read("last.parone.example", "sdc1").password, "end");
  // A write keeps the other lines' entries.
  ASSERT_TRUE(Write("new.parone.example", "sdc1", "a b"));
  EXPECT_EQ(store_->Read("download.parone.example", "sdc1").password, "pass word#:%");
  EXPECT_NE(ReadBytes(File()).find("\nnew.parone.example sdc1 a%20b\n"), std::string::npos);
}

TEST_F(CredentialStoreTest, ADamagedFileIsRefusedNamingTheLineAndLeftAsItIs) {
  for (const std::string& bad : {
           std::string("host sdc1\n"),            // two fields
           std::string("host sdc1 pass word\n"),  // a bare blank in the password
           std::string("host sdc1 pass%2\n"),     // an escape cut short
           std::string("host sdc1 pass%zz\n"),    // an escape that is no hex
           std::string(" sdc1 pass\n"),           // no host
       }) {
    const std::string text = "# good line first\nother sdc1 fine\n" + bad;
    PutFile(text);
    const StoredPassword read = store_->Read("other", "sdc1");
    EXPECT_EQ(read.status, Status::kRefused) << bad;
    EXPECT_NE(read.reason.find(testing::Utf8Of(File()) + " line 3"), std::string::npos) << read.reason;
    EXPECT_FALSE(store_->Write("other", "sdc1", "new")) << bad;
    EXPECT_FALSE(store_->Erase("other", "sdc1")) << bad;
    EXPECT_EQ(ReadBytes(File()), text);
  }
}

TEST_F(CredentialStoreTest, AFileOthersMayReadIsRefusedWithItsNameAndModeAndNotRewritten) {
  const std::string text = "download.parone.example sdc1 secret\n";
  for (const fs::perms extra : {fs::perms::group_read, fs::perms::others_read, fs::perms::group_write,
                                fs::perms::others_exec}) {
    PutFile(text);
    fs::permissions(File(), extra, fs::perm_options::add);
    const StoredPassword read = store_->Read("download.parone.example", "sdc1");
    EXPECT_EQ(read.status, Status::kRefused);
    EXPECT_EQ(read.password, "");
    EXPECT_NE(read.reason.find(testing::Utf8Of(File())), std::string::npos) << read.reason;
    const auto mode = static_cast<unsigned>(fs::perms::owner_read | fs::perms::owner_write | extra);
    char octal[16];
    std::snprintf(octal, sizeof octal, "%04o", mode);
    EXPECT_NE(read.reason.find(octal), std::string::npos) << read.reason;
    // Writing would mean carrying over (or dropping) what it holds.
    EXPECT_FALSE(store_->Write("download.parone.example", "sdc1", "new"));
    EXPECT_EQ(ReadBytes(File()), text);
    EXPECT_EQ(fs::status(File()).permissions(), fs::perms::owner_read | fs::perms::owner_write | extra);
  }
}

TEST_F(CredentialStoreTest, ALinkOrAFolderAtTheFilesNameIsRefusedAndNotWrittenThrough) {
  const fs::path elsewhere = dir_ / "elsewhere";
  WriteBytes(elsewhere, "download.parone.example sdc1 secret\n");
  fs::permissions(elsewhere, fs::perms::owner_read | fs::perms::owner_write,
                  fs::perm_options::replace);
  fs::create_directories(folder_);
  fs::create_symlink(elsewhere, File());
  StoredPassword read = store_->Read("download.parone.example", "sdc1");
  EXPECT_EQ(read.status, Status::kRefused);
  EXPECT_NE(read.reason.find("symbolic link"), std::string::npos) << read.reason;
  EXPECT_FALSE(store_->Write("download.parone.example", "sdc1", "new"));
  EXPECT_EQ(ReadBytes(elsewhere), "download.parone.example sdc1 secret\n");
  EXPECT_TRUE(fs::is_symlink(File()));

  fs::remove(File());
  fs::create_directory(File());
  read = store_->Read("download.parone.example", "sdc1");
  EXPECT_EQ(read.status, Status::kRefused);
  EXPECT_FALSE(read.reason.empty());
}

TEST_F(CredentialStoreTest, AUserWithoutAFolderHasNoStoreAndIsToldSo) {
  facts_.userDataFolder = "";
  const auto store = MakeNativeCredentialStore(facts_);
  const StoredPassword read = store->Read("download.parone.example", "sdc1");
  EXPECT_EQ(read.status, Status::kRefused);
  EXPECT_FALSE(read.reason.empty());
  EXPECT_FALSE(store->Write("download.parone.example", "sdc1", "secret"));
}

}  // namespace
}  // namespace parone
