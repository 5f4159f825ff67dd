#pragma once

#include <memory>
#include <string>
#include <thread>

namespace httplib {
class Server;
}

namespace ostrel::testing {

// An HTTPS server on 127.0.0.1 with a self-signed certificate made for it at start (for
// 127.0.0.1 and localhost, valid for an hour). Tests add their routes to `server()` before
// `start()` and make their client trust `certificatePEM()`.
class LocalTLSServer {
 public:
  LocalTLSServer();
  ~LocalTLSServer();
  LocalTLSServer(const LocalTLSServer&) = delete;
  LocalTLSServer& operator=(const LocalTLSServer&) = delete;

  httplib::Server& server();
  const std::string& certificatePEM() const { return certificatePEM_; }
  // Listens on an ephemeral port; false when the certificate or the socket could not be made.
  bool start();
  void stop();
  int port() const { return port_; }
  std::string baseUrl() const;

 private:
  std::unique_ptr<httplib::Server> server_;
  std::string certificatePEM_;
  std::thread thread_;
  int port_ = 0;
};

}  // namespace ostrel::testing
