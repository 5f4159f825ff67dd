#include "platform/ui/Nib.hpp"

#include <map>
#include <mutex>

#include "platform/foundation/Bundle.hpp"
#include "platform/ui/View.hpp"
#include "platform/ui/ViewController.hpp"

namespace ostrel::platform {
namespace {

std::string keyOf(const std::filesystem::path& bundlePath) {
  return bundlePath.lexically_normal().string();
}

std::mutex registryMutex;
std::map<std::string, std::map<std::string, NibBuilder>>& registry() {
  static std::map<std::string, std::map<std::string, NibBuilder>> nibs;
  return nibs;
}

}  // namespace

void NibLoader::awakeAll() {
  auto made = std::move(created_);
  created_.clear();
  for (const auto& o : made) {
    if (auto v = std::dynamic_pointer_cast<View>(o)) {
      v->awakeFromNib();
    } else if (auto c = std::dynamic_pointer_cast<ViewController>(o)) {
      c->awakeFromNib();
    }
  }
}

void NibRegistry::add(const std::filesystem::path& bundlePath, const std::string& name,
                      NibBuilder builder) {
  std::lock_guard lock(registryMutex);
  registry()[keyOf(bundlePath)][name] = std::move(builder);
}

const NibBuilder* NibRegistry::find(const std::filesystem::path& bundlePath,
                                    const std::string& name) {
  std::lock_guard lock(registryMutex);
  auto bundle = registry().find(keyOf(bundlePath));
  if (bundle == registry().end()) return nullptr;
  auto it = bundle->second.find(name);
  return it == bundle->second.end() ? nullptr : &it->second;
}

std::vector<std::string> NibRegistry::names(const std::filesystem::path& bundlePath) {
  std::lock_guard lock(registryMutex);
  std::vector<std::string> out;
  auto bundle = registry().find(keyOf(bundlePath));
  if (bundle == registry().end()) return out;
  for (const auto& [name, builder] : bundle->second) out.push_back(name);
  return out;
}

std::shared_ptr<Nib> Nib::load(const std::string& name, const std::shared_ptr<Bundle>& bundle) {
  const auto* builder =
      NibRegistry::find(bundle ? bundle->bundlePath() : std::filesystem::path(), name);
  if (!builder || !*builder) return nullptr;
  return std::make_shared<Nib>(*builder);
}

std::vector<std::shared_ptr<Object>> Nib::instantiate(const std::shared_ptr<Object>& owner) const {
  NibLoader loader(owner);
  auto objects = builder_(loader);
  loader.awakeAll();
  return objects;
}

}  // namespace ostrel::platform
