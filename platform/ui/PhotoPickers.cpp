#include "platform/ui/PhotoPickers.hpp"

#include <algorithm>
#include <cctype>

#include "platform/runtime/DispatchQueue.hpp"

namespace ostrel::platform {

namespace {

std::vector<std::string> identifiers(const std::vector<PhotoLibraryItem>& items) {
  std::vector<std::string> names;
  for (const auto& item : items) names.push_back(item.identifier);
  return names;
}

}  // namespace

bool ItemProvider::canLoadImage() const {
  std::string name = item_.identifier;
  std::transform(name.begin(), name.end(), name.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  for (const char* ext : {".png", ".jpg", ".jpeg", ".gif", ".bmp", ".tif", ".tiff", ".webp"}) {
    std::string suffix = ext;
    if (name.size() >= suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
      return true;
  }
  return false;
}

void ItemProvider::loadImage(
    std::function<void(ImagePtr, std::optional<PlatformError>)> completion) const {
  auto library = library_;
  auto item = item_;
  DispatchQueue::global()->async([library, item, completion = std::move(completion)] {
    auto loaded = library ? library->load(item) : PhotoLoadResult{};
    if (!loaded.image && !loaded.error)
      loaded.error = PlatformError{"PHPhotosErrorDomain", 3164, "The item cannot be loaded.", {}};
    if (completion) completion(loaded.image, loaded.error);
  });
}

PHPickerViewController::PHPickerViewController(PHPickerConfiguration configuration)
    : configuration_(std::move(configuration)) {
  modalPresentationStyle = ModalPresentationStyle::pageSheet;
}

std::shared_ptr<PhotoLibraryBackend> PHPickerViewController::library() const {
  return configuration_.photoLibrary ? configuration_.photoLibrary : PhotoLibrary::backend();
}

std::vector<std::string> PHPickerViewController::itemIdentifiers() const {
  return identifiers(library()->items());
}

bool PHPickerViewController::pick(std::size_t index) {
  auto source = library();
  auto items = source->items();
  if (index >= items.size()) return false;
  finish({PHPickerResult{std::make_shared<ItemProvider>(source, items[index]),
                         items[index].identifier}});
  return true;
}

void PHPickerViewController::cancel() { finish({}); }

void PHPickerViewController::finish(std::vector<PHPickerResult> results) {
  auto keep = shared<PHPickerViewController>();
  if (auto receiver = delegate.lock()) receiver->pickerDidFinishPicking(*this, results);
}

std::vector<std::string> ImagePickerController::itemIdentifiers() const {
  return identifiers(PhotoLibrary::backend()->items());
}

bool ImagePickerController::pick(std::size_t index) {
  auto source = PhotoLibrary::backend();
  auto items = source->items();
  if (index >= items.size()) return false;
  auto loaded = source->load(items[index]);
  auto keep = shared<ImagePickerController>();
  if (auto receiver = delegate.lock())
    receiver->imagePickerControllerDidFinishPickingMediaWithInfo(*this, {loaded.image});
  return true;
}

void ImagePickerController::cancel() {
  auto keep = shared<ImagePickerController>();
  if (auto receiver = delegate.lock()) receiver->imagePickerControllerDidCancel(*this);
}

}  // namespace ostrel::platform
