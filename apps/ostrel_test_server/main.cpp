// The local verification server on its own, for manual runs and the demo. It listens on
// 127.0.0.1 only.
//
//   ostrel_test_server [--port N] [--fixtures DIR] [--hostile KIND [--hostile-path PATH]]
//
// Each DIR/*.json file scripts one path: {"path": "/api/kyc/confirm", "status": 200,
// "body": {...}} (or "raw": "text" with "content_type"). --hostile answers every path (or only
// PATH) with one kind of bad reply, named as `ostrel_test_server --hostile list` prints them.
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>

#include "testing/HostileReplies.hpp"
#include "testing/VerificationServer.hpp"

namespace {

volatile std::sig_atomic_t stopRequested = 0;

void onSignal(int) {
  stopRequested = 1;
}

int usage() {
  std::cerr << "usage: ostrel_test_server [--port N] [--fixtures DIR] [--hostile KIND "
               "[--hostile-path PATH]]\n";
  return 2;
}

bool loadFixture(ostrel::testing::VerificationServer& server, const std::filesystem::path& file) {
  std::ifstream in(file);
  std::stringstream text;
  text << in.rdbuf();
  auto fixture = ostrel::platform::JSON::parse(text.str(), nullptr, false);
  if (fixture.is_discarded() || !fixture.is_object() || !fixture.contains("path") ||
      !fixture["path"].is_string()) {
    std::cerr << "skipping " << file << ": not a fixture\n";
    return false;
  }
  const int status = fixture.value("status", 200);
  ostrel::testing::ScriptedReply reply;
  if (fixture.contains("raw") && fixture["raw"].is_string()) {
    reply = ostrel::testing::ScriptedReply::raw(
        fixture["raw"].get<std::string>(),
        fixture.value("content_type", std::string("application/octet-stream")), status);
  } else {
    reply = ostrel::testing::ScriptedReply::json(
        fixture.value("body", ostrel::platform::JSON::object()), status);
  }
  if (fixture.contains("delay") && fixture["delay"].is_number()) {
    reply.delaySeconds = fixture["delay"].get<double>();
  }
  server.setReply(fixture["path"].get<std::string>(), reply);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  int port = 0;
  std::filesystem::path fixtures;
  std::string hostile;
  std::string hostilePath;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--port" && i + 1 < argc) {
      char* end = nullptr;
      long value = std::strtol(argv[++i], &end, 10);
      if (!end || *end != '\0' || value < 0 || value > 65535) return usage();
      port = static_cast<int>(value);
    } else if (arg == "--fixtures" && i + 1 < argc) {
      fixtures = argv[++i];
    } else if (arg == "--hostile" && i + 1 < argc) {
      hostile = argv[++i];
    } else if (arg == "--hostile-path" && i + 1 < argc) {
      hostilePath = argv[++i];
    } else {
      return usage();
    }
  }

  std::optional<ostrel::testing::ScriptedReply> hostileReply;
  if (!hostile.empty()) {
    for (const auto& kind : ostrel::testing::hostileReplies()) {
      if (hostile == "list") std::cout << kind.name << "\n";
      if (hostile == kind.name) hostileReply = kind.reply;
    }
    if (hostile == "list") return 0;
    if (!hostileReply) {
      std::cerr << "no such kind of bad reply: " << hostile << "\n";
      return usage();
    }
  }

  ostrel::testing::VerificationServer server(port);
  if (!server.isRunning()) {
    std::cerr << "could not listen on 127.0.0.1:" << port << "\n";
    return 1;
  }
  if (!fixtures.empty()) {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(fixtures, ec)) {
      if (entry.path().extension() == ".json") loadFixture(server, entry.path());
    }
    if (ec) std::cerr << "cannot read " << fixtures << "\n";
  }
  if (hostileReply) {
    if (hostilePath.empty()) {
      server.setReplyEverywhere(*hostileReply);
    } else {
      server.setReply(hostilePath, *hostileReply);
    }
  }
  std::cout << server.baseUrl() << std::endl;

  std::signal(SIGINT, onSignal);
  std::signal(SIGTERM, onSignal);
  std::size_t reported = 0;
  while (!stopRequested && server.isRunning()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    auto log = server.requests();
    for (; reported < log.size(); ++reported) {
      std::cout << log[reported].method << " " << log[reported].path << "\n";
    }
    auto problems = server.problems();
    for (const auto& problem : problems) std::cerr << "check failed: " << problem << "\n";
    if (!problems.empty()) {
      server.clearLog();
      reported = 0;
    }
  }
  server.stop();
  return 0;
}
