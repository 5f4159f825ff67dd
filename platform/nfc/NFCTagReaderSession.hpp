#pragma once

// The contactless platform's tag reader session, as the chip reader uses it.
//
// A session lives once: begin, find a tag, connect, talk, end. Whatever ends it (the
// application's invalidate, the user closing the sheet, the 60-second limit, the reader going
// away), the delegate hears about the end exactly once, and from then on the session's tags
// refuse commands with 103 "Session invalidated". Every delegate call and every completion is
// posted on the session queue, never made from inside the call that caused it.
//
// At discovery the session selects the eMRTD application on each ISO 7816 tag (the host's
// select-identifier list) and reports only tags that accept one, as the phone platform does;
// the library never sends that SELECT itself. The SELECT asks for no answer data (P2 0C); a tag
// refusing that form (6A 86, 6A 87) is asked once more for the FCI (P2 00). Such a tag that
// still selects no application is reported all the same, with an empty `initialSelectedAID`:
// a chip is there, but not one that can be read.

#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/foundation/Date.hpp"
#include "platform/nfc/NFCISO7816Tag.hpp"
#include "platform/nfc/NFCReaderBackend.hpp"
#include "platform/nfc/NFCReaderError.hpp"

namespace ostrel::platform {

class DispatchQueue;
class NFCTagReaderSession;

enum class NFCPollingOption : int { iso14443 = 1, iso15693 = 2, iso18092 = 4 };

class NFCTagReaderSessionDelegate {
 public:
  virtual ~NFCTagReaderSessionDelegate() = default;
  // Tags found in the field (one or more).
  virtual void tagReaderSession(const std::shared_ptr<NFCTagReaderSession>& session,
                                const std::vector<std::shared_ptr<NFCTag>>& didDetect) = 0;
  // The session has ended; it cannot be used again.
  virtual void tagReaderSession(const std::shared_ptr<NFCTagReaderSession>& session,
                                const NFCReaderError& didInvalidateWithError) = 0;
};

class NFCTagReaderSession : public std::enable_shared_from_this<NFCTagReaderSession> {
 public:
  // The platform ends every session this long after `begin`.
  static constexpr TimeInterval kSessionTimeLimit = 60;

  // `queue` null: the session makes its own serial queue. The session holds its delegate
  // weakly; once the delegate is gone, nothing is delivered.
  NFCTagReaderSession(NFCPollingOption pollingOption,
                      std::weak_ptr<NFCTagReaderSessionDelegate> delegate,
                      std::shared_ptr<DispatchQueue> queue = nullptr);
  ~NFCTagReaderSession();
  NFCTagReaderSession(const NFCTagReaderSession&) = delete;
  NFCTagReaderSession& operator=(const NFCTagReaderSession&) = delete;

  // The host application's ISO 7816 select identifiers, upper-case hex, tried in order.
  static std::vector<std::string> iso7816SelectIdentifiers();
  static void setIso7816SelectIdentifiers(std::vector<std::string> identifiers);

  NFCPollingOption pollingOption() const { return pollingOption_; }
  std::shared_ptr<DispatchQueue> queue() const { return queue_; }

  // The text on the system sheet. Every text set is kept, in order, for tests and the demo.
  std::string alertMessage() const;
  void setAlertMessage(std::string message);
  std::vector<std::string> alertMessageHistory() const;
  // The error text the session was invalidated with, if any.
  std::optional<std::string> invalidationErrorMessage() const;

  // True from `begin` until the session ends.
  bool isReady() const;
  bool isInvalidated() const;

  void begin();
  void connect(const std::shared_ptr<NFCTag>& tag,
               std::function<void(std::optional<NFCReaderError>)> completionHandler);
  void invalidate();
  void invalidate(std::string errorMessage);

  // The user closes the sheet.
  void cancelByUser();

 private:
  enum class State { idle, polling, detected, ended };

  void handleDetected(std::vector<std::shared_ptr<NFCTag>> candidates);
  void selectApplication(std::vector<std::shared_ptr<NFCTag>> candidates, std::size_t index,
                         std::size_t aidIndex, std::vector<std::shared_ptr<NFCTag>> accepted);
  void sendApplicationSelect(std::vector<std::shared_ptr<NFCTag>> candidates, std::size_t index,
                             std::size_t aidIndex, std::vector<std::shared_ptr<NFCTag>> accepted,
                             std::uint8_t p2);
  void applicationAnswered(const std::vector<std::shared_ptr<NFCTag>>& candidates,
                           std::size_t index, std::size_t aidIndex, const std::string& aidText,
                           const std::vector<std::shared_ptr<NFCTag>>& accepted, std::uint8_t p2,
                           Bytes data, std::uint8_t sw1, std::uint8_t sw2,
                           std::optional<NFCReaderError> error);
  void connectFinished(
      const std::function<void(std::optional<NFCReaderError>)>& completionHandler,
      std::optional<NFCReaderError> error);
  void reportDetected(std::vector<std::shared_ptr<NFCTag>> tags);
  // Ends the session once; `report` says whether the delegate hears of it.
  void end(NFCReaderError::Code code, bool report, std::optional<std::string> errorMessage);

  const NFCPollingOption pollingOption_;
  const std::weak_ptr<NFCTagReaderSessionDelegate> delegate_;
  const std::shared_ptr<DispatchQueue> queue_;
  const std::shared_ptr<NFCReaderBackend> backend_;

  mutable std::mutex mutex_;
  State state_ = State::idle;
  std::shared_ptr<NFCTagSource> source_;
  std::vector<std::shared_ptr<NFCTag>> tags_;
  std::string alertMessage_;
  std::vector<std::string> alertHistory_;
  std::optional<std::string> invalidationErrorMessage_;
  // Tags of the discovery in progress that refused a SELECT asking for no answer data; touched
  // only by the discovery chain on the session queue.
  std::set<const NFCTag*> refusedSelectForm_;
};

}  // namespace ostrel::platform
