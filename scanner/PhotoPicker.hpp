#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/media/Image.hpp"
#include "platform/ui/PhotoPickers.hpp"
#include "platform/ui/View.hpp"
#include "platform/ui/ViewController.hpp"

namespace ostrel {

// How a picker hands the picked picture (or none) back.
class ImagePickerDelegate {
 public:
  virtual ~ImagePickerDelegate() = default;
  virtual void didSelect(platform::ImagePtr image) = 0;
};

// The picker of newer systems: one picture from the library, no access request. A picked
// item that does not load as a picture is dropped; a cancel reports nothing.
class PHPhotoPicker : public platform::PHPickerViewControllerDelegate,
                      public std::enable_shared_from_this<PHPhotoPicker> {
 public:
  static std::shared_ptr<PHPhotoPicker> make(std::weak_ptr<platform::ViewController> presentationController,
                                             std::weak_ptr<ImagePickerDelegate> delegate);
  std::shared_ptr<platform::PHPickerViewController> pickerController;
  std::weak_ptr<platform::ViewController> presentationController;
  std::weak_ptr<ImagePickerDelegate> delegate;

  void pickerDidFinishPicking(platform::PHPickerViewController& picker,
                              const std::vector<platform::PHPickerResult>& results) override;
};

// The picker of older systems: asks for library access, offers the two library sources in an
// action sheet, and hands over the original picture (none for an item that is not one).
class PhotoPicker : public platform::ImagePickerControllerDelegate,
                    public std::enable_shared_from_this<PhotoPicker> {
 public:
  static std::shared_ptr<PhotoPicker> make(std::weak_ptr<platform::ViewController> presentationController,
                                           std::weak_ptr<ImagePickerDelegate> delegate);
  std::shared_ptr<platform::ImagePickerController> pickerController;
  std::weak_ptr<platform::ViewController> presentationController;
  std::weak_ptr<ImagePickerDelegate> delegate;

  // Decides by the library's access: the sheet anchored on `sourceView`, the permission alert,
  // or a request first.
  void present(const std::shared_ptr<platform::View>& sourceView);

  void imagePickerControllerDidFinishPickingMediaWithInfo(
      platform::ImagePickerController& picker, const platform::ImagePickerMediaInfo& info) override;
  void imagePickerControllerDidCancel(platform::ImagePickerController& picker) override;

 private:
  void showSourceSheet(const std::shared_ptr<platform::View>& sourceView);
  void showPermissionAlert();
  void presentPicker(platform::ImagePickerSourceType source);
};

// The text of the first QR code in `image` that has one.
std::optional<std::string> detectQRCode(const platform::ImagePtr& image);

}  // namespace ostrel
