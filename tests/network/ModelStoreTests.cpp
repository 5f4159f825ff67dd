#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "core/SharedDefaults.hpp"
#include "network/ModelDownloader.hpp"
#include "network/OstrelClient.hpp"
#include "tests/network/ServerTest.hpp"

namespace ostrel {
namespace {

using testing::ScriptedReply;

std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class ModelStoreTest : public ServerTest {
 protected:
  ModelDownloader downloader;
};

TEST_F(ModelStoreTest, ModelURLErrors) {
  try {
    downloader.modelURL("");
    FAIL() << "no error";
  } catch (const ModelDownloader::DownloadError& error) {
    EXPECT_EQ(error.kind, ModelDownloader::DownloadError::Kind::emptyModelName);
  }
  for (const char* name : {"idcard_model", "../escape", "a/b"}) {
    SCOPED_TRACE(name);
    try {
      downloader.modelURL(name);
      FAIL() << "no error for " << name;
    } catch (const ModelDownloader::DownloadError& error) {
      EXPECT_EQ(error.kind, ModelDownloader::DownloadError::Kind::internalError);
      EXPECT_STREQ(error.what(), "Could not create directory for model storage.");
    }
  }
}

TEST_F(ModelStoreTest, DownloadStoresThenRecordsTheVersion) {
  server.setModelBytes("model-v2");
  // What a store cut short by a crash left behind is cleared by the next one.
  const auto directory = ModelDownloader::storageDirectory();
  std::filesystem::create_directories(directory);
  std::ofstream(directory / ".idcard_model.0123456789ab.tmp") << "half a model";
  auto result = downloader.updateIfNeeded(server.baseUrl(), "idcard_model", "2").get();
  EXPECT_TRUE(result.downloaded);
  EXPECT_FALSE(result.error);
  const auto expected =
      dataDirectory() / "Application Support" / "org.example.ostrel" / "idcard_model.mlmodelc";
  EXPECT_EQ(downloader.modelURL("idcard_model"), expected);
  EXPECT_EQ(readFile(expected), "model-v2");
  EXPECT_EQ(ModelDownloader::recordedVersion("idcard_model"), "2");
  // No stray temporary files next to it.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(expected.parent_path()),
                          std::filesystem::directory_iterator()),
            1);

  // Up to date: nothing is asked.
  server.clearLog();
  result = downloader.updateIfNeeded(server.baseUrl(), "idcard_model", "2").get();
  EXPECT_FALSE(result.downloaded);
  EXPECT_TRUE(server.requests().empty());
  EXPECT_TRUE(server.problems().empty());
}

TEST_F(ModelStoreTest, AFailedDownloadKeepsTheOldModelAndIsTriedAgain) {
  server.setModelBytes("model-v1");
  ASSERT_TRUE(downloader.updateIfNeeded(server.baseUrl(), "idcard_model", "1").get().downloaded);

  server.pushOnceReply("/api/sdk-model/download", ScriptedReply::error(503, "down", 503));
  auto failed = downloader.updateIfNeeded(server.baseUrl(), "idcard_model", "1.1").get();
  EXPECT_FALSE(failed.downloaded);
  ASSERT_TRUE(failed.error);
  EXPECT_EQ(failed.error->kind, ModelDownloader::DownloadError::Kind::downloadFailed);
  EXPECT_EQ(failed.error->code, 500);
  EXPECT_EQ(readFile(downloader.modelURL("idcard_model")), "model-v1");
  EXPECT_EQ(ModelDownloader::recordedVersion("idcard_model"), "1");

  ScriptedReply cut = ScriptedReply::raw("model-v1.1-but-longer", "application/octet-stream");
  cut.fault = ScriptedReply::Fault::truncated;
  server.pushOnceReply("/api/sdk-model/download", cut);
  failed = downloader.updateIfNeeded(server.baseUrl(), "idcard_model", "1.1").get();
  EXPECT_TRUE(failed.error);
  EXPECT_EQ(readFile(downloader.modelURL("idcard_model")), "model-v1");

  server.setModelBytes("model-v1.1");
  auto retried = downloader.updateIfNeeded(server.baseUrl(), "idcard_model", "1.1").get();
  EXPECT_TRUE(retried.downloaded);
  EXPECT_EQ(readFile(downloader.modelURL("idcard_model")), "model-v1.1");
  EXPECT_EQ(ModelDownloader::recordedVersion("idcard_model"), "1.1");
}

TEST_F(ModelStoreTest, AMissingFileIsDownloadedAgain) {
  auto versions = platform::JSON{{"idcard_model", "5"}};
  sharedDefaults()->setDictionary(defaults_keys::kConfigVersion, versions);
  server.setModelBytes("model-v5");
  auto result = downloader.updateIfNeeded(server.baseUrl(), "idcard_model", "5").get();
  EXPECT_TRUE(result.downloaded);
  EXPECT_EQ(readFile(downloader.modelURL("idcard_model")), "model-v5");
}

TEST_F(ModelStoreTest, EmptyModelFileIsAFailure) {
  server.setModelBytes("");
  auto result = downloader.updateIfNeeded(server.baseUrl(), "idcard_model", "1").get();
  EXPECT_TRUE(result.error);
  EXPECT_FALSE(ModelDownloader::recordedVersion("idcard_model"));
  EXPECT_THROW(downloader.modelURL("idcard_model"), ModelDownloader::DownloadError);
}

// A reply that inflates without end is cut at the model size limit while it is written to the
// store, fails as a broken reply does, and leaves the stored model, its version and the
// directory as they were, as one cut short does.
TEST_F(ModelStoreTest, AReplyPastTheSizeLimitIsABrokenReply) {
  server.setModelBytes("model-v1");
  ASSERT_TRUE(downloader.updateIfNeeded(server.baseUrl(), "idcard_model", "1").get().downloaded);
  ScriptedReply cut = ScriptedReply::raw("model-v2-but-longer", "application/octet-stream");
  cut.fault = ScriptedReply::Fault::truncated;
  for (const auto& [name, reply] : {std::pair{"gzip bomb", ScriptedReply::gzipBomb()},
                                    std::pair{"cut short", cut}}) {
    SCOPED_TRACE(name);
    server.pushOnceReply("/api/sdk-model/download", reply);
    auto failed = downloader.updateIfNeeded(server.baseUrl(), "idcard_model", "2").get();
    EXPECT_FALSE(failed.downloaded);
    ASSERT_TRUE(failed.error);
    EXPECT_EQ(failed.error->kind, ModelDownloader::DownloadError::Kind::downloadFailed);
    EXPECT_EQ(failed.error->code, -1);
    EXPECT_EQ(readFile(downloader.modelURL("idcard_model")), "model-v1");
    EXPECT_EQ(ModelDownloader::recordedVersion("idcard_model"), "1");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(
                                ModelDownloader::storageDirectory()),
                            std::filesystem::directory_iterator()),
              1)
        << "a partial file was left in the store";
  }
  // The Bytes form keeps the same limit.
  server.pushOnceReply("/api/sdk-model/download", ScriptedReply::gzipBomb());
  auto bytes = OstrelClient::downloadSdk(server.baseUrl(), "idcard_model").get();
  ASSERT_FALSE(bytes.isSuccess());
  EXPECT_EQ(bytes.error().code, -1);
}

TEST(ModelVersionTest, NewerVersions) {
  struct Row {
    const char* listed;
    std::optional<std::string> stored;
    bool newer;
  };
  const Row rows[] = {
      {"1", std::nullopt, true},
      {"2", "1", true},
      {"1", "2", false},
      {"1.10", "1.9", true},
      {"1.0", "1", false},
      {"1.0.1", "1", true},
      {"10", "9", true},
      {"abc", "abd", true},
      {"abc", "abc", false},
      {"", std::nullopt, false},
      {"2024-01", "2023-12", true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.listed) + " / " + row.stored.value_or("<none>"));
    EXPECT_EQ(ModelDownloader::isNewerVersion(row.listed, row.stored), row.newer)
        << row.listed << " vs " << row.stored.value_or("<none>");
  }
}

}  // namespace
}  // namespace ostrel
