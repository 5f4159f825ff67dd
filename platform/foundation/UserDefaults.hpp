#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/foundation/Date.hpp"
#include "platform/foundation/JSON.hpp"

namespace ostrel::platform {

// A named suite of typed values kept across launches: one JSON file per suite under the
// application data directory ("Preferences/<suite>.json"), replaced atomically on each change.
// A file that cannot be read as a suite is moved aside ("<file>.corrupt-N") and the suite
// starts empty; the bad file is never overwritten. Tests switch to in-memory storage.
class UserDefaults {
 public:
  static std::shared_ptr<UserDefaults> suite(const std::string& name);
  static void useInMemoryStorage(bool inMemory);
  // Forgets every open suite (files stay); the next `suite` call reads afresh.
  static void resetSuites();
  // Called after the temporary file is written and before it replaces the suite's file;
  // returning false abandons the save there (tests use it to act out a crash).
  static void setBeforeReplaceHook(std::function<bool()> hook);

  explicit UserDefaults(std::string name, std::optional<std::filesystem::path> file);

  const std::string& name() const { return name_; }

  void setString(const std::string& key, std::string value);
  void setBool(const std::string& key, bool value);
  void setInteger(const std::string& key, std::int64_t value);
  void setDouble(const std::string& key, double value);
  void setDate(const std::string& key, Date value);
  void setData(const std::string& key, const Bytes& value);
  // A value of the wrong kind, or nested deeper than kMaxJSONDepth, is not stored.
  void setArray(const std::string& key, JSON value);
  void setDictionary(const std::string& key, JSON value);
  void removeObject(const std::string& key);

  bool hasKey(const std::string& key) const;
  std::optional<std::string> string(const std::string& key) const;
  // Numbers and bools convert into each other; a text reads as its number.
  std::optional<bool> boolean(const std::string& key) const;
  bool boolValue(const std::string& key) const { return boolean(key).value_or(false); }
  std::int64_t integer(const std::string& key) const;
  double doubleValue(const std::string& key) const;
  std::optional<Date> date(const std::string& key) const;
  std::optional<Bytes> data(const std::string& key) const;
  std::optional<JSON> array(const std::string& key) const;
  std::optional<JSON> dictionary(const std::string& key) const;

  std::optional<std::filesystem::path> filePath() const { return file_; }

 private:
  void store(const std::string& key, const char* type, JSON value);
  std::optional<JSON> entry(const std::string& key, const char* type) const;
  std::optional<JSON> anyEntry(const std::string& key) const;
  void load();
  bool save() const;

  std::string name_;
  std::optional<std::filesystem::path> file_;
  mutable std::mutex mutex_;
  JSON values_ = JSON::object();
};

}  // namespace ostrel::platform
