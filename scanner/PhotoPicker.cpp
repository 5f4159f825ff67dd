#include "scanner/PhotoPicker.hpp"

#include "core/Localization.hpp"
#include "platform/foundation/Make.hpp"
#include "platform/runtime/Application.hpp"
#include "platform/runtime/DispatchQueue.hpp"
#include "platform/ui/AlertController.hpp"
#include "platform/ui/Device.hpp"
#include "platform/vision/BarcodeReader.hpp"
#include "session/HelpersAlerts.hpp"

namespace ostrel {

using namespace platform;

std::shared_ptr<PHPhotoPicker> PHPhotoPicker::make(std::weak_ptr<ViewController> presentationController,
                                                   std::weak_ptr<ImagePickerDelegate> delegate) {
  auto picker = std::make_shared<PHPhotoPicker>();
  PHPickerConfiguration configuration;
  configuration.photoLibrary = PhotoLibrary::backend();
  configuration.selectionLimit = 1;
  configuration.imagesOnly = true;
  picker->pickerController = platform::make<PHPickerViewController>(configuration);
  picker->pickerController->delegate = picker;
  picker->presentationController = std::move(presentationController);
  picker->delegate = std::move(delegate);
  return picker;
}

void PHPhotoPicker::pickerDidFinishPicking(PHPickerViewController& picker,
                                           const std::vector<PHPickerResult>& results) {
  std::weak_ptr<PHPhotoPicker> weakSelf = weak_from_this();
  // The picture is handed over once the picker is gone, so that whatever the screen shows
  // next does not meet the dismissal under way.
  auto load = [weakSelf, results] {
    for (const auto& result : results) {
      if (!result.itemProvider || !result.itemProvider->canLoadImage()) continue;
      result.itemProvider->loadImage([weakSelf](ImagePtr image, std::optional<PlatformError>) {
        if (!image) return;
        DispatchQueue::main()->async([weakSelf, image] {
          auto self = weakSelf.lock();
          if (!self) return;
          if (auto receiver = self->delegate.lock()) receiver->didSelect(image);
        });
      });
    }
  };
  if (!picker.dismiss(true, load)) load();
}

std::shared_ptr<PhotoPicker> PhotoPicker::make(std::weak_ptr<ViewController> presentationController,
                                               std::weak_ptr<ImagePickerDelegate> delegate) {
  auto picker = std::make_shared<PhotoPicker>();
  picker->pickerController = platform::make<ImagePickerController>();
  picker->pickerController->delegate = picker;
  picker->pickerController->allowsEditing = false;
  picker->presentationController = std::move(presentationController);
  picker->delegate = std::move(delegate);
  return picker;
}

void PhotoPicker::present(const std::shared_ptr<View>& sourceView) {
  switch (PhotoLibrary::authorizationStatus()) {
    case PhotoAuthorizationStatus::restricted:
    case PhotoAuthorizationStatus::denied:
      showPermissionAlert();
      return;
    case PhotoAuthorizationStatus::authorized:
    case PhotoAuthorizationStatus::limited:
      showSourceSheet(sourceView);
      return;
    case PhotoAuthorizationStatus::notDetermined: {
      std::weak_ptr<PhotoPicker> weakSelf = weak_from_this();
      std::weak_ptr<View> weakView = sourceView;
      PhotoLibrary::requestAuthorization([weakSelf, weakView](PhotoAuthorizationStatus answer) {
        DispatchQueue::main()->async([weakSelf, weakView, answer] {
          auto self = weakSelf.lock();
          if (!self) return;
          if (answer == PhotoAuthorizationStatus::authorized) {
            self->showSourceSheet(weakView.lock());
          } else {
            self->showPermissionAlert();
          }
        });
      });
      return;
    }
  }
}

void PhotoPicker::showSourceSheet(const std::shared_ptr<View>& sourceView) {
  auto presenter = presentationController.lock();
  if (!presenter) return;
  auto sheet = AlertController::make(std::nullopt, std::nullopt, AlertControllerStyle::actionSheet);
  std::weak_ptr<PhotoPicker> weakSelf = weak_from_this();
  sheet->addAction({osl_localize("button_capture"), AlertActionStyle::defaultStyle, [weakSelf] {
                      if (auto self = weakSelf.lock())
                        self->presentPicker(ImagePickerSourceType::savedPhotosAlbum);
                    }});
  sheet->addAction({osl_localize("settings_flow_upgrade_data_face_upload"),
                    AlertActionStyle::defaultStyle, [weakSelf] {
                      if (auto self = weakSelf.lock())
                        self->presentPicker(ImagePickerSourceType::photoLibrary);
                    }});
  sheet->addAction({osl_localize("button_cancel"), AlertActionStyle::cancel, nullptr});
  if (auto* popover = sheet->popoverPresentationController()) {
    popover->sourceView = sourceView;
    if (sourceView) popover->sourceRect = sourceView->bounds();
    popover->permittedArrowDirections = 1 | 2;  // up and down
  }
  presenter->present(sheet, true);
}

void PhotoPicker::showPermissionAlert() {
  Helpers::showAlert(4, -1, nullptr, osl_localize("check_permission_camera_title"),
                     osl_localize("check_permission_camera"), osl_localize("button_no"),
                     osl_localize("button_yes"), nullptr,
                     [] { Application::shared().openSettings(); }, nullptr);
}

void PhotoPicker::presentPicker(ImagePickerSourceType source) {
  auto presenter = presentationController.lock();
  if (!presenter) return;
  pickerController->sourceType = source;
  presenter->present(pickerController, true);
}

void PhotoPicker::imagePickerControllerDidFinishPickingMediaWithInfo(
    ImagePickerController& picker, const ImagePickerMediaInfo& info) {
  std::weak_ptr<PhotoPicker> weakSelf = weak_from_this();
  auto image = info.originalImage;
  // Handed over once the picker is gone (an alert the screen shows must not meet the
  // dismissal under way).
  auto hand = [weakSelf, image] {
    auto self = weakSelf.lock();
    if (!self) return;
    if (auto receiver = self->delegate.lock()) receiver->didSelect(image);
  };
  if (!picker.dismiss(true, hand)) hand();
}

void PhotoPicker::imagePickerControllerDidCancel(ImagePickerController& picker) {
  picker.dismiss(true);
}

std::optional<std::string> detectQRCode(const ImagePtr& image) {
  if (!image) return std::nullopt;
  for (const auto& feature : qrCodeFeatures(*image)) {
    if (feature.messageString) return feature.messageString;
  }
  return std::nullopt;
}

}  // namespace ostrel
