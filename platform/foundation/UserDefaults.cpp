#include "platform/foundation/UserDefaults.hpp"

#include <unistd.h>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>
#include <map>
#include <sstream>

#include "platform/foundation/Base64.hpp"
#include "platform/foundation/Debug.hpp"
#include "platform/foundation/JSON.hpp"
#include "platform/foundation/Paths.hpp"

namespace ostrel::platform {
namespace {

struct Registry {
  std::mutex mutex;
  bool inMemory = false;
  std::map<std::string, std::shared_ptr<UserDefaults>> suites;
  std::function<bool()> beforeReplace;
};

Registry& registry() {
  static Registry r;
  return r;
}

std::function<bool()> beforeReplaceHook() {
  std::lock_guard lock(registry().mutex);
  return registry().beforeReplace;
}

// Each stored value keeps its type, so that a date stays a date and bytes stay bytes.
constexpr const char* kString = "string";
constexpr const char* kBool = "bool";
constexpr const char* kInteger = "integer";
constexpr const char* kDouble = "double";
constexpr const char* kDate = "date";
constexpr const char* kData = "data";
constexpr const char* kArray = "array";
constexpr const char* kDictionary = "dictionary";

bool wellFormed(const JSON& suite) {
  if (!suite.is_object()) return false;
  for (const auto& [key, entry] : suite.items()) {
    if (!entry.is_object() || !entry.contains("type") || !entry["type"].is_string() ||
        !entry.contains("value")) {
      return false;
    }
  }
  return true;
}

}  // namespace

std::shared_ptr<UserDefaults> UserDefaults::suite(const std::string& name) {
  auto& r = registry();
  std::lock_guard lock(r.mutex);
  auto& slot = r.suites[name];
  if (!slot) {
    std::optional<std::filesystem::path> file;
    if (!r.inMemory) {
      file = Paths::applicationDataDirectory() / "Preferences" / (name + ".json");
    }
    slot = std::make_shared<UserDefaults>(name, file);
  }
  return slot;
}

void UserDefaults::useInMemoryStorage(bool inMemory) {
  std::lock_guard lock(registry().mutex);
  registry().inMemory = inMemory;
  registry().suites.clear();
}

void UserDefaults::resetSuites() {
  std::lock_guard lock(registry().mutex);
  registry().suites.clear();
}

void UserDefaults::setBeforeReplaceHook(std::function<bool()> hook) {
  std::lock_guard lock(registry().mutex);
  registry().beforeReplace = std::move(hook);
}

UserDefaults::UserDefaults(std::string name, std::optional<std::filesystem::path> file)
    : name_(std::move(name)), file_(std::move(file)) {
  load();
}

void UserDefaults::load() {
  if (!file_) return;
  std::error_code ec;
  if (!std::filesystem::exists(*file_, ec)) return;
  std::ifstream in(*file_, std::ios::binary);
  std::stringstream buffer;
  buffer << in.rdbuf();
  // The suite and each entry's {"type", "value"} wrap the stored values in two levels.
  auto parsed = parseJSON(buffer.str(), kMaxJSONDepth + 2);
  if (parsed && wellFormed(*parsed)) {
    values_ = std::move(*parsed);
    return;
  }
  // Keep the unreadable file for whoever wants to look at it; start empty.
  for (int n = 1;; ++n) {
    auto aside = *file_;
    aside += ".corrupt-" + std::to_string(n);
    if (std::filesystem::exists(aside, ec)) continue;
    std::filesystem::rename(*file_, aside, ec);
    debugLog("user defaults: suite " + name_ + " was unreadable, kept aside as " + aside.string());
    break;
  }
}

bool UserDefaults::save() const {
  if (!file_) return true;
  std::error_code ec;
  std::filesystem::create_directories(file_->parent_path(), ec);
  auto temporary = *file_;
  temporary += ".tmp";
  const std::string text = values_.dump(2, ' ', false, JSON::error_handler_t::replace);
  FILE* f = std::fopen(temporary.c_str(), "wb");
  if (!f) {
    debugLog("user defaults: cannot write " + temporary.string());
    return false;
  }
  bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  ok = std::fflush(f) == 0 && ok;
  ok = ::fsync(fileno(f)) == 0 && ok;
  ok = std::fclose(f) == 0 && ok;
  if (!ok) {
    std::filesystem::remove(temporary, ec);
    debugLog("user defaults: failed writing " + temporary.string());
    return false;
  }
  if (auto hook = beforeReplaceHook(); hook && !hook()) return false;
  std::filesystem::rename(temporary, *file_, ec);
  if (ec) {
    debugLog("user defaults: cannot replace " + file_->string() + ": " + ec.message());
    return false;
  }
  return true;
}

void UserDefaults::store(const std::string& key, const char* type, JSON value) {
  std::lock_guard lock(mutex_);
  values_[key] = JSON{{"type", type}, {"value", std::move(value)}};
  save();
}

void UserDefaults::setString(const std::string& key, std::string value) {
  store(key, kString, std::move(value));
}
void UserDefaults::setBool(const std::string& key, bool value) {
  store(key, kBool, value);
}
void UserDefaults::setInteger(const std::string& key, std::int64_t value) {
  store(key, kInteger, value);
}
void UserDefaults::setDouble(const std::string& key, double value) {
  store(key, kDouble, value);
}
void UserDefaults::setDate(const std::string& key, Date value) {
  store(key, kDate, value.timeIntervalSince1970);
}
void UserDefaults::setData(const std::string& key, const Bytes& value) {
  store(key, kData, base64Encode(value));
}
void UserDefaults::setArray(const std::string& key, JSON value) {
  // Deeper values would make the whole suite unreadable at the next launch.
  if (!value.is_array() || jsonNestsDeeperThan(value)) return;
  store(key, kArray, std::move(value));
}
void UserDefaults::setDictionary(const std::string& key, JSON value) {
  if (!value.is_object() || jsonNestsDeeperThan(value)) return;
  store(key, kDictionary, std::move(value));
}

void UserDefaults::removeObject(const std::string& key) {
  std::lock_guard lock(mutex_);
  if (values_.erase(key) > 0) save();
}

bool UserDefaults::hasKey(const std::string& key) const {
  std::lock_guard lock(mutex_);
  return values_.contains(key);
}

std::optional<JSON> UserDefaults::anyEntry(const std::string& key) const {
  std::lock_guard lock(mutex_);
  auto it = values_.find(key);
  if (it == values_.end()) return std::nullopt;
  return *it;
}

std::optional<JSON> UserDefaults::entry(const std::string& key, const char* type) const {
  auto e = anyEntry(key);
  if (!e || (*e)["type"] != type) return std::nullopt;
  return (*e)["value"];
}

std::optional<std::string> UserDefaults::string(const std::string& key) const {
  auto v = entry(key, kString);
  if (!v || !v->is_string()) return std::nullopt;
  return v->get<std::string>();
}

std::optional<bool> UserDefaults::boolean(const std::string& key) const {
  auto e = anyEntry(key);
  if (!e) return std::nullopt;
  const JSON& v = (*e)["value"];
  if (v.is_boolean()) return v.get<bool>();
  if (v.is_number()) return v.get<double>() != 0;
  if (v.is_string()) {
    const auto s = v.get<std::string>();
    if (s == "YES" || s == "yes" || s == "true") return true;
    try {
      return std::stod(s) != 0;
    } catch (...) {
      return false;
    }
  }
  return std::nullopt;
}

double UserDefaults::doubleValue(const std::string& key) const {
  auto e = anyEntry(key);
  if (!e) return 0;
  const JSON& v = (*e)["value"];
  if ((*e)["type"] == kDate) return 0;
  if (v.is_boolean()) return v.get<bool>() ? 1 : 0;
  if (v.is_number()) return v.get<double>();
  if (v.is_string()) {
    try {
      return std::stod(v.get<std::string>());
    } catch (...) {
      return 0;
    }
  }
  return 0;
}

std::int64_t UserDefaults::integer(const std::string& key) const {
  auto e = anyEntry(key);
  if (!e) return 0;
  const JSON& v = (*e)["value"];
  if (v.is_number_integer()) return v.get<std::int64_t>();
  // Converting a double outside the integer range is undefined; such values saturate.
  const double d = doubleValue(key);
  if (std::isnan(d)) return 0;
  if (d >= 9.2233720368547758e18) return std::numeric_limits<std::int64_t>::max();
  if (d <= -9.2233720368547758e18) return std::numeric_limits<std::int64_t>::min();
  return static_cast<std::int64_t>(d);
}

std::optional<Date> UserDefaults::date(const std::string& key) const {
  auto v = entry(key, kDate);
  if (!v || !v->is_number()) return std::nullopt;
  return Date{v->get<double>()};
}

std::optional<Bytes> UserDefaults::data(const std::string& key) const {
  auto v = entry(key, kData);
  if (!v || !v->is_string()) return std::nullopt;
  return base64Decode(v->get<std::string>());
}

std::optional<JSON> UserDefaults::array(const std::string& key) const {
  auto v = entry(key, kArray);
  if (!v || !v->is_array()) return std::nullopt;
  return v;
}

std::optional<JSON> UserDefaults::dictionary(const std::string& key) const {
  auto v = entry(key, kDictionary);
  if (!v || !v->is_object()) return std::nullopt;
  return v;
}

}  // namespace ostrel::platform
