#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <random>
#include <thread>

#include "platform/media/PixelBufferConversion.hpp"
#include "platform/vision/CoreMLRequest.hpp"
#include "platform/vision/ImageRequestHandler.hpp"
#include "platform/vision/OnnxModelInfo.hpp"
#include "platform/vision/VisionError.hpp"
#include "testing/RuntimeFixture.hpp"
#include "testing/ScriptedModelLoader.hpp"
#include "testing/TinyOnnxModel.hpp"

namespace ostrel {
namespace {

using namespace platform;

cv::Mat uniform(int width, int height, int grey) {
  return cv::Mat(height, width, CV_8UC4, cv::Scalar(grey, grey, grey, 255));
}

void expectBox(const Rect& actual, const Rect& expected) {
  EXPECT_NEAR(actual.minX(), expected.minX(), 1e-4);
  EXPECT_NEAR(actual.minY(), expected.minY(), 1e-4);
  EXPECT_NEAR(actual.width(), expected.width(), 1e-4);
  EXPECT_NEAR(actual.height(), expected.height(), 1e-4);
}

std::vector<RecognizedObjectObservationPtr> detect(const cv::Mat& picture,
                                                   ImageCropAndScaleOption option,
                                                   const Bytes& model = testing::tinyDetectorModel()) {
  auto request = std::make_shared<CoreMLRequest>(
      CoreMLModel::forModel(OnnxDetectorLoader::loadFromBytes(model)));
  request->imageCropAndScaleOption = option;
  ImageRequestHandler(picture).perform({request});
  std::vector<RecognizedObjectObservationPtr> found;
  for (const auto& o : request->results()) {
    auto object = std::dynamic_pointer_cast<RecognizedObjectObservation>(o);
    if (object) found.push_back(object);
  }
  return found;
}

TEST(TinyModelTest, BoxesComeBackInPictureSpaceAndScoresFollowTheFrame) {
  // The model's one box is centred at (0.5, 0.25) of its input, 0.2 x 0.1, origin top-left.
  struct Case {
    const char* name;
    int width, height;
    ImageCropAndScaleOption option;
    Rect expected;
  };
  const Case cases[] = {
      {"square frame", 64, 64, ImageCropAndScaleOption::centerCrop, {0.4, 0.7, 0.2, 0.1}},
      // The centred 64 x 64 crop of a 128 x 64 frame starts at x 32.
      {"wide frame, centre crop", 128, 64, ImageCropAndScaleOption::centerCrop,
       {0.45, 0.7, 0.1, 0.1}},
      // A 96-high portrait frame crops rows 16..79 of its 64 columns.
      {"tall frame, centre crop", 64, 96, ImageCropAndScaleOption::centerCrop,
       {0.4, 1 - (16 + 0.2 * 64) / 96 - 6.4 / 96, 0.2, 6.4 / 96}},
      // Fitted into 32 x 32 the wide frame fills rows 8..23.
      {"wide frame, scale fit", 128, 64, ImageCropAndScaleOption::scaleFit, {0.4, 0.9, 0.2, 0.2}},
      {"wide frame, scale fill", 128, 64, ImageCropAndScaleOption::scaleFill,
       {0.4, 0.7, 0.2, 0.1}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto found = detect(uniform(c.width, c.height, 255), c.option);
    ASSERT_EQ(found.size(), 1u);
    expectBox(found[0]->boundingBox, c.expected);
  }

  // White: "card" scores 0.3 * 3 + 0.05 = 0.95 and leads; black: it scores 0.05 and the
  // constant 0.5 of the other class leads. The observation's confidence is the top score.
  auto white = detect(uniform(64, 64, 255), ImageCropAndScaleOption::centerCrop);
  ASSERT_EQ(white[0]->labels.size(), 2u);
  EXPECT_EQ(white[0]->labels[0].identifier, "card");
  EXPECT_NEAR(white[0]->labels[0].confidence, 0.95, 1e-4);
  EXPECT_NEAR(white[0]->confidence, 0.95, 1e-4);
  // Scores that are not numbers rank last and boxes that are not numbers come through as they
  // are, for the reader to judge.
  testing::TinyDetectorRecipe hostile;
  hostile.scores = {{{{0, 0, 0}, NAN}, {{0, 0, 0}, 0.5f}}};
  hostile.boxes = {{NAN, 0.5f, INFINITY, 0.1f}};
  auto odd = detect(uniform(64, 64, 255), ImageCropAndScaleOption::centerCrop,
                    testing::tinyDetectorModel(hostile));
  ASSERT_EQ(odd.size(), 1u);
  EXPECT_EQ(odd[0]->labels[0].identifier, "top_left_corner");
  EXPECT_TRUE(std::isnan(odd[0]->labels[1].confidence));
  EXPECT_TRUE(std::isnan(odd[0]->boundingBox.minX()));

  auto black = detect(uniform(64, 64, 0), ImageCropAndScaleOption::centerCrop);
  EXPECT_EQ(black[0]->labels[0].identifier, "top_left_corner");
  EXPECT_NEAR(black[0]->labels[1].confidence, 0.05, 1e-4);
  EXPECT_NEAR(black[0]->confidence, 0.5, 1e-4);
}

TEST(TinyModelTest, UnusableModelFilesAreRefusedWithAReason) {
  const Bytes good = testing::tinyDetectorModel();
  auto variant = [](auto change) {
    testing::TinyDetectorRecipe recipe;
    change(recipe);
    return testing::tinyDetectorModel(recipe);
  };
  std::mt19937 random(11);
  Bytes noise(1200);
  for (auto& b : noise) b = static_cast<std::uint8_t>(random());
  struct Case {
    const char* name;
    Bytes data;
    const char* mentions;
  };
  const std::vector<Case> cases = {
      {"empty", {}, "empty"},
      {"random bytes", noise, ""},
      {"half the file", Bytes(good.begin(), good.begin() + good.size() / 2), ""},
      {"no coordinates", variant([](auto& s) { s.coordinatesName = "boxes"; }), "coordinates"},
      {"no confidence", variant([](auto& s) { s.confidenceName = "scores"; }), "confidence"},
      {"one label too many",
       variant([](auto& s) { s.labels = {"card", "top_left_corner", "extra"}; }), "labels"},
      {"labels not JSON", variant([](auto& s) { s.labelsMetadata = "card,corner"; }), "labels"},
      {"labels not texts", variant([](auto& s) { s.labelsMetadata = "[1, 2]"; }), "labels"},
      {"no labels", variant([](auto& s) { s.withoutLabels = true; }), "labels"},
      {"an initializer shorter than its shape",
       [&] {
         // The first weights' raw data (field 9) read as more dimensions (field 1).
         Bytes b = good;
         const std::string marker = "confidence_w";
         auto at = std::search(b.begin(), b.end(), marker.begin(), marker.end()) + marker.size();
         *at = 0x0A;
         return b;
       }(),
       "tensor"},
      {"boxes and scores disagree",
       variant([](auto& s) { s.boxes.push_back({0.5f, 0.5f, 0.1f, 0.1f}); }), "detections"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      OnnxDetectorLoader::loadFromBytes(c.data);
      ADD_FAILURE() << "loaded";
    } catch (const VisionError& e) {
      EXPECT_EQ(e.code(), VisionErrorCode::invalidModel);
      EXPECT_NE(std::string(e.what()).find(c.mentions), std::string::npos) << e.what();
    }
  }
  // Every prefix is refused (none reads past its end).
  for (std::size_t n = 0; n < good.size(); n += 13) {
    EXPECT_THROW(OnnxDetectorLoader::loadFromBytes(Bytes(good.begin(), good.begin() + n)),
                 VisionError)
        << n;
  }
  // Every byte with each of its bits flipped, and inverted: OpenCV's importer trusts the
  // shapes a file states, so a file whose tensors disagree with them must be refused first.
  for (std::size_t at = 0; at < good.size(); ++at) {
    for (int bits : {0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80, 0xFF}) {
      Bytes flipped = good;
      flipped[at] ^= static_cast<std::uint8_t>(bits);
      try {
        auto model = OnnxDetectorLoader::loadFromBytes(flipped);
        ImageRequestHandler(uniform(16, 16, 128))
            .perform({std::make_shared<CoreMLRequest>(CoreMLModel::forModel(model))});
      } catch (const VisionError&) {
      }
    }
  }
}

class VisionTest : public testing::RuntimeTest {};

TEST_F(VisionTest, ModelsLoadFromTheStoreThroughTheInstalledLoader) {
  const auto path = dataDirectory() / "idcard_model.mlmodelc";
  EXPECT_THROW(MLModel::contentsOf(path), VisionError);  // nothing stored
  {
    std::ofstream out(path, std::ios::binary);
    auto bytes = testing::tinyDetectorModel();
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  }
  EXPECT_TRUE(MLModel::contentsOf(path));

  auto loader = testing::ScriptedModelLoader::install();
  auto scripted = loader->model("idcard_model");
  EXPECT_EQ(MLModel::contentsOf(path), scripted);
  EXPECT_THROW(MLModel::contentsOf(dataDirectory() / "flashcard_model.mlmodelc"), VisionError);
  loader->failLoading("idcard_model", "corrupt");
  EXPECT_THROW(MLModel::contentsOf(path), VisionError);
  EXPECT_EQ(loader->loads("idcard_model"), 2);
}

// Keeps what the handler gave it, so tests can see the picture every request reads.
class RecordingRequest : public VisionRequest {
 public:
  using VisionRequest::VisionRequest;
  cv::Mat seen;
  std::optional<std::string> failWith;

 protected:
  std::vector<ObservationPtr> observe(const VisionImage& image) override {
    seen = image.uprightRGBA.clone();
    if (failWith) throw VisionError(VisionErrorCode::internalError, *failWith);
    auto o = std::make_shared<DetectedObjectObservation>();
    return {o};
  }
};

TEST_F(VisionTest, BuffersAreTurnedUprightByTheirOrientation) {
  // 4 x 2 BGRA with padded rows; each pixel encodes its stored position (x in blue, y in green).
  cv::Mat stored(2, 4, CV_8UC4);
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 4; ++x) stored.at<cv::Vec4b>(y, x) = {uchar(x), uchar(y), 0, 255};
  }
  auto buffer = makePixelBuffer(stored, PixelFormat::bgra32, 12);
  struct Case {
    int orientation;
    std::function<cv::Point(int x, int y)> source;  // stored position shown at (x, y)
  };
  const Case cases[] = {
      {1, [](int x, int y) { return cv::Point(x, y); }},
      {6, [](int x, int y) { return cv::Point(y, 2 - 1 - x); }},
      {5, [](int x, int y) { return cv::Point(y, x); }},
      {3, [](int x, int y) { return cv::Point(3 - x, 1 - y); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.orientation);
    auto request = std::make_shared<RecordingRequest>();
    ImageRequestHandler(buffer, c.orientation).perform({request});
    const bool turned = c.orientation >= 5;
    ASSERT_EQ(request->seen.cols, turned ? 2 : 4);
    ASSERT_EQ(request->seen.rows, turned ? 4 : 2);
    for (int y = 0; y < request->seen.rows; ++y) {
      for (int x = 0; x < request->seen.cols; ++x) {
        auto pixel = request->seen.at<cv::Vec4b>(y, x);  // RGBA: red = stored blue
        auto from = c.source(x, y);
        EXPECT_EQ(pixel[2], from.x) << x << "," << y;
        EXPECT_EQ(pixel[1], from.y) << x << "," << y;
      }
    }
  }
}

// Reads only the buffer's planes, as the text request does.
class PlaneRequest : public RecordingRequest {
 public:
  using RecordingRequest::RecordingRequest;
  bool readsUprightPicture() const override { return false; }
};

TEST_F(VisionTest, TheUprightPictureIsMadeOnlyWhenARequestReadsIt) {
  cv::Mat stored(2, 4, CV_8UC4, cv::Scalar(10, 20, 30, 255));
  auto buffer = makePixelBuffer(stored, PixelFormat::bgra32, 12);
  auto planesOnly = std::make_shared<PlaneRequest>();
  ImageRequestHandler(buffer, 6).perform({planesOnly});
  EXPECT_TRUE(planesOnly->seen.empty());

  // With a request that reads it, every request of the perform sees the same upright picture.
  auto upright = std::make_shared<RecordingRequest>();
  ImageRequestHandler(buffer, 6).perform({planesOnly, upright});
  EXPECT_EQ(planesOnly->seen.size(), cv::Size(2, 4));
  EXPECT_EQ(upright->seen.size(), cv::Size(2, 4));

  // An unreadable buffer is refused before any request runs, whether or not one reads it.
  auto shortRows = PixelBuffer::makeBGRA(4, 2);
  shortRows->plane(0).bytesPerRow = 8;
  int completions = 0;
  auto counted = std::make_shared<PlaneRequest>([&](VisionRequest&, const std::optional<PlatformError>&) { ++completions; });
  EXPECT_THROW(ImageRequestHandler(shortRows, 1).perform({counted}), VisionError);
  EXPECT_EQ(completions, 0);
}

TEST_F(VisionTest, EachCompletionRunsOnceInsidePerformAndFailuresAreReported) {
  std::vector<std::string> calls;
  const auto performer = std::this_thread::get_id();
  auto completion = [&](const char* name) {
    return [&, name](VisionRequest& request, const std::optional<PlatformError>& error) {
      EXPECT_EQ(std::this_thread::get_id(), performer);
      calls.push_back(std::string(name) + (error ? " failed: " + error->localizedDescription
                                                 : " " + std::to_string(request.results().size())));
    };
  };
  auto first = std::make_shared<RecordingRequest>(completion("first"));
  first->failWith = "model broke";
  auto second = std::make_shared<RecordingRequest>(completion("second"));
  try {
    ImageRequestHandler(uniform(8, 8, 10)).perform({first, second});
    ADD_FAILURE() << "a failed request makes perform throw";
  } catch (const VisionError& e) {
    EXPECT_STREQ(e.what(), "model broke");
  }
  EXPECT_EQ(calls, (std::vector<std::string>{"first failed: model broke", "second 1"}));
  EXPECT_TRUE(first->results().empty());

  // A picture that cannot be read fails the handler before any request runs.
  calls.clear();
  auto padded = PixelBuffer::makeBGRA(4, 2);
  padded->plane(0).bytesPerRow = 8;  // shorter than a row
  struct Case {
    const char* name;
    std::function<void()> perform;
  };
  const Case cases[] = {
      {"no buffer", [&] { ImageRequestHandler(PixelBufferPtr{}, 6).perform({second}); }},
      {"stride too small", [&] { ImageRequestHandler(padded, 6).perform({second}); }},
      {"zero size", [&] { ImageRequestHandler(PixelBuffer::makeBGRA(0, 0), 6).perform({second}); }},
      {"orientation 0",
       [&] { ImageRequestHandler(PixelBuffer::makeBGRA(2, 2), 0).perform({second}); }},
      {"orientation 9",
       [&] { ImageRequestHandler(PixelBuffer::makeBGRA(2, 2), 9).perform({second}); }},
      {"empty bitmap", [&] { ImageRequestHandler(cv::Mat()).perform({second}); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_THROW(c.perform(), VisionError);
  }
  EXPECT_TRUE(calls.empty());
}

}  // namespace
}  // namespace ostrel
