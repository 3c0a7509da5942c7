// The plain libcurl upload the Windows publish benchmark compares with: one
// FTP upload of a local file, built from the same libcurl as the tool, with
// nothing of the tool around it (no temporary name, no rename, no progress).
//   curl_upload [--short-waits] FILE URL        (URL with user and password)
// Plainly it runs curl_easy_perform, whose waits of up to a second stall the
// transfer now and then under wine. With --short-waits it drives the same
// transfer through a multi handle with the tool's waits (a millisecond after
// any activity, growing to 100 ms while nothing happens): the library at its
// best, for the tool to be measured against as well.
#include <curl/curl.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

std::size_t ReadFromFile(char* buffer, std::size_t size, std::size_t count, void* file) {
  return std::fread(buffer, size, count, static_cast<std::FILE*>(file));
}

CURLcode PerformWithShortWaits(CURL* curl) {
  CURLM* multi = curl_multi_init();
  curl_multi_add_handle(multi, curl);
  long idleWaitMs = 1;
  int running = 1;
  while (curl_multi_perform(multi, &running) == CURLM_OK && running) {
    long timerMs = -1;
    curl_multi_timeout(multi, &timerMs);
    int active = 0;
    curl_multi_poll(multi, nullptr, 0,
                    static_cast<int>(timerMs >= 0 ? std::min(timerMs, idleWaitMs) : idleWaitMs),
                    &active);
    idleWaitMs = active > 0 ? 1 : std::min(idleWaitMs * 2, 100L);
  }
  CURLcode result = CURLE_FAILED_INIT;
  int left = 0;
  while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
    if (message->msg == CURLMSG_DONE) result = message->data.result;
  }
  curl_multi_remove_handle(multi, curl);
  curl_multi_cleanup(multi);
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  const bool shortWaits = argc == 4 && std::strcmp(argv[1], "--short-waits") == 0;
  if (argc != 3 && !shortWaits) {
    std::fprintf(stderr, "usage: curl_upload [--short-waits] FILE URL\n");
    return 2;
  }
  const char* path = argv[argc - 2];
  const char* url = argv[argc - 1];
  std::FILE* file = std::fopen(path, "rb");
  if (!file) {
    std::perror(path);
    return 1;
  }
  curl_global_init(CURL_GLOBAL_DEFAULT);
  CURL* curl = curl_easy_init();
  curl_easy_setopt(curl, CURLOPT_URL, url);
  curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
  curl_easy_setopt(curl, CURLOPT_READFUNCTION, ReadFromFile);
  curl_easy_setopt(curl, CURLOPT_READDATA, file);
  const CURLcode code = shortWaits ? PerformWithShortWaits(curl) : curl_easy_perform(curl);
  if (code != CURLE_OK) std::fprintf(stderr, "curl_upload: %s\n", curl_easy_strerror(code));
  curl_easy_cleanup(curl);
  curl_global_cleanup();
  std::fclose(file);
  return code == CURLE_OK ? 0 : 1;
}
