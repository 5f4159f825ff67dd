#include "testing/StatePictures.hpp"

#include <cmath>
#include <stdexcept>

#include <opencv2/imgproc.hpp>

#include "platform/ui/Window.hpp"

namespace ostrel::testing {

using namespace platform;

StatePictures::StatePictures(std::filesystem::path directory, double scale)
    : directory_(std::move(directory)), scale_(scale) {
  std::filesystem::create_directories(directory_);
}

ImagePtr StatePictures::look() {
  auto key = Window::keyWindow();
  if (!key) throw std::logic_error("no key window to picture");
  key->layoutIfNeeded();
  key->displayIfNeeded();
  // The windows above the key one too: the keyboard, a loading indicator of its own.
  const Size size = key->bounds().size;
  cv::Mat bgra(static_cast<int>(std::lround(size.height * scale_)),
               static_cast<int>(std::lround(size.width * scale_)), CV_8UC4);
  renderer_.drawScreen(bgra, *key);
  cv::Mat rgba;
  cv::cvtColor(bgra, rgba, cv::COLOR_BGRA2RGBA);
  return std::make_shared<Image>(rgba, scale_);
}

ImagePtr StatePictures::take(const std::string& screen, const std::string& state) {
  auto image = look();
  if (image && !writePNG(*image, directory_ / (screen + "-" + state + ".png"))) {
    throw std::runtime_error("cannot write the picture of " + screen + " " + state);
  }
  return image;
}

}  // namespace ostrel::testing
