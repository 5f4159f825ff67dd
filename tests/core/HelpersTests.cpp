#include <gtest/gtest.h>

#include "core/Helpers.hpp"
#include "core/SharedDefaults.hpp"
#include "testing/RuntimeFixture.hpp"

namespace ostrel {
namespace {

using platform::JSON;

class HelpersTest : public testing::RuntimeTest {};

TEST_F(HelpersTest, StrictDateParsingAndFormatting) {
  EXPECT_FALSE(Helpers::dateFromString("12/25/1990", "dd/MM/yyyy"));
  EXPECT_TRUE(Helpers::dateFromString("12/25/1990", "MM/dd/yyyy"));
  for (const char* format : {"dd/MM/yyyy", "MM/dd/yyyy", "yyyy/MM/dd", "MM-dd-yyyy", "yyyy-MM-dd",
                             "dd-MM-yyyy", "yyyy.MM.dd", "MM.dd.yyyy"}) {
    SCOPED_TRACE(format);
    EXPECT_FALSE(Helpers::dateFromString("25.12.1990", format)) << format;
  }
  EXPECT_TRUE(Helpers::dateFromString("1990.12.25", "yyyy.MM.dd"));
  EXPECT_FALSE(Helpers::dateFromString("31/02/1990", "dd/MM/yyyy"));
  auto date = Helpers::dateFromString("5/7/1990", "dd/MM/yyyy");
  ASSERT_TRUE(date);
  EXPECT_EQ(Helpers::stringFromDate(*date, "dd/MM/yyyy"), "05/07/1990");
  EXPECT_EQ(Helpers::stringFromDate(*date, "yyMMdd"), "900705");
  // Midnight in Ho Chi Minh City is 17:00 the day before in UTC.
  EXPECT_EQ(date->timeIntervalSince1970, 647110800);
}

TEST_F(HelpersTest, IdCardExpiryFollowsTheRenewalAges) {
  struct Row {
    const char* birthday;
    const char* issued;
    const char* expiry;
  };
  const Row rows[] = {
      {"15/06/1990", "01/01/2000", "15/06/2004"},  // issued at 9: renewed at 14
      {"15/06/1990", "15/06/2002", "15/06/2004"},  // exactly two years before 14
      {"15/06/1990", "16/06/2002", "15/06/2015"},  // less than two years before 14: until 25
      {"15/06/1990", "15/06/2004", "15/06/2015"},  // on the 14th birthday
      {"15/06/1990", "01/01/2021", "15/06/2030"},  // at 30: renewed at 40
      {"15/06/1990", "01/01/2029", "15/06/2050"},  // within two years of 40: until 60
      {"15/06/1990", "01/01/2045", "15/06/2050"},  // at 54: renewed at 60
      {"15/06/1990", "14/06/2048", "15/06/2050"},  // the day before 58
      {"15/06/1990", "15/06/2048", ""},            // at 58: no expiry
      {"15/06/1990", "01/01/2060", ""},            // after 60
      {"29/02/2000", "01/03/2020", "28/02/2025"},  // no 29 February in 2025
      {"5/7/1990", "01/01/2021", "05/07/2030"},
      {"31/02/1990", "01/01/2021", "Invalid date format"},
      {"1990-06-15", "01/01/2021", "Invalid date format"},
      {"15/06/1990", "", "Invalid date format"},
      {"15/06/1990", "01/01/1980", "Invalid date format"},  // issued before birth
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.birthday) + " / " + row.issued);
    EXPECT_EQ(Helpers::idCardExpiryDate(row.birthday, row.issued), row.expiry)
        << row.birthday << " issued " << row.issued;
  }
}

TEST_F(HelpersTest, DeviceImageIsKeptInTheLibrarySuite) {
  EXPECT_EQ(Helpers::loadDeviceImage(), JSON::object());
  Helpers::saveDeviceImage({{"isDefault", true}, {"image", "aGVsbG8="}});
  EXPECT_EQ(Helpers::loadDeviceImage(), JSON({{"isDefault", true}, {"image", "aGVsbG8="}}));
  EXPECT_TRUE(sharedDefaults()->dictionary(defaults_keys::kDeviceImage));
  sharedDefaults()->setString(defaults_keys::kDeviceImage, "not a dictionary");
  EXPECT_EQ(Helpers::loadDeviceImage(), JSON::object());
}

TEST_F(HelpersTest, LibraryDefaultsPersistAcrossInstances) {
  platform::UserDefaults::useInMemoryStorage(false);
  platform::UserDefaults::resetSuites();
  auto defaults = sharedDefaults();
  defaults->setDictionary(defaults_keys::kLanguageDictionary, {{"hello", "Xin chào"}});
  defaults->setString(defaults_keys::kCurrentLanguageVersion, "3");
  defaults->setBool(defaults_keys::kIsManualLivenessCaptureEnabled, true);
  defaults->setDate(defaults_keys::kTimerAllProcessBackgroundDate, platform::Date{1000.5});
  platform::UserDefaults::resetSuites();

  auto reopened = sharedDefaults();
  EXPECT_NE(reopened, defaults);
  EXPECT_EQ(reopened->dictionary(defaults_keys::kLanguageDictionary),
            JSON({{"hello", "Xin chào"}}));
  EXPECT_EQ(reopened->string(defaults_keys::kCurrentLanguageVersion), "3");
  EXPECT_EQ(reopened->boolean(defaults_keys::kIsManualLivenessCaptureEnabled), true);
  EXPECT_EQ(reopened->date(defaults_keys::kTimerAllProcessBackgroundDate), platform::Date{1000.5});
  reopened->removeObject(defaults_keys::kTimerAllProcessBackgroundDate);
  platform::UserDefaults::resetSuites();
  EXPECT_FALSE(sharedDefaults()->date(defaults_keys::kTimerAllProcessBackgroundDate));
  platform::UserDefaults::resetSuites();
  platform::UserDefaults::useInMemoryStorage(true);
}

TEST_F(HelpersTest, CropScalesTheViewRectangleToThePicture) {
  cv::Mat rgba(50, 100, CV_8UC4, cv::Scalar(0, 0, 0, 255));
  rgba.at<cv::Vec4b>(5, 10) = cv::Vec4b(255, 0, 0, 255);  // top-left of the expected crop
  auto image = std::make_shared<platform::Image>(rgba, 1, platform::ImageOrientation::up);
  auto cropped = Helpers::cropImage(image, platform::Rect(20, 10, 100, 50), {200, 100});
  ASSERT_NE(cropped, image);
  EXPECT_EQ(cropped->bitmap().cols, 50);
  EXPECT_EQ(cropped->bitmap().rows, 25);
  EXPECT_EQ(cropped->bitmap().at<cv::Vec4b>(0, 0), cv::Vec4b(255, 0, 0, 255));

  // A picture of scale 2 is 50 x 25 points over 100 x 50 pixels: the same view rectangle
  // covers the same part of it.
  auto retina = std::make_shared<platform::Image>(rgba, 2, platform::ImageOrientation::up);
  auto croppedRetina = Helpers::cropImage(retina, platform::Rect(20, 10, 100, 50), {200, 100});
  EXPECT_EQ(croppedRetina->bitmap().cols, 50);
  EXPECT_EQ(croppedRetina->bitmap().rows, 25);
  EXPECT_EQ(croppedRetina->bitmap().at<cv::Vec4b>(0, 0), cv::Vec4b(255, 0, 0, 255));
  EXPECT_EQ(croppedRetina->size(), (platform::Size{25, 12.5}));

  auto turned = std::make_shared<platform::Image>(rgba, 2, platform::ImageOrientation::right);
  auto croppedTurned = Helpers::cropImage(turned, platform::Rect(0, 0, 10, 10), {25, 50});
  EXPECT_EQ(croppedTurned->scale(), 2);
  EXPECT_EQ(croppedTurned->orientation(), platform::ImageOrientation::right);

  auto placeholder = std::make_shared<platform::Image>(platform::Size{10, 10});
  EXPECT_EQ(Helpers::cropImage(placeholder, platform::Rect(0, 0, 5, 5), {10, 10}), placeholder);
  EXPECT_EQ(Helpers::cropImage(image, platform::Rect(500, 500, 5, 5), {100, 50}), image);
  EXPECT_EQ(Helpers::cropImage(image, platform::Rect(0, 0, 5, 5), {0, 50}), image);
  EXPECT_EQ(Helpers::cropImage(nullptr, platform::Rect(0, 0, 5, 5), {10, 10}), nullptr);
}

}  // namespace
}  // namespace ostrel
