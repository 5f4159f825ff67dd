#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "capture/CameraView.hpp"
#include "core/LocalizationSync.hpp"
#include "platform/foundation/Debug.hpp"
#include "testing/TinyOnnxModel.hpp"
#include "tests/network/ServerTest.hpp"

namespace ostrel {
namespace {

using testing::ScriptedReply;

class ModelDownloadTest : public ServerTest {
 protected:
  void sync() {
    bool done = false;
    syncLocalize(server.baseUrl(), "vi", "", [&] { done = true; });
    ASSERT_TRUE(waitUntil([&] { return done; }));
    runUntilIdle();
  }

  // A detection view set up now (there is no camera; the models load all the same).
  std::shared_ptr<CameraView> setUpView() {
    auto view = platform::make<CameraView>(platform::Rect{0, 0, 400, 800});
    view->setUpCamera([](bool) {});
    return view;
  }
};

TEST_F(ModelDownloadTest, TheNextCameraSetUpLoadsTheDownloadedModel) {
  std::vector<std::string> debug;
  platform::setDebugSink([&](std::string_view line) {
    if (line.find("model loading") != std::string_view::npos) debug.emplace_back(line);
  });

  // A download that is not a model: stored as it came, refused at set-up.
  server.setReply("/api/configuration/versions", ScriptedReply::data({{"idcard_model", "2"}}));
  server.setModelBytes("MODEL-2");
  sync();
  auto view = setUpView();
  EXPECT_TRUE(view->requests.value().empty());
  EXPECT_FALSE(view->_flashCardRequest);
  ASSERT_EQ(debug.size(), 2u);
  EXPECT_TRUE(debug[0].starts_with("Idcard model loading went wrong: ")) << debug[0];
  EXPECT_TRUE(debug[1].starts_with("Flashcard model loading went wrong: ")) << debug[1];

  // A newer version that is a real detector loads at the next set-up.
  const auto model = testing::tinyDetectorModel();
  server.setReply("/api/configuration/versions", ScriptedReply::data({{"idcard_model", "3"}}));
  server.setModelBytes(std::string(model.begin(), model.end()));
  sync();
  EXPECT_EQ(view->requests.value().size(), 0u) << "a running view keeps what it loaded";
  EXPECT_EQ(setUpView()->requests.value().size(), 1u);
}

}  // namespace
}  // namespace ostrel
