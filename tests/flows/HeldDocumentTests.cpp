#include <string>

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include "core/OSLConfig.hpp"
#include "platform/media/Image.hpp"
#include "session/Ostrel.hpp"
#include "testing/FlowHarness.hpp"

namespace ostrel {
namespace {

using testing::FlowHarness;

class HeldDocumentTest : public FlowHarness {};

// Where the dark print of a photo lies, as shares of its width and height; nothing without any.
std::optional<cv::Rect2d> darkPrint(const platform::Image& photo) {
  cv::Mat grey;
  cv::cvtColor(photo.bitmap(), grey, cv::COLOR_RGBA2GRAY);
  cv::Mat dark = grey < 100;
  std::vector<cv::Point> points;
  cv::findNonZero(dark, points);
  if (points.empty()) return std::nullopt;
  const cv::Rect box = cv::boundingRect(points);
  return cv::Rect2d(double(box.x) / grey.cols, double(box.y) / grey.rows,
                    double(box.width) / grey.cols, double(box.height) / grey.rows);
}

// The user holds each document inside the capture screen's frame, so the photos show the whole
// card: its print (the code on the front, the zone on the back, the passport's zone) lies inside
// the photo, clear of its edges, and no dark table fills it.
TEST_F(HeldDocumentTest, ThePhotosShowTheWholeDocument) {
  for (const char* flow : {"ekyc", "passport"}) {
    SCOPED_TRACE(flow);
    buildConfig();
    Ostrel::shared()->run(flow, config);
    platform::ImagePtr front, back;
    ASSERT_TRUE(drive([&] {
      if (config->frontImage) front = config->frontImage;
      if (config->backImage) back = config->backImage;
      return front && (back || std::string(flow) == "passport");
    }));
    for (const auto& photo : {front, back}) {
      if (!photo) continue;
      ASSERT_TRUE(photo->hasBitmap());
      auto print = darkPrint(*photo);
      ASSERT_TRUE(print) << "the photo shows the document's print";
      EXPECT_GT(print->x, 0.03);
      EXPECT_GT(print->y, 0.03);
      EXPECT_LT(print->x + print->width, 0.97);
      EXPECT_LT(print->y + print->height, 0.97);
    }
    ASSERT_TRUE(driveToEnd());
  }
}

}  // namespace
}  // namespace ostrel
