// The text request around whatever recogniser is installed: turning camera buffers upright,
// cutting the region of interest, mapping line boxes back into the region, and refusing bad
// buffers and failing recognisers with clear errors.

#include <cmath>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "platform/vision/ImageRequestHandler.hpp"
#include "platform/vision/MRZLineRecognizer.hpp"
#include "platform/vision/RecognizeTextRequest.hpp"
#include "platform/vision/VisionError.hpp"
#include "testing/RuntimeFixture.hpp"
#include "testing/ScriptedTextRecognizer.hpp"

namespace ostrel::testing {
namespace {

using platform::ImageRequestHandler;
using platform::PixelBuffer;
using platform::PixelFormat;
using platform::PixelPlane;
using platform::RecognizedTextObservation;
using platform::RecognizeTextRequest;
using platform::Rect;

// An upright picture in which every pixel is different enough to tell any turn or flip apart.
cv::Mat patternPicture(int width, int height) {
  cv::Mat picture(height, width, CV_8UC1);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) picture.at<std::uint8_t>(y, x) = static_cast<std::uint8_t>((x * 7 + y * 31) % 251);
  }
  return picture;
}

std::shared_ptr<PixelBuffer> lumaBuffer(const cv::Mat& grey, std::size_t extraStride = 0) {
  const std::size_t stride = std::size_t(grey.cols) + extraStride;
  PixelPlane luma{grey.cols, grey.rows, stride, std::vector<std::uint8_t>(stride * std::size_t(grey.rows), 0)};
  for (int y = 0; y < grey.rows; ++y) {
    std::copy_n(grey.ptr<std::uint8_t>(y), grey.cols, luma.bytes.begin() + std::ptrdiff_t(y * stride));
  }
  PixelPlane chroma{grey.cols / 2, grey.rows / 2, stride,
                    std::vector<std::uint8_t>(stride * std::size_t(grey.rows / 2), 128)};
  return std::make_shared<PixelBuffer>(PixelFormat::yCbCr420BiPlanarFullRange, grey.cols, grey.rows,
                                       std::vector<PixelPlane>{std::move(luma), std::move(chroma)});
}

// What a camera stores for a picture that EXIF `orientation` shows upright: orientation 6
// means "turn clockwise to view", so the sensor holds the picture turned counter-clockwise.
cv::Mat storedAs(const cv::Mat& upright, int orientation) {
  cv::Mat stored;
  switch (orientation) {
    case 1: stored = upright.clone(); break;
    case 2: cv::flip(upright, stored, 1); break;
    case 3: cv::rotate(upright, stored, cv::ROTATE_180); break;
    case 4: cv::flip(upright, stored, 0); break;
    case 5: cv::transpose(upright, stored); break;
    case 6: cv::rotate(upright, stored, cv::ROTATE_90_COUNTERCLOCKWISE); break;
    case 7: cv::rotate(upright, stored, cv::ROTATE_180); cv::transpose(stored, stored); break;
    case 8: cv::rotate(upright, stored, cv::ROTATE_90_CLOCKWISE); break;
  }
  return stored;
}

std::vector<std::shared_ptr<RecognizedTextObservation>> textResults(const RecognizeTextRequest& request) {
  std::vector<std::shared_ptr<RecognizedTextObservation>> texts;
  for (const auto& result : request.results()) {
    auto text = std::dynamic_pointer_cast<RecognizedTextObservation>(result);
    EXPECT_TRUE(text);
    if (text) texts.push_back(std::move(text));
  }
  return texts;
}

void expectRect(const Rect& actual, const Rect& expected) {
  EXPECT_NEAR(actual.minX(), expected.minX(), 1e-9);
  EXPECT_NEAR(actual.minY(), expected.minY(), 1e-9);
  EXPECT_NEAR(actual.width(), expected.width(), 1e-9);
  EXPECT_NEAR(actual.height(), expected.height(), 1e-9);
}

class RecognizeTextRequestTest : public RuntimeTest {
 protected:
  void SetUp() override {
    recognizer_ = ScriptedTextRecognizer::install();
    recognizer_->setFrameFunction([this](const cv::Mat& grey) {
      seen_ = grey.clone();
      return ScriptedTextRecognizer::Lines{};
    });
  }

  std::shared_ptr<ScriptedTextRecognizer> recognizer_;
  cv::Mat seen_;
};

TEST_F(RecognizeTextRequestTest, EveryOrientationReadsTheRegionOfTheUprightPicture) {
  const cv::Mat upright = patternPicture(40, 30);
  // Region: x 0.1-0.6 of the width (columns 4-23), y 0.5-0.8 from the bottom (rows 6-14 from
  // the top); off-centre both ways, so that any wrong turn or flip cuts another piece.
  const cv::Mat expected = upright(cv::Rect(4, 6, 20, 9));
  for (int orientation = 1; orientation <= 8; ++orientation) {
    SCOPED_TRACE("orientation " + std::to_string(orientation));
    seen_.release();
    auto request = std::make_shared<RecognizeTextRequest>();
    request->regionOfInterest = Rect(0.1, 0.5, 0.5, 0.3);
    ImageRequestHandler(lumaBuffer(storedAs(upright, orientation)), orientation).perform({request});
    ASSERT_EQ(seen_.size(), expected.size());
    EXPECT_EQ(cv::norm(seen_, expected, cv::NORM_INF), 0);
  }
}

TEST_F(RecognizeTextRequestTest, ColourBuffersPaddedRowsAndBitmapsAreReadToo) {
  const cv::Mat upright = patternPicture(24, 16);
  cv::Mat bgra;
  cv::cvtColor(upright, bgra, cv::COLOR_GRAY2BGRA);
  auto colour = PixelBuffer::makeBGRA(24, 16, 24 * 4 + 32);
  for (int y = 0; y < 16; ++y) {
    std::copy_n(bgra.ptr<std::uint8_t>(y), 24 * 4, colour->plane(0).bytes.begin() + std::ptrdiff_t(y) * (24 * 4 + 32));
  }
  auto request = std::make_shared<RecognizeTextRequest>();
  ImageRequestHandler(colour, 1).perform({request});
  EXPECT_EQ(cv::norm(seen_, upright, cv::NORM_INF), 0);

  ImageRequestHandler(lumaBuffer(upright, 13), 1).perform({request});
  EXPECT_EQ(cv::norm(seen_, upright, cv::NORM_INF), 0);

  // A bitmap handed to the handler is already upright.
  cv::Mat rgba;
  cv::cvtColor(upright, rgba, cv::COLOR_GRAY2RGBA);
  request->regionOfInterest = Rect(0.5, 0.5, 0.5, 0.5);
  ImageRequestHandler(rgba).perform({request});
  EXPECT_EQ(cv::norm(seen_, upright(cv::Rect(12, 0, 12, 8)), cv::NORM_INF), 0);
}

TEST_F(RecognizeTextRequestTest, LineBoxesComeBackNormalisedToTheRequestedRegion) {
  // The region reaches past the right edge: only its left half is read, yet boxes are given
  // in the region the caller asked for.
  // The first line's guesses and letter reads come through with it; marks and letters that are
  // not one per character do not.
  recognizer_->queueLines({{"P<UTO", 0.9f, Rect(0.25, 0.5, 0.5, 0.25), {false, false, false, true, false},
                            "P<UTO", {false, false, true, true, false}},
                           {"L898", 0.4f, Rect(0, 0, 1, 1), {true}, "LBBB", {true}}});
  std::optional<std::optional<platform::PlatformError>> completedWith;
  int completions = 0;
  auto request = std::make_shared<RecognizeTextRequest>(
      [&](platform::VisionRequest& r, const std::optional<platform::PlatformError>& error) {
        ++completions;
        completedWith = error;
        EXPECT_EQ(r.results().size(), 2u);  // results are in place when the completion runs
      });
  request->regionOfInterest = Rect(0.5, 0, 1, 1);
  ImageRequestHandler(lumaBuffer(patternPicture(40, 20)), 1).perform({request});

  EXPECT_EQ(completions, 1);
  ASSERT_TRUE(completedWith.has_value());
  EXPECT_FALSE(completedWith->has_value());
  const auto results = textResults(*request);
  ASSERT_EQ(results.size(), 2u);
  expectRect(results[0]->boundingBox, Rect(0.125, 0.5, 0.25, 0.25));
  expectRect(results[1]->boundingBox, Rect(0, 0, 0.5, 1));
  ASSERT_EQ(results[0]->topCandidates(5).size(), 1u);
  EXPECT_EQ(results[0]->topCandidates(1)[0].string, "P<UTO");
  EXPECT_FLOAT_EQ(results[0]->topCandidates(1)[0].confidence, 0.9f);
  EXPECT_EQ(results[0]->topCandidates(1)[0].unsure, (std::vector<bool>{false, false, false, true, false}));
  EXPECT_EQ(results[0]->topCandidates(1)[0].letters, "P<UTO");
  EXPECT_EQ(results[0]->topCandidates(1)[0].unsureLetters, (std::vector<bool>{false, false, true, true, false}));
  EXPECT_FLOAT_EQ(results[1]->confidence, 0.4f);
  EXPECT_TRUE(results[1]->topCandidates(1)[0].unsure.empty());
  EXPECT_TRUE(results[1]->topCandidates(1)[0].letters.empty());
  EXPECT_TRUE(results[1]->topCandidates(1)[0].unsureLetters.empty());
  EXPECT_TRUE(results[0]->topCandidates(0).empty());
}

TEST_F(RecognizeTextRequestTest, RegionsWithNothingLeftGiveNoResultsWithoutReading) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const std::vector<std::pair<const char*, Rect>> regions = {
      {"empty", Rect(0.2, 0.2, 0, 0.5)},
      {"negative size", Rect(0.5, 0.5, -0.2, 0.2)},
      {"left of the picture", Rect(-2, 0, 1, 1)},
      {"above the picture", Rect(0, 1.5, 1, 1)},
      {"not a number", Rect(nan, 0, 1, 1)},
      {"infinite", Rect(0, 0, inf, 1)},
      {"thinner than a pixel", Rect(0.5, 0.5, 0.001, 0.5)},
  };
  for (const auto& [name, region] : regions) {
    SCOPED_TRACE(name);
    int completions = 0;
    auto request = std::make_shared<RecognizeTextRequest>([&](platform::VisionRequest&, const auto& error) {
      ++completions;
      EXPECT_FALSE(error.has_value());
    });
    request->regionOfInterest = region;
    const int callsBefore = recognizer_->callCount();
    ImageRequestHandler(lumaBuffer(patternPicture(40, 20)), 1).perform({request});
    EXPECT_EQ(recognizer_->callCount(), callsBefore);
    EXPECT_EQ(completions, 1);
    EXPECT_TRUE(request->results().empty());
  }
}

TEST_F(RecognizeTextRequestTest, BadBuffersAndOrientationsAreRefusedBeforeReading) {
  const cv::Mat picture = patternPicture(16, 8);
  auto shortStride = lumaBuffer(picture);
  shortStride->plane(0).bytesPerRow = 8;
  auto shortBytes = lumaBuffer(picture);
  shortBytes->plane(0).bytes.resize(16 * 7);
  auto narrowPlane = lumaBuffer(picture);
  narrowPlane->plane(0).width = 4;
  const auto zeroSize = std::make_shared<PixelBuffer>(PixelFormat::yCbCr420BiPlanarFullRange, 0, 0,
                                                      std::vector<PixelPlane>{});
  const auto noPlanes = std::make_shared<PixelBuffer>(PixelFormat::bgra32, 16, 8, std::vector<PixelPlane>{});
  auto shortColourRows = PixelBuffer::makeBGRA(16, 8);
  shortColourRows->plane(0).bytesPerRow = 16;

  const std::vector<std::tuple<const char*, std::shared_ptr<PixelBuffer>, int>> cases = {
      {"orientation 0", lumaBuffer(picture), 0},
      {"orientation 9", lumaBuffer(picture), 9},
      {"rows shorter than the width", shortStride, 1},
      {"fewer bytes than rows", shortBytes, 6},
      {"plane narrower than the buffer", narrowPlane, 1},
      {"zero size", zeroSize, 1},
      {"no planes", noPlanes, 1},
      {"colour rows of one byte per pixel", shortColourRows, 1},
  };
  for (const auto& [name, buffer, orientation] : cases) {
    SCOPED_TRACE(name);
    auto request = std::make_shared<RecognizeTextRequest>();
    EXPECT_THROW(ImageRequestHandler(buffer, orientation).perform({request}), platform::VisionError);
    EXPECT_TRUE(request->results().empty());
  }
  EXPECT_EQ(recognizer_->callCount(), 0);
}

TEST_F(RecognizeTextRequestTest, AFailingRecognizerFailsThePerformAndClearsTheResults) {
  recognizer_->queueLines({{"FIRST", 1, Rect(0, 0, 1, 1)}});
  recognizer_->queueFailure("engine gone");
  std::vector<std::optional<platform::PlatformError>> errors;
  auto request = std::make_shared<RecognizeTextRequest>(
      [&](platform::VisionRequest&, const auto& error) { errors.push_back(error); });
  const auto buffer = lumaBuffer(patternPicture(16, 8));

  ImageRequestHandler(buffer, 1).perform({request});
  ASSERT_EQ(request->results().size(), 1u);
  try {
    ImageRequestHandler(buffer, 1).perform({request});
    ADD_FAILURE() << "perform did not throw";
  } catch (const platform::VisionError& e) {
    EXPECT_NE(std::string(e.what()).find("engine gone"), std::string::npos);
  }
  EXPECT_TRUE(request->results().empty());
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_FALSE(errors[0].has_value());
  ASSERT_TRUE(errors[1].has_value());
  EXPECT_NE(errors[1]->localizedDescription.find("engine gone"), std::string::npos);

  // The next frame reads again.
  ImageRequestHandler(buffer, 1).perform({request});
  EXPECT_EQ(recognizer_->callCount(), 3);
}

TEST(TextRecognizerBackendTest, TheZoneReaderIsTheDefaultAndTestsGetTheScriptedOne) {
  {
    RuntimeEnvironment environment;
    EXPECT_NE(dynamic_cast<ScriptedTextRecognizer*>(platform::TextRecognizerBackend::current().get()), nullptr);
  }
  EXPECT_NE(dynamic_cast<platform::MRZLineRecognizer*>(platform::TextRecognizerBackend::current().get()), nullptr);
}

}  // namespace
}  // namespace ostrel::testing
