#include "testing/RuntimeFixture.hpp"

#include <unistd.h>
#include <atomic>
#include <string>

#include "platform/camera/CameraAuthorization.hpp"
#include "platform/camera/CaptureDevice.hpp"
#include "platform/foundation/Debug.hpp"
#include "platform/media/PhotoLibrary.hpp"
#include "platform/vision/BarcodeReader.hpp"
#include "platform/foundation/Paths.hpp"
#include "platform/foundation/UserDefaults.hpp"
#include "platform/runtime/Application.hpp"
#include "platform/ui/Device.hpp"
#include "platform/runtime/NotificationCenter.hpp"
#include "platform/vision/FaceDetector.hpp"
#include "platform/vision/MLModel.hpp"
#include "platform/vision/TextRecognizerBackend.hpp"
#include "testing/ScriptedCameraAuthorization.hpp"
#include "testing/ScriptedPhotoLibrary.hpp"
#include "testing/ScriptedTextRecognizer.hpp"

namespace ostrel::testing {

platform::DeviceInfo fixedDevice() {
  return {"iPhone14,2", "iOS", "17.5"};
}

RuntimeEnvironment::RuntimeEnvironment() : runtime_(std::make_shared<DeterministicRuntime>()) {
  static std::atomic<int> counter{0};
  dataDirectory_ = std::filesystem::temp_directory_path() /
                   ("ostrel-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
  std::filesystem::remove_all(dataDirectory_);
  std::filesystem::create_directories(dataDirectory_);
  platform::Runtime::install(runtime_);
  platform::Paths::setApplicationDataDirectory(dataDirectory_);
  platform::UserDefaults::useInMemoryStorage(true);
  platform::UserDefaults::setBeforeReplaceHook({});
  platform::DeviceInfo::override(fixedDevice());
  platform::Device::current().resetForTesting();
  platform::NotificationCenter::defaultCenter().resetForTesting();
  platform::Application::shared().resetForTesting();
  // No test asks the machine's real cameras for permission unless it installs that itself.
  ScriptedCameraAuthorization::install();
  // Nor opens a real camera: tests that want frames install the image-file camera.
  platform::CameraBackend::install(std::make_shared<platform::NoCameraBackend>());
  platform::ModelLoader::install(nullptr);
  // Nor reads text with the real recogniser unless it installs that itself.
  ScriptedTextRecognizer::install();
  // Faces are found by the real detector unless a test scripts them.
  platform::FaceDetector::installFactory({});
  // Nor lists the machine's pictures; codes are read by zxing unless a test scripts them.
  ScriptedPhotoLibrary::install();
  platform::BarcodeReader::install(nullptr);
}

RuntimeEnvironment::~RuntimeEnvironment() {
  platform::NotificationCenter::defaultCenter().resetForTesting();
  platform::Application::shared().resetForTesting();
  platform::DeviceInfo::override(std::nullopt);
  platform::Device::current().resetForTesting();
  platform::UserDefaults::setBeforeReplaceHook({});
  platform::UserDefaults::useInMemoryStorage(false);
  platform::Paths::setApplicationDataDirectory(std::nullopt);
  platform::setDebugSink({});
  platform::CameraAuthorization::install(nullptr);
  platform::CameraBackend::install(nullptr);
  platform::ModelLoader::install(nullptr);
  platform::TextRecognizerBackend::install(nullptr);
  platform::FaceDetector::installFactory({});
  platform::PhotoLibrary::install(nullptr);
  platform::BarcodeReader::install(nullptr);
  platform::Runtime::install(nullptr);
  std::error_code ec;
  std::filesystem::remove_all(dataDirectory_, ec);
}

}  // namespace ostrel::testing
