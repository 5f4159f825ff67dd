#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/media/Image.hpp"
#include "platform/media/PhotoLibrary.hpp"
#include "platform/ui/ViewController.hpp"

namespace ostrel::platform {

// What the newer photo picker shows.
struct PHPickerConfiguration {
  std::shared_ptr<PhotoLibraryBackend> photoLibrary;  // the shared library when null
  int selectionLimit = 1;
  bool imagesOnly = false;
};

// Loads one picked item.
class ItemProvider {
 public:
  ItemProvider(std::shared_ptr<PhotoLibraryBackend> library, PhotoLibraryItem item)
      : library_(std::move(library)), item_(std::move(item)) {}
  // Whether the item may load as a picture (by what it claims to be, not by its bytes).
  bool canLoadImage() const;
  // Decodes the item on the global queue and completes there with the picture or an error.
  void loadImage(std::function<void(ImagePtr, std::optional<PlatformError>)> completion) const;
  const PhotoLibraryItem& item() const { return item_; }

 private:
  std::shared_ptr<PhotoLibraryBackend> library_;
  PhotoLibraryItem item_;
};

struct PHPickerResult {
  std::shared_ptr<ItemProvider> itemProvider;
  std::string assetIdentifier;
};

class PHPickerViewController;

class PHPickerViewControllerDelegate {
 public:
  virtual ~PHPickerViewControllerDelegate() = default;
  // The picked items; none when the user cancelled. The picker stays on screen until someone
  // dismisses it.
  virtual void pickerDidFinishPicking(PHPickerViewController& picker,
                                      const std::vector<PHPickerResult>& results) = 0;
};

// The newer photo picker: lists the library's items for the user to pick from or cancel. It
// never asks for access to the library.
class PHPickerViewController : public ViewController {
 public:
  explicit PHPickerViewController(PHPickerConfiguration configuration);
  const PHPickerConfiguration& configuration() const { return configuration_; }
  std::weak_ptr<PHPickerViewControllerDelegate> delegate;

  // The identifiers on offer, in order.
  std::vector<std::string> itemIdentifiers() const;
  // The user picks the item at `index` (false when there is none) or cancels.
  bool pick(std::size_t index);
  void cancel();

 private:
  std::shared_ptr<PhotoLibraryBackend> library() const;
  void finish(std::vector<PHPickerResult> results);
  PHPickerConfiguration configuration_;
};

enum class ImagePickerSourceType { photoLibrary = 0, camera = 1, savedPhotosAlbum = 2 };

// What the older picker hands over for a picked item: the original picture, none when the item
// was not one.
struct ImagePickerMediaInfo {
  ImagePtr originalImage;
};

class ImagePickerController;

class ImagePickerControllerDelegate {
 public:
  virtual ~ImagePickerControllerDelegate() = default;
  virtual void imagePickerControllerDidFinishPickingMediaWithInfo(
      ImagePickerController& picker, const ImagePickerMediaInfo& info) = 0;
  virtual void imagePickerControllerDidCancel(ImagePickerController& picker) = 0;
};

// The older picker: both of its library sources read the shared library.
class ImagePickerController : public ViewController {
 public:
  ImagePickerSourceType sourceType = ImagePickerSourceType::photoLibrary;
  bool allowsEditing = false;
  std::weak_ptr<ImagePickerControllerDelegate> delegate;

  std::vector<std::string> itemIdentifiers() const;
  // The user picks the item at `index` (loaded at once; false when there is none) or cancels.
  bool pick(std::size_t index);
  void cancel();
};

}  // namespace ostrel::platform
