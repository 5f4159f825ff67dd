#pragma once

// What lies behind a tag reader session: the radio on a phone, a PC/SC reader on a desktop, or
// a simulated field in tests. A session asks the installed backend for a tag source when it
// begins, and the source reports tags as they come into the field.

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "platform/nfc/NFCISO7816Tag.hpp"
#include "platform/nfc/NFCReaderError.hpp"

namespace ostrel::platform {

class DispatchQueue;

// The tags of one session. Every callback may come from any thread; the session moves them to
// its own queue.
class NFCTagSource {
 public:
  struct Events {
    // Tags that entered the field together. ISO 7816 tags must talk through the session queue
    // they were made with.
    std::function<void(std::vector<std::shared_ptr<NFCTag>>)> detected;
    // The source cannot go on (the reader service went away): the session ends with `code`.
    std::function<void(NFCReaderError::Code code)> failed;
  };

  virtual ~NFCTagSource() = default;

  virtual void start(Events events) = 0;
  // Opens the tag for commands; `done` gets an error when the tag cannot be reached.
  virtual void connect(const std::shared_ptr<NFCTag>& tag,
                       std::function<void(std::optional<NFCReaderError>)> done) = 0;
  // Stops looking for tags and lets go of the cards. No event arrives after it returns.
  virtual void stop() = 0;
};

class NFCReaderBackend {
 public:
  virtual ~NFCReaderBackend() = default;

  // The installed backend; PC/SC unless something else was installed.
  static std::shared_ptr<NFCReaderBackend> current();
  // nullptr goes back to PC/SC.
  static void install(std::shared_ptr<NFCReaderBackend> backend);

  virtual bool readingAvailable() = 0;
  virtual std::shared_ptr<NFCTagSource> makeTagSource(
      std::shared_ptr<DispatchQueue> sessionQueue) = 0;

  // Whether the end of a session that the application itself invalidated is reported to the
  // delegate (as the user-cancel code, which is what the phone platform does).
  virtual bool reportsApplicationInvalidation() const { return true; }
};

// The one static question the library asks before opening a session.
struct NFCNDEFReaderSession {
  static bool readingAvailable();
};

}  // namespace ostrel::platform
