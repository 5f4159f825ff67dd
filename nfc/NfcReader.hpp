#pragma once

// One read of a document chip from start to end: opens the tag reader session, connects to the
// one ISO 7816 tag found, runs basic access control, then reads the groups the chip lists in
// COM into the passport model, judging every failure of a group by its error text.
//
// A group the chip refuses ("File not found", "Security status not satisfied") is left out and
// the read goes on. DG1 and DG2 are what an identity check stands on: when one of them was
// asked for and given up for any other failure (a lost card, a chip that cannot be read the
// way it is asked, answers that never check), the read ends with that failure rather than
// report a success without the MRZ or the face. So it does when COM or the SOD lists DG1 or
// DG2 and the chip then answers "File not found" for it: the chip contradicts itself. A DG1 or
// DG2 read whole that does not parse is the document's own and is left out like a refused
// group. The SOD, without which the groups' integrity can never be checked, ends the read when
// it could not be read for any reason but "File not found".
//
// A read of everything plans from COM. Without a usable COM (absent, or never verifying) it
// reads the groups the SOD lists, else DG1 and DG2, which the chip must then give.
//
// All work runs on the reader's own serial queue, made with the reader and given to every
// session it opens, one command at a time, chained by completions; the caller's completion
// runs there too. The public entries may be called from any thread: they post their work to
// that queue and return at once. Each read ends with exactly one outcome: later reports
// (the platform's end of a session the reader already closed, a command failing after the
// end) are dropped.

#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "nfc/BACHandler.hpp"
#include "nfc/DataGroupId.hpp"
#include "nfc/Log.hpp"
#include "nfc/NFCPassportModel.hpp"
#include "nfc/PassportReaderError.hpp"
#include "nfc/ResponseAPDU.hpp"
#include "nfc/TagReader.hpp"
#include "platform/nfc/NFCTagReaderSession.hpp"

namespace ostrel {

class NfcReader : public platform::NFCTagReaderSessionDelegate,
                  public std::enable_shared_from_this<NfcReader> {
 public:
  using ScanCompletedHandler =
      std::function<void(std::shared_ptr<NFCPassportModel>, std::optional<PassportReaderError>)>;
  using DisplayMessageHandler =
      std::function<std::optional<std::string>(const NFCViewDisplayMessage&)>;
  using ReadCompletion = std::function<void(std::optional<PassportReaderError>)>;

  // A group is given up after this many attempts, however they failed.
  static constexpr int kMaxReadAttempts = 4;
  // The chunk size a "Wrong length" or "End of file" answer brings larger reads down to.
  static constexpr int kReducedChunkSize = 160;
  // "Wrong length" at kReducedChunkSize or below halves the chunk, down to this.
  static constexpr int kSmallestChunkSize = 32;

  // What the session does after a group read failed, decided by the error's text.
  enum class RetryAction {
    endRead,             // the read ends with the error
    skipGroup,           // the group is dropped; access control again, then the next one
    accessControlAgain,  // access control again, then the same group
    smallerChunks,       // a smaller chunk size, access control again, the same group
    readAgain,           // the same group at once, without access control
  };
  struct RetryRule {
    std::string_view text;
    bool prefix;  // the text begins with `text` (else it is exactly `text`)
    RetryAction action;
  };
  // The whole policy, first match wins; a text no rule matches is read again.
  static std::span<const RetryRule> retryPolicy();
  static RetryAction retryActionFor(std::string_view errorText);
  // The chunk size after a `smallerChunks` failure with this text at chunk size `current`.
  static int chunkSizeAfter(std::string_view errorText, int current);

  // Also sets the process-wide minimum level of the chip trace log.
  explicit NfcReader(int logLevel = Log::info, std::optional<std::string> masterListURL = {});

  // Empty `tags` reads every group COM lists. Returns at once; `completed` runs once, on the
  // reader's queue, also when the device cannot read NFC. A read still open is ended first,
  // its completion getting `UserCanceled`. The reader must be owned by a `shared_ptr` (see
  // `platform::make`); one that is not ends each read at once with `UnexpectedError`.
  void startChipRead(const std::string& mrzKey, std::vector<DataGroupId> tags,
                     bool skipSecureElements, bool skipCA,
                     DisplayMessageHandler customDisplayMessage, ScanCompletedHandler completed);
  // Ends the open read's session, if any, from any thread; the read's one outcome
  // (`UserCanceled`, as for a session the application ends) follows on the reader's queue.
  void endOpenRead();

  // The serial queue every read of this reader runs on.
  const std::shared_ptr<platform::DispatchQueue>& queue() const { return queue_; }

  void updateAlertMessage(const NFCViewDisplayMessage& message);
  void invalidateSession(const NFCViewDisplayMessage& message, const PassportReaderError& error);

  // NFCTagReaderSessionDelegate
  void tagReaderSession(const std::shared_ptr<platform::NFCTagReaderSession>& session,
                        const std::vector<std::shared_ptr<platform::NFCTag>>& tags) override;
  void tagReaderSession(const std::shared_ptr<platform::NFCTagReaderSession>& session,
                        const platform::NFCReaderError& error) override;

  void startReading();
  void startAccessControl();
  void handleAccessControlResult(std::optional<PassportReaderError> error);
  void readNextDataGroup(ReadCompletion completion);
  void handleDataGroupRead(std::optional<ResponseAPDU> response,
                           std::optional<PassportReaderError> error, DataGroupId group,
                           ReadCompletion completion);
  void finishReading(std::optional<PassportReaderError> error);

  std::shared_ptr<NFCPassportModel> passport = std::make_shared<NFCPassportModel>();
  std::shared_ptr<platform::NFCTagReaderSession> readerSession;
  int elementReadAttempts = 0;
  std::optional<DataGroupId> currentlyReadingDataGroup;
  std::vector<DataGroupId> dataGroupsToRead;
  bool readAllDatagroups = false;
  bool skipSecureElements = true;
  bool skipCA = true;
  std::shared_ptr<TagReader> tagReader;
  std::shared_ptr<BACHandler> bacHandler;
  std::string mrzKey;
  std::optional<int> dataAmountToReadOverride;
  ScanCompletedHandler scanCompletedHandler;
  DisplayMessageHandler nfcViewDisplayMessageHandler;
  std::optional<std::string> masterListURL;
  bool shouldNotReportNextReaderSessionInvalidationErrorUserCanceled = false;

 private:
  void connected(unsigned long generation, const std::shared_ptr<platform::NFCISO7816Tag>& tag,
                 std::optional<platform::NFCReaderError> error);
  void progress(unsigned long generation, int percent);
  void accessControlFinished(unsigned long generation, std::optional<PassportReaderError> error);
  void groupsFinished(unsigned long generation, std::optional<PassportReaderError> error);
  void groupRead(unsigned long generation, DataGroupId group, const ReadCompletion& completion,
                 std::optional<ResponseAPDU> response, std::optional<PassportReaderError> error);
  void dropHeadGroup();
  // Drops the head group after its last attempt failed with `error`, or after the chip refused
  // it; the read's outcome becomes `error` when the read cannot do without the group.
  void giveUpHeadGroup(const PassportReaderError& error);
  bool headGroupIsRequired(const PassportReaderError& error) const;
  // Once COM and the SOD are done without a usable COM: the groups the SOD lists, else DG1 and
  // DG2, join the queue.
  void planWithoutCOM();
  void rebuildQueue(const std::vector<std::string>& present);
  std::string alertText(const NFCViewDisplayMessage& message) const;
  // Hands the outcome of the current read to its completion, once.
  void complete(std::shared_ptr<NFCPassportModel> model, std::optional<PassportReaderError> error);
  // Whether a closure made during read `generation` may still act.
  bool isCurrentRead(unsigned long generation) const { return generation == readGeneration_; }

  void startChipReadOnQueue(const std::string& mrzKey, std::vector<DataGroupId> tags,
                            bool skipSecureElements, bool skipCA,
                            DisplayMessageHandler customDisplayMessage,
                            ScanCompletedHandler completed);

  const std::shared_ptr<platform::DispatchQueue> queue_;
  // Which read the chain's closures belong to.
  unsigned long readGeneration_ = 0;
  // The error for which a DG1 or DG2 the caller asked for was given up: without the MRZ or the
  // face the read is no success.
  std::optional<PassportReaderError> lostRequiredGroupError_;
  bool comRead_ = false;
  bool plannedWithoutCOM_ = false;
  // The groups COM or the SOD lists (or that a read without COM plans): the chip says it has
  // them.
  std::vector<DataGroupId> listedGroups_;
  // The session the reader itself ended with an error (whose user-cancel report is its own).
  std::weak_ptr<platform::NFCTagReaderSession> invalidatedSession_;
};

}  // namespace ostrel
