#include "testing/VerificationServer.hpp"

#include <httplib.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <chrono>

#include "network/OSLCrypto.hpp"
#include "platform/foundation/Base64.hpp"
#include "platform/media/Image.hpp"
#include "testing/LanguageDictionary.hpp"
#include "testing/SamplePerson.hpp"
#include "testing/TinyOnnxModel.hpp"

namespace ostrel::testing {
namespace {

using platform::JSON;

constexpr const char* kDownloadPath = "/api/sdk-model/download";
constexpr const char* kLanguagePath = "/lang/get";
constexpr double kMaxDelay = 5;

std::string lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

std::string smallPngBase64() {
  cv::Mat rgba(4, 4, CV_8UC4, cv::Scalar(50, 112, 234, 255));
  platform::Image image(rgba);
  auto png = image.pngData();
  return png ? platform::base64Encode(*png) : "";
}

}  // namespace

ScriptedReply ScriptedReply::json(const JSON& body, int status) {
  ScriptedReply reply;
  reply.status = status;
  reply.body = body.dump();
  return reply;
}

ScriptedReply ScriptedReply::data(const JSON& data) {
  return json({{"data", data}});
}

ScriptedReply ScriptedReply::error(int code, const std::string& message, int status) {
  return json({{"error", {{"code", code}, {"message", message}}}}, status);
}

ScriptedReply ScriptedReply::raw(std::string body, std::string contentType, int status) {
  ScriptedReply reply;
  reply.status = status;
  reply.body = std::move(body);
  reply.contentType = std::move(contentType);
  return reply;
}

ScriptedReply ScriptedReply::gzipBomb() {
  static const std::string compressed = [] {
    z_stream stream{};
    // 31: a gzip wrapper around the deflate stream.
    deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, 31, 9, Z_DEFAULT_STRATEGY);
    std::string out;
    std::string chunk(std::size_t{1} << 20, ' ');
    chunk[0] = '{';
    std::vector<unsigned char> buffer(std::size_t{1} << 16);
    for (int i = 0; i < 128; ++i) {
      stream.next_in = reinterpret_cast<Bytef*>(chunk.data());
      stream.avail_in = static_cast<uInt>(chunk.size());
      const int flush = i == 127 ? Z_FINISH : Z_NO_FLUSH;
      do {
        stream.next_out = buffer.data();
        stream.avail_out = static_cast<uInt>(buffer.size());
        deflate(&stream, flush);
        out.append(reinterpret_cast<const char*>(buffer.data()), buffer.size() - stream.avail_out);
      } while (stream.avail_out == 0);
      chunk[0] = ' ';
    }
    deflateEnd(&stream);
    return out;
  }();
  // Not a type the server compresses on its own, so the body goes out as it is.
  ScriptedReply reply = raw(compressed, "application/octet-stream");
  reply.headers.emplace_back("Content-Encoding", "gzip");
  return reply;
}

ScriptedReply ScriptedReply::redirect(int status, std::string location) {
  ScriptedReply reply = json(JSON::object(), status);
  reply.location = std::move(location);
  return reply;
}

std::optional<std::string> RecordedRequest::header(const std::string& name) const {
  auto it = headers.find(lower(name));
  if (it == headers.end()) return std::nullopt;
  return it->second;
}

std::optional<std::string> RecordedRequest::queryValue(const std::string& name) const {
  auto it = query.find(name);
  if (it == query.end()) return std::nullopt;
  return it->second;
}

const RecordedPart* RecordedRequest::part(const std::string& name) const {
  for (const auto& p : parts) {
    if (p.name == name) return &p;
  }
  return nullptr;
}

std::size_t RecordedRequest::partCount(const std::string& name) const {
  return static_cast<std::size_t>(
      std::count_if(parts.begin(), parts.end(), [&](const auto& p) { return p.name == name; }));
}

std::optional<JSON> RecordedRequest::jsonBody() const {
  JSON parsed = JSON::parse(body, nullptr, false);
  if (parsed.is_discarded() || !parsed.is_object()) return std::nullopt;
  return parsed;
}

const std::vector<std::string>& VerificationServer::knownPaths() {
  static const std::vector<std::string> paths = {
      "/api/kyc/app/scan-front",
      "/api/kyc/app/scan-back",
      "/api/kyc/check-selfie",
      "/api/liveness/ipr/token",
      "/api/liveness/ipr/validate",
      "/api/data/image",
      "/api/kyc/qr-code/submit",
      "/api/data/get",
      "/api/nfc/verify",
      "/api/kyc/confirm",
      "/api/kyc/get-result",
      "/api/nfc/location",
      "/api/configuration/versions",
      "/lang/versions",
      kLanguagePath,
      kDownloadPath,
  };
  return paths;
}

std::map<std::string, ScriptedReply> VerificationServer::defaultReplies() {
  const SamplePerson& person = samplePerson();
  const JSON card = person.cardFieldsJSON();
  auto pick = [&card](std::initializer_list<const char*> keys) {
    JSON fields = JSON::object();
    for (const char* key : keys) fields[key] = card.at(key);
    return fields;
  };
  const std::string mrz = zoneText(person.td1Zone());
  JSON frontFields = pick({"name", "id_number", "birthday", "gender", "home", "resident", "doe"});
  frontFields["type"] = "eid24_front";
  const JSON front = {{"card_type", "eid24_front"},
                      {"blur_score", 0.12},
                      {"flash_score", 0},
                      {"photocopy_score", 0.05},
                      {"fields", frontFields}};
  // What the confirmation screen shows: everything recognised on both sides.
  JSON resultFields = card;
  resultFields["type"] = "eid24_front";
  JSON result = front;
  result["fields"] = resultFields;
  const std::string png = smallPngBase64();
  std::map<std::string, ScriptedReply> replies;
  replies["/api/kyc/app/scan-front"] = ScriptedReply::data(front);
  replies["/api/kyc/app/scan-back"] =
      ScriptedReply::data({{"card_type", "eid24_back"},
                           {"blur_score", 0.1},
                           {"flash_score", 0},
                           {"photocopy_score", 0.02},
                           {"fields", pick({"features", "doi", "poi"})},
                           {"mrz", {{"raw_mrz", mrz}}}});
  replies["/api/kyc/check-selfie"] = ScriptedReply::data({{"is_live", true}});
  replies["/api/liveness/ipr/token"] = ScriptedReply::data({{"access_token", "vendor-token-1"}});
  replies["/api/liveness/ipr/validate"] = ScriptedReply::data(JSON::object());
  replies["/api/data/image"] = ScriptedReply::data({{"image", png}});
  replies["/api/kyc/qr-code/submit"] =
      ScriptedReply::data({{"fields", pick({"id_number", "birthday", "doi"})}});
  replies["/api/data/get"] = ScriptedReply::data({{"raw_mrz", mrz}});
  replies["/api/nfc/verify"] = ScriptedReply::data({{"is_nfc_face_match_selfie", true}});
  JSON detail = {
      {"is_pass", 1}, {"description", "Face matches"}, {"description_vi", "Khớp khuôn mặt"}};
  JSON decision = {{"decision", "APPROVED"}, {"details", JSON::array({detail})}};
  replies["/api/kyc/confirm"] = ScriptedReply::data({{"session", "session-1"},
                                                     {"decision_detail", decision},
                                                     {"nfc_data", person.chipRecordJSON(png)}});
  replies["/api/kyc/get-result"] = ScriptedReply::data(result);
  replies["/api/nfc/location"] =
      ScriptedReply::json({{"data", {{"image", png}}}, {"error", {{"code", 0}}}});
  replies["/api/configuration/versions"] =
      ScriptedReply::data({{"idcard_model", "1"}, {"flashcard_model", "1"}});
  replies["/lang/versions"] = ScriptedReply::data({{"version", "1"}});
  // "/lang/get" answers from the default dictionary in the asked language (see replyFor).
  return replies;
}

VerificationServer::VerificationServer(int port)
    : server_(std::make_unique<httplib::Server>()), replies_(defaultReplies()) {
  const auto model = tinyDetectorModel(sampleCardDetectorRecipe());
  modelBytes_.assign(model.begin(), model.end());
  auto handler = [this](const httplib::Request& request, httplib::Response& response) {
    handle(&request, &response);
  };
  server_->Get(".*", handler);
  server_->Post(".*", handler);
  server_->Put(".*", handler);
  server_->Delete(".*", handler);
  server_->set_read_timeout(5, 0);
  server_->set_write_timeout(5, 0);
  if (port == 0) {
    port_ = server_->bind_to_any_port("127.0.0.1");
  } else {
    port_ = server_->bind_to_port("127.0.0.1", port) ? port : -1;
  }
  if (port_ <= 0) return;
  thread_ = std::thread([this] {
    server_->listen_after_bind();
    listenEnded_ = true;
  });
  // cpp-httplib of this version has no readiness signal, and its stop() does nothing before
  // the loop runs: wait for the loop however long a loaded machine takes to start the thread.
  while (!server_->is_running() && !listenEnded_) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

VerificationServer::~VerificationServer() {
  stop();
}

bool VerificationServer::isRunning() const {
  return port_ > 0 && server_ && server_->is_running();
}

std::string VerificationServer::baseUrl() const {
  return "http://127.0.0.1:" + std::to_string(port_);
}

void VerificationServer::stop() {
  stopping_ = true;
  if (server_) server_->stop();
  if (thread_.joinable()) thread_.join();
}

void VerificationServer::setReply(const std::string& path, ScriptedReply reply) {
  std::lock_guard lock(mutex_);
  replies_[path] = std::move(reply);
}

void VerificationServer::setReplyEverywhere(ScriptedReply reply) {
  std::lock_guard lock(mutex_);
  replies_.clear();
  replyEverywhere_ = std::move(reply);
}

void VerificationServer::pushOnceReply(const std::string& path, ScriptedReply reply) {
  std::lock_guard lock(mutex_);
  onceReplies_[path].push_back(std::move(reply));
}

void VerificationServer::resetReplies() {
  std::lock_guard lock(mutex_);
  replies_ = defaultReplies();
  onceReplies_.clear();
  replyEverywhere_.reset();
}

void VerificationServer::setModelBytes(std::string bytes) {
  std::lock_guard lock(mutex_);
  modelBytes_ = std::move(bytes);
}

void VerificationServer::setExpectedAuthorization(std::optional<std::string> value) {
  std::lock_guard lock(mutex_);
  expectedAuthorization_ = std::move(value);
}

void VerificationServer::setRequireAuthorization(bool require) {
  std::lock_guard lock(mutex_);
  requireAuthorization_ = require;
}

std::vector<RecordedRequest> VerificationServer::requests() const {
  std::lock_guard lock(mutex_);
  return log_;
}

std::vector<RecordedRequest> VerificationServer::requests(const std::string& path) const {
  std::lock_guard lock(mutex_);
  std::vector<RecordedRequest> out;
  for (const auto& r : log_) {
    if (r.path == path) out.push_back(r);
  }
  return out;
}

std::optional<RecordedRequest> VerificationServer::lastRequest(const std::string& path) const {
  std::lock_guard lock(mutex_);
  for (auto it = log_.rbegin(); it != log_.rend(); ++it) {
    if (it->path == path) return *it;
  }
  return std::nullopt;
}

std::vector<std::string> VerificationServer::problems() const {
  std::lock_guard lock(mutex_);
  return problems_;
}

void VerificationServer::clearLog() {
  std::lock_guard lock(mutex_);
  log_.clear();
  problems_.clear();
}

void VerificationServer::addProblem(std::string problem) {
  std::lock_guard lock(mutex_);
  problems_.push_back(std::move(problem));
}

ScriptedReply VerificationServer::replyFor(const std::string& path, const std::string& language) {
  std::lock_guard lock(mutex_);
  if (auto it = onceReplies_.find(path); it != onceReplies_.end() && !it->second.empty()) {
    ScriptedReply reply = std::move(it->second.front());
    it->second.erase(it->second.begin());
    return reply;
  }
  if (auto it = replies_.find(path); it != replies_.end()) return it->second;
  if (replyEverywhere_) return *replyEverywhere_;
  if (path == kDownloadPath) return ScriptedReply::raw(modelBytes_, "application/octet-stream");
  if (path == kLanguagePath) return ScriptedReply::data(defaultLanguageDictionary(language));
  return ScriptedReply::error(404, "No such path", 404);
}

void VerificationServer::handle(const void* requestPointer, void* responsePointer) {
  const auto& request = *static_cast<const httplib::Request*>(requestPointer);
  auto& response = *static_cast<httplib::Response*>(responsePointer);

  RecordedRequest recorded;
  recorded.method = request.method;
  recorded.path = request.path;
  recorded.query.insert(request.params.begin(), request.params.end());
  for (const auto& [name, value] : request.headers) recorded.headers.emplace(lower(name), value);
  recorded.body = request.body;
  for (const auto& [name, file] : request.files) {
    recorded.parts.push_back({file.name, file.filename, file.content_type, file.content});
  }

  // Built-in checks of what the client must get right.
  std::optional<std::string> problem;
  const auto authorization = recorded.header("Authorization");
  bool requireAuthorization;
  std::optional<std::string> expected;
  {
    std::lock_guard lock(mutex_);
    requireAuthorization = requireAuthorization_;
    expected = expectedAuthorization_;
  }
  if (request.path == kDownloadPath) {
    if (authorization) problem = "Authorization sent with the model download";
  } else if (requireAuthorization && (!authorization || authorization->empty())) {
    problem = "missing Authorization on " + request.path;
  } else if (authorization && expected && *authorization != *expected) {
    problem = "unexpected Authorization on " + request.path;
  }
  if (!problem &&
      (request.path == "/api/kyc/app/scan-front" || request.path == "/api/kyc/app/scan-back")) {
    const auto* image = recorded.part("image");
    const auto* signature = recorded.part("signature");
    if (!image || !signature) {
      problem = "card upload without image or signature";
    } else if (signature->content != Signatures::cardImage(platform::Bytes(image->content.begin(),
                                                                           image->content.end()))) {
      problem = "card image signature does not match";
    }
  }
  if (!problem && request.path == "/api/nfc/location") {
    const auto* model = recorded.part("model");
    const auto* signature = recorded.part("signature");
    if (!model || !signature || signature->content != Signatures::location(model->content)) {
      problem = "location signature does not match";
    }
  }
  if (!problem && request.path == "/api/nfc/verify") {
    auto plain = OSLCrypto::decrypt(request.body);
    JSON parsed = plain ? JSON::parse(*plain, nullptr, false) : JSON();
    if (!plain || parsed.is_discarded() || !parsed.is_object()) {
      problem = "chip body does not decrypt to a JSON object";
    } else {
      recorded.decryptedBody = parsed;
    }
  }
  {
    std::lock_guard lock(mutex_);
    log_.push_back(recorded);
  }
  if (problem) {
    addProblem(*problem);
    const bool auth = problem->find("Authorization") != std::string::npos;
    auto reply =
        auth ? ScriptedReply::error(401, *problem, 401) : ScriptedReply::error(400, *problem, 400);
    response.status = reply.status;
    response.set_content(reply.body, reply.contentType);
    return;
  }

  ScriptedReply reply = replyFor(request.path, request.get_param_value("lang"));
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(std::clamp(
                                                               reply.delaySeconds, 0.0, kMaxDelay));
  while (!stopping_ && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  response.status = reply.status;
  if (!reply.location.empty()) response.set_header("Location", reply.location);
  for (const auto& [name, value] : reply.headers) response.set_header(name, value);
  switch (reply.fault) {
    case ScriptedReply::Fault::none:
      response.set_content(reply.body, reply.contentType);
      break;
    case ScriptedReply::Fault::truncated: {
      auto body = std::make_shared<std::string>(reply.body);
      response.set_content_provider(
          body->size(), reply.contentType, [body](size_t offset, size_t, httplib::DataSink& sink) {
            if (offset == 0) sink.write(body->data(), body->size() / 2);
            return false;  // closes the connection with the body cut short
          });
      break;
    }
    case ScriptedReply::Fault::huge: {
      constexpr size_t kHuge = size_t{40} << 20;
      auto spaces = std::make_shared<std::string>(size_t{1} << 16, ' ');
      response.set_content_provider(
          kHuge, reply.contentType,
          [spaces, this](size_t offset, size_t length, httplib::DataSink& sink) {
            if (stopping_) return false;
            if (offset == 0) return sink.write("{", 1);
            return sink.write(spaces->data(), std::min(length, spaces->size()));
          });
      break;
    }
  }
}

}  // namespace ostrel::testing
