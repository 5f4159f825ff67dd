#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/foundation/JSON.hpp"

namespace httplib {
class Server;
}

namespace ostrel::testing {

// One scripted answer of the local verification server.
struct ScriptedReply {
  enum class Fault {
    none,
    truncated,  // announces the whole body, sends half of it, then closes the connection
    huge,       // a body far larger than any reply the client accepts
  };

  int status = 200;
  std::string body;
  std::string contentType = "application/json";
  double delaySeconds = 0;  // real seconds before answering (bounded, interrupted by stop)
  Fault fault = Fault::none;
  std::string location;  // sent as the Location header when not empty
  std::vector<std::pair<std::string, std::string>> headers;  // sent as they are

  static ScriptedReply json(const platform::JSON& body, int status = 200);
  static ScriptedReply data(const platform::JSON& data);  // {"data": data}
  static ScriptedReply error(int code, const std::string& message, int status = 200);
  static ScriptedReply raw(std::string body, std::string contentType, int status = 200);
  // A redirect (301, 302, 303, 307, 308) to `location`, with an empty JSON body.
  static ScriptedReply redirect(int status, std::string location);
  // A gzip-encoded body of a few hundred kilobytes that inflates to "{" and 128 MiB of spaces:
  // past every size limit of the client once decoded.
  static ScriptedReply gzipBomb();
};

struct RecordedPart {
  std::string name;
  std::string filename;
  std::string contentType;
  std::string content;
};

// What the server saw of one request.
struct RecordedRequest {
  std::string method;
  std::string path;
  std::multimap<std::string, std::string> query;
  std::multimap<std::string, std::string> headers;  // names in lower case
  std::string body;
  std::vector<RecordedPart> parts;
  // The verifyNfc body after decryption, when it decrypted to a JSON object.
  std::optional<platform::JSON> decryptedBody;

  std::optional<std::string> header(const std::string& name) const;
  std::optional<std::string> queryValue(const std::string& name) const;
  const RecordedPart* part(const std::string& name) const;
  std::size_t partCount(const std::string& name) const;
  // The body parsed as a JSON object; nothing when it is not one.
  std::optional<platform::JSON> jsonBody() const;
};

// A verification server on 127.0.0.1 (never any other address) for tests, the demo and manual
// runs. Every server path has a sane default reply; tests script others per path. It records
// every request and checks what the client must get right: the Authorization header (present
// on every path but the model download, absent there), the card-image and location signatures
// and the encrypted chip body. A failed check is answered with an error and listed in
// `problems()`.
class VerificationServer {
 public:
  // Listens on an ephemeral port, or on `port` when it is not 0.
  explicit VerificationServer(int port = 0);
  ~VerificationServer();
  VerificationServer(const VerificationServer&) = delete;
  VerificationServer& operator=(const VerificationServer&) = delete;

  bool isRunning() const;
  int port() const { return port_; }
  std::string baseUrl() const;
  void stop();

  // Replaces the reply of `path` until reset; `once` replies are used first, in order.
  void setReply(const std::string& path, ScriptedReply reply);
  // The reply of every path that has no reply of its own, the model download included, until
  // reset (a server gone bad as a whole).
  void setReplyEverywhere(ScriptedReply reply);
  void pushOnceReply(const std::string& path, ScriptedReply reply);
  void resetReplies();
  // Bytes served by the model download (`sampleCardDetectorRecipe` until replaced).
  void setModelBytes(std::string bytes);
  // The Authorization value expected (any non-empty one when unset).
  void setExpectedAuthorization(std::optional<std::string> value);
  // Whether a request without Authorization is refused (default yes).
  void setRequireAuthorization(bool require);

  std::vector<RecordedRequest> requests() const;
  std::vector<RecordedRequest> requests(const std::string& path) const;
  std::optional<RecordedRequest> lastRequest(const std::string& path) const;
  std::vector<std::string> problems() const;
  void clearLog();

  // The default reply of each path, as served before any scripting.
  static std::map<std::string, ScriptedReply> defaultReplies();
  static const std::vector<std::string>& knownPaths();

 private:
  void handle(const void* request, void* response);
  ScriptedReply replyFor(const std::string& path, const std::string& language);
  void addProblem(std::string problem);

  std::unique_ptr<httplib::Server> server_;
  std::thread thread_;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  std::atomic<bool> listenEnded_{false};

  mutable std::mutex mutex_;
  std::map<std::string, ScriptedReply> replies_;
  std::map<std::string, std::vector<ScriptedReply>> onceReplies_;
  std::optional<ScriptedReply> replyEverywhere_;
  // The sample card detector, so a downloaded model loads, runs and finds a card.
  std::string modelBytes_;
  std::optional<std::string> expectedAuthorization_;
  bool requireAuthorization_ = true;
  std::vector<RecordedRequest> log_;
  std::vector<std::string> problems_;
};

}  // namespace ostrel::testing
