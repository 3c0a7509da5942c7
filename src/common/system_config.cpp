#include "common/system_config.hpp"

namespace parone {

SystemConfig SystemConfig::Defaults() {
  SystemConfig c;
  // The company's download server; both the FTP upload and the HTTP read of
  // the lastver files go to this one host.
  c.ftpHost = "download.parone.example";
  c.ftpUser = "sdc1";
  c.ftpPassword = "Rb4#kQ9zLw2p";
  c.ftpPort = 21;
  c.httpPort = 80;
  c.remoteDir = "public_html/download/자동업데이트_v1";
  c.webPath = "/download/자동업데이트_v1/";
#ifdef _WIN32
  c.unsignedDrop = "S:\\Codesigning\\unsigned";
  c.signedDrop = "S:\\Codesigning\\signed";
#else
  // The same share, as it is mounted on the Linux build machines.
  c.unsignedDrop = "/mnt/s/Codesigning/unsigned";
  c.signedDrop = "/mnt/s/Codesigning/signed";
#endif
  c.defaultUpxPath = "D:\\upx.exe";
  return c;
}

}  // namespace parone
