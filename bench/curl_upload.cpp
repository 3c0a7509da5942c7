// The plain libcurl upload the Windows publish benchmark compares with: one
// FTP upload of a local file, built from the same libcurl as the tool, with
// nothing of the tool around it (no temporary name, no rename, no progress).
//   curl_upload FILE URL        (URL with user and password)
#include <curl/curl.h>

#include <cstdio>

namespace {

std::size_t ReadFromFile(char* buffer, std::size_t size, std::size_t count, void* file) {
  return std::fread(buffer, size, count, static_cast<std::FILE*>(file));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: curl_upload FILE URL\n");
    return 2;
  }
  std::FILE* file = std::fopen(argv[1], "rb");
  if (!file) {
    std::perror(argv[1]);
    return 1;
  }
  curl_global_init(CURL_GLOBAL_DEFAULT);
  CURL* curl = curl_easy_init();
  curl_easy_setopt(curl, CURLOPT_URL, argv[2]);
  curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
  curl_easy_setopt(curl, CURLOPT_READFUNCTION, ReadFromFile);
  curl_easy_setopt(curl, CURLOPT_READDATA, file);
  const CURLcode code = curl_easy_perform(curl);
  if (code != CURLE_OK) std::fprintf(stderr, "curl_upload: %s\n", curl_easy_strerror(code));
  curl_easy_cleanup(curl);
  curl_global_cleanup();
  std::fclose(file);
  return code == CURLE_OK ? 0 : 1;
}
