#include "platform/net/HttpTransport.hpp"

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace ostrel::platform {
namespace {

std::mutex& sharedMutex() {
  static std::mutex m;
  return m;
}

std::shared_ptr<HttpTransport>& sharedTransport() {
  static std::shared_ptr<HttpTransport> transport;
  return transport;
}

void globalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// Header names are ASCII; lowered by hand so that the process locale (a Turkish "I") has no say.
std::string lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

std::string trim(const std::string& text) {
  auto begin = text.find_first_not_of(" \t\r\n");
  if (begin == std::string::npos) return "";
  auto end = text.find_last_not_of(" \t\r\n");
  return text.substr(begin, end - begin + 1);
}

struct Transfer {
  const HttpRequest* request = nullptr;
  HttpResponse* response = nullptr;
  const std::atomic<bool>* stopping = nullptr;
  bool tooLarge = false;
  int status = 0;          // of the status line last seen
  std::size_t received = 0;  // body bytes of the current reply, decoded
};

size_t onBody(char* data, size_t size, size_t count, void* user) {
  auto* transfer = static_cast<Transfer*>(user);
  const size_t n = size * count;
  // Counted after content decoding, so a small compressed reply cannot inflate without end.
  if (transfer->received + n > transfer->request->maxResponseBytes) {
    transfer->tooLarge = true;
    return 0;  // makes curl stop with a write error
  }
  transfer->received += n;
  const auto& sink = transfer->request->bodySink;
  if (sink && transfer->status >= 200 && transfer->status < 300) {
    return sink({reinterpret_cast<const std::uint8_t*>(data), n}) ? n : 0;
  }
  auto& body = transfer->response->body;
  body.insert(body.end(), data, data + n);
  return n;
}

int statusOfLine(const std::string& line) {
  auto space = line.find(' ');
  if (space == std::string::npos) return 0;
  int status = 0;
  for (std::size_t i = space + 1; i < line.size() && i < space + 4; ++i) {
    if (line[i] < '0' || line[i] > '9') return 0;
    status = status * 10 + (line[i] - '0');
  }
  return status;
}

size_t onHeader(char* data, size_t size, size_t count, void* user) {
  auto* transfer = static_cast<Transfer*>(user);
  const size_t n = size * count;
  std::string line(data, n);
  if (line.rfind("HTTP/", 0) == 0) {
    // A new status line (after a redirect or an interim reply) starts a new header block.
    transfer->response->headers.clear();
    transfer->status = statusOfLine(line);
    transfer->received = 0;
    transfer->response->body.clear();
    return n;
  }
  auto colon = line.find(':');
  if (colon != std::string::npos) {
    transfer->response->headers.emplace_back(lower(trim(line.substr(0, colon))),
                                             trim(line.substr(colon + 1)));
  }
  return n;
}

int onProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  auto* transfer = static_cast<Transfer*>(user);
  return transfer->stopping->load() ? 1 : 0;
}

HttpResponse::Failure failureOf(CURLcode code) {
  switch (code) {
    case CURLE_OK:
      return HttpResponse::Failure::none;
    case CURLE_OPERATION_TIMEDOUT:
      return HttpResponse::Failure::timedOut;
    case CURLE_COULDNT_CONNECT:
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
      return HttpResponse::Failure::cannotConnect;
    case CURLE_ABORTED_BY_CALLBACK:
      return HttpResponse::Failure::cancelled;
    default:
      return HttpResponse::Failure::other;
  }
}

bool startsOnHttps(const std::string& url) {
  return lower(url.substr(0, 8)) == "https://";
}

// A line break in a header would end it there and start another of the sender's choosing.
bool headersAreSafe(const HttpHeaders& headers) {
  return std::none_of(headers.begin(), headers.end(), [](const auto& header) {
    return header.first.find_first_of("\r\n:") != std::string::npos ||
           header.second.find_first_of("\r\n") != std::string::npos;
  });
}

HttpResponse perform(const HttpRequest& request, const std::atomic<bool>& stopping,
                     const std::string& trustedPEM) {
  HttpResponse response;
  if (!headersAreSafe(request.headers)) {
    response.failure = HttpResponse::Failure::other;
    return response;
  }
  CURL* curl = curl_easy_init();
  if (!curl) {
    response.failure = HttpResponse::Failure::other;
    return response;
  }
  Transfer transfer{&request, &response, &stopping};
  curl_slist* headers = nullptr;
  for (const auto& [name, value] : request.headers) {
    // "Name;" is how curl sends a header with an empty value.
    std::string line = value.empty() ? name + ";" : name + ": " + value;
    headers = curl_slist_append(headers, line.c_str());
  }
  // Large bodies would otherwise wait for a "100 Continue" the server may never send.
  headers = curl_slist_append(headers, "Expect:");

  const long timeoutMs = static_cast<long>(std::max(1.0, request.timeout * 1000));
  curl_easy_setopt(curl, CURLOPT_URL, request.url.c_str());
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, timeoutMs);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, timeoutMs);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  // A request that began on https never follows a redirect to plain http: it would re-send its
  // body (card photos, selfies, chip data) and the session token in the clear. Such a redirect
  // ends the transfer with an error instead.
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR,
                   startsOnHttps(request.url) ? "https" : "http,https");
  curl_blob trusted{};
  if (!trustedPEM.empty()) {
    trusted.data = const_cast<char*>(trustedPEM.data());
    trusted.len = trustedPEM.size();
    trusted.flags = CURL_BLOB_NOCOPY;
    curl_easy_setopt(curl, CURLOPT_CAINFO_BLOB, &trusted);
  }
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 5L);
  curl_easy_setopt(curl, CURLOPT_NOPROXY, "localhost,127.0.0.1,::1");
  curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, "");
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, onBody);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
  curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, onHeader);
  curl_easy_setopt(curl, CURLOPT_HEADERDATA, &transfer);
  curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, onProgress);
  curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &transfer);

  if (request.method == "GET") {
    curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
  } else {
    if (request.method != "POST") {
      curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, request.method.c_str());
    }
    curl_easy_setopt(curl, CURLOPT_POST, 1L);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE,
                     static_cast<curl_off_t>(request.body.size()));
    curl_easy_setopt(
        curl, CURLOPT_POSTFIELDS,
        request.body.empty() ? "" : reinterpret_cast<const char*>(request.body.data()));
  }

  CURLcode code = curl_easy_perform(curl);
  long status = 0;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
  curl_slist_free_all(headers);
  curl_easy_cleanup(curl);

  response.status = static_cast<int>(status);
  response.failure = transfer.tooLarge ? HttpResponse::Failure::tooLarge : failureOf(code);
  if (!response.completed()) response.body.clear();
  return response;
}

}  // namespace

std::optional<std::string> HttpResponse::header(const std::string& lowerCaseName) const {
  for (const auto& [name, value] : headers) {
    if (name == lowerCaseName) return value;
  }
  return std::nullopt;
}

std::shared_ptr<HttpTransport> HttpTransport::shared() {
  std::lock_guard lock(sharedMutex());
  if (!sharedTransport()) sharedTransport() = std::make_shared<CurlTransport>();
  return sharedTransport();
}

void HttpTransport::setShared(std::shared_ptr<HttpTransport> transport) {
  std::shared_ptr<HttpTransport> previous;
  {
    std::lock_guard lock(sharedMutex());
    previous = std::exchange(sharedTransport(), std::move(transport));
  }
  // Released unlocked: a transport's destructor joins its threads.
}

struct CurlTransport::State {
  struct Job {
    HttpRequest request;
    std::function<void(HttpResponse)> completion;
  };
  std::mutex mutex;
  std::condition_variable wake;
  std::deque<Job> jobs;
  std::atomic<bool> stopping{false};
  std::vector<std::thread> threads;
  std::string trustedPEM;  // guarded by mutex

  void run() {
    for (;;) {
      Job job;
      std::string trusted;
      {
        std::unique_lock lock(mutex);
        wake.wait(lock, [&] { return stopping.load() || !jobs.empty(); });
        if (jobs.empty()) return;
        job = std::move(jobs.front());
        jobs.pop_front();
        trusted = trustedPEM;
      }
      HttpResponse response;
      if (stopping.load()) {
        response.failure = HttpResponse::Failure::cancelled;
      } else {
        response = perform(job.request, stopping, trusted);
      }
      if (job.completion) job.completion(std::move(response));
    }
  }
};

CurlTransport::CurlTransport(std::size_t threads) : state_(std::make_shared<State>()) {
  globalInit();
  threads = std::max<std::size_t>(1, threads);
  for (std::size_t i = 0; i < threads; ++i) {
    state_->threads.emplace_back([state = state_.get()] { state->run(); });
  }
}

CurlTransport::~CurlTransport() {
  {
    std::lock_guard lock(state_->mutex);
    state_->stopping = true;
  }
  state_->wake.notify_all();
  for (auto& thread : state_->threads) {
    if (thread.joinable()) thread.join();
  }
}

void CurlTransport::trustCertificatesForTesting(std::string pem) {
  std::lock_guard lock(state_->mutex);
  state_->trustedPEM = std::move(pem);
}

void CurlTransport::send(HttpRequest request, std::function<void(HttpResponse)> completion) {
  {
    std::lock_guard lock(state_->mutex);
    if (!state_->stopping) {
      state_->jobs.push_back({std::move(request), std::move(completion)});
      state_->wake.notify_one();
      return;
    }
  }
  HttpResponse cancelled;
  cancelled.failure = HttpResponse::Failure::cancelled;
  if (completion) completion(std::move(cancelled));
}

}  // namespace ostrel::platform
