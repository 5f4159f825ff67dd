#include "nfc/NfcReader.hpp"

#include <algorithm>

#include "nfc/COM.hpp"
#include "nfc/DataGroupParser.hpp"
#include "platform/foundation/Debug.hpp"
#include "platform/runtime/Application.hpp"
#include "platform/runtime/BindWeak.hpp"
#include "platform/runtime/DispatchQueue.hpp"

namespace ostrel {

using platform::NFCReaderError;

NfcReader::NfcReader(int logLevel, std::optional<std::string> masterListURL)
    : masterListURL(std::move(masterListURL)),
      queue_(platform::DispatchQueue::make("ostrel.nfc.reader")) {
  Log::setLogLevel(logLevel);
}

std::string NfcReader::alertText(const NFCViewDisplayMessage& message) const {
  if (nfcViewDisplayMessageHandler) {
    if (auto text = nfcViewDisplayMessageHandler(message)) return *text;
  }
  return message.text();
}

void NfcReader::updateAlertMessage(const NFCViewDisplayMessage& message) {
  platform::assertOnQueue(queue_);
  if (!readerSession) return;
  readerSession->setAlertMessage(alertText(message));
}

void NfcReader::complete(std::shared_ptr<NFCPassportModel> model,
                         std::optional<PassportReaderError> error) {
  // Taking the handler makes every later report of this read a no-op.
  auto handler = std::move(scanCompletedHandler);
  scanCompletedHandler = nullptr;
  if (handler) handler(std::move(model), std::move(error));
}

void NfcReader::invalidateSession(const NFCViewDisplayMessage& message,
                                  const PassportReaderError& error) {
  platform::assertOnQueue(queue_);
  Log::errorTrace([&] { return "ERROR - " + error.message(); });
  shouldNotReportNextReaderSessionInvalidationErrorUserCanceled = true;
  if (readerSession) {
    invalidatedSession_ = readerSession;
    readerSession->invalidate(alertText(message));
  }
  complete(nullptr, error);
}

void NfcReader::startChipRead(const std::string& key, std::vector<DataGroupId> tags,
                              bool skipSecureElementsValue, bool skipCAValue,
                              DisplayMessageHandler customDisplayMessage,
                              ScanCompletedHandler completed) {
  // Every field of the reader belongs to its queue, whoever asks for a read.
  auto self = weak_from_this().lock();
  if (!self) {
    // The sessions reach their reader through a weak pointer: without an owner there is
    // nobody to hear them, so the read ends at once.
    platform::debugLog("startChipRead: the reader is not owned by a shared_ptr");
    queue_->async([completed = std::move(completed)] {
      if (completed) completed(nullptr, PassportReaderError::UnexpectedError());
    });
    return;
  }
  queue_->async([self, key, tags = std::move(tags), skipSecureElementsValue, skipCAValue,
                 customDisplayMessage = std::move(customDisplayMessage),
                 completed = std::move(completed)]() mutable {
    self->startChipReadOnQueue(key, std::move(tags), skipSecureElementsValue, skipCAValue,
                               std::move(customDisplayMessage), std::move(completed));
  });
}

void NfcReader::endOpenRead() {
  std::weak_ptr<NfcReader> weakSelf = weak_from_this();
  queue_->async([weakSelf] {
    auto self = weakSelf.lock();
    if (self && self->readerSession) self->readerSession->invalidate();
  });
}

void NfcReader::startChipReadOnQueue(const std::string& key, std::vector<DataGroupId> tags,
                                     bool skipSecureElementsValue, bool skipCAValue,
                                     DisplayMessageHandler customDisplayMessage,
                                     ScanCompletedHandler completed) {
  // A session still open from an earlier read belongs to that read; its reports are ignored
  // from here on. That read still gets its one outcome, as when the application ends a
  // session: a caller waiting for it must not wait for ever.
  if (readerSession) {
    auto previous = std::move(readerSession);
    readerSession = nullptr;
    previous->invalidate();
  }
  complete(nullptr, PassportReaderError::UserCanceled());
  ++readGeneration_;
  passport = std::make_shared<NFCPassportModel>();
  mrzKey = key;
  skipCA = skipCAValue;
  dataGroupsToRead = std::move(tags);
  scanCompletedHandler = std::move(completed);
  nfcViewDisplayMessageHandler = std::move(customDisplayMessage);
  skipSecureElements = skipSecureElementsValue;
  currentlyReadingDataGroup.reset();
  elementReadAttempts = 0;
  bacHandler = nullptr;
  lostRequiredGroupError_.reset();
  comRead_ = false;
  plannedWithoutCOM_ = false;
  listedGroups_.clear();
  // The flag belongs to the session the reader ended; a new read starts with none.
  shouldNotReportNextReaderSessionInvalidationErrorUserCanceled = false;
  invalidatedSession_.reset();

  if (dataGroupsToRead.empty()) {
    dataGroupsToRead = {DataGroupId::COM, DataGroupId::SOD};
    readAllDatagroups = true;
  } else {
    readAllDatagroups = false;
  }

  if (!platform::NFCNDEFReaderSession::readingAvailable()) {
    complete(nullptr, PassportReaderError::NFCNotSupported());
    return;
  }

  readerSession = std::make_shared<platform::NFCTagReaderSession>(
      platform::NFCPollingOption::iso14443, weak_from_this(), queue_);
  updateAlertMessage(NFCViewDisplayMessage::requestPresentPassport());
  readerSession->begin();
}

void NfcReader::tagReaderSession(const std::shared_ptr<platform::NFCTagReaderSession>& session,
                                 const std::vector<std::shared_ptr<platform::NFCTag>>& tags) {
  platform::assertOnQueue(queue_);
  if (!session || session != readerSession) return;
  if (tags.size() > 1) {
    invalidateSession(NFCViewDisplayMessage::error(PassportReaderError::MoreThanOneTagFound()),
                      PassportReaderError::MoreThanOneTagFound());
    return;
  }
  auto tag = tags.empty() ? nullptr : std::dynamic_pointer_cast<platform::NFCISO7816Tag>(tags[0]);
  // Also an empty list, which the platform never sends, and a chip on which the platform could
  // select no application: ending is better than waiting for the session limit.
  if (!tag || tag->initialSelectedAID().empty()) {
    invalidateSession(NFCViewDisplayMessage::error(PassportReaderError::TagNotValid()),
                      PassportReaderError::TagNotValid());
    return;
  }
  platform::Application::shared().recordFeedback("vibrate");
  session->connect(tag, platform::bindWeak(weak_from_this(), &NfcReader::connected,
                                            readGeneration_, tag));
}

void NfcReader::connected(unsigned long generation,
                          const std::shared_ptr<platform::NFCISO7816Tag>& tag,
                          std::optional<NFCReaderError> error) {
  if (!isCurrentRead(generation)) return;
  if (error) {
    Log::errorTrace([&] { return "ERROR - " + error->localizedDescription; });
    invalidateSession(NFCViewDisplayMessage::error(PassportReaderError::ConnectionError()),
                      PassportReaderError::ConnectionError());
    return;
  }
  updateAlertMessage(NFCViewDisplayMessage::authenticatingWithPassport(0));
  tagReader = std::make_shared<TagReader>(tag);
  if (dataAmountToReadOverride) tagReader->setMaxDataLengthToRead(*dataAmountToReadOverride);
  tagReader->setProgress(
      platform::bindWeak(weak_from_this(), &NfcReader::progress, readGeneration_));
  startReading();
}

void NfcReader::progress(unsigned long generation, int percent) {
  if (!isCurrentRead(generation)) return;
  if (currentlyReadingDataGroup) {
    updateAlertMessage(
        NFCViewDisplayMessage::readingDataGroupProgress(*currentlyReadingDataGroup, percent));
  } else {
    updateAlertMessage(NFCViewDisplayMessage::authenticatingWithPassport(percent));
  }
}

void NfcReader::startReading() {
  platform::assertOnQueue(queue_);
  // The attempt count is not reset here: it belongs to the group at the head of the queue and
  // must survive the access-control restarts that 69 88 and a smaller chunk size cause, or a
  // group failing that way would be read again until the session time limit.
  currentlyReadingDataGroup.reset();
  startAccessControl();
}

void NfcReader::startAccessControl() {
  platform::assertOnQueue(queue_);
  if (!tagReader) {
    handleAccessControlResult(PassportReaderError::NoConnectedTag());
    return;
  }
  Log::infoTrace([] { return std::string("Starting Basic Access Control (BAC)"); });
  bacHandler = std::make_shared<BACHandler>(tagReader);
  bacHandler->runAccessControl(mrzKey, platform::bindWeak(weak_from_this(),
                                                          &NfcReader::accessControlFinished,
                                                          readGeneration_));
}

void NfcReader::accessControlFinished(unsigned long generation,
                                      std::optional<PassportReaderError> error) {
  if (!isCurrentRead(generation)) return;
  bacHandler = nullptr;
  handleAccessControlResult(std::move(error));
}

void NfcReader::handleAccessControlResult(std::optional<PassportReaderError> error) {
  platform::assertOnQueue(queue_);
  if (error) {
    Log::infoTrace([] { return std::string("BAC Failed"); });
    passport->BACStatus = PassportAuthenticationStatus::failed;
    invalidateSession(NFCViewDisplayMessage::error(*error), *error);
    return;
  }
  Log::infoTrace([] { return std::string("BAC Successful"); });
  passport->BACStatus = PassportAuthenticationStatus::success;
  readNextDataGroup(
      platform::bindWeak(weak_from_this(), &NfcReader::groupsFinished, readGeneration_));
}

void NfcReader::groupsFinished(unsigned long generation, std::optional<PassportReaderError> error) {
  if (isCurrentRead(generation)) finishReading(std::move(error));
}

void NfcReader::readNextDataGroup(ReadCompletion completion) {
  platform::assertOnQueue(queue_);
  if (!readerSession) return;
  if (!tagReader) {
    completion(PassportReaderError::NoConnectedTag());
    return;
  }
  if (dataGroupsToRead.empty()) {
    completion(std::nullopt);
    return;
  }
  const DataGroupId group = dataGroupsToRead.front();
  currentlyReadingDataGroup = group;
  elementReadAttempts += 1;
  updateAlertMessage(NFCViewDisplayMessage::readingDataGroupProgress(group, 0));
  auto fileId = group.fileId();
  if (!fileId) {
    handleDataGroupRead(std::nullopt, PassportReaderError::UnsupportedDataGroup(), group,
                        std::move(completion));
    return;
  }
  tagReader->selectFile(*fileId, platform::bindWeak(weak_from_this(), &NfcReader::groupRead,
                                                    readGeneration_, group,
                                                    std::move(completion)));
}

void NfcReader::groupRead(unsigned long generation, DataGroupId group,
                          const ReadCompletion& completion, std::optional<ResponseAPDU> response,
                          std::optional<PassportReaderError> error) {
  if (isCurrentRead(generation)) {
    handleDataGroupRead(std::move(response), std::move(error), group, completion);
  }
}

void NfcReader::dropHeadGroup() {
  if (!dataGroupsToRead.empty()) dataGroupsToRead.erase(dataGroupsToRead.begin());
  elementReadAttempts = 0;
  planWithoutCOM();
}

void NfcReader::planWithoutCOM() {
  // Only a read of everything plans from COM; it has neither COM nor the SOD still to come.
  if (!readAllDatagroups || comRead_ || plannedWithoutCOM_) return;
  for (auto id : dataGroupsToRead) {
    if (id == DataGroupId::COM || id == DataGroupId::SOD) return;
  }
  plannedWithoutCOM_ = true;
  std::vector<DataGroupId> groups;
  if (auto sod = passport->dataGroupsRead.find(DataGroupId::SOD);
      sod != passport->dataGroupsRead.end()) {
    if (auto object = std::dynamic_pointer_cast<SOD>(sod->second)) {
      groups = object->dataGroupsListed();
    }
  }
  // Without a list the groups an identity check stands on; a chip that has them must give them.
  if (groups.empty()) groups = {DataGroupId::DG1, DataGroupId::DG2};
  for (auto id : groups) {
    if (skipSecureElements && (id == DataGroupId::DG3 || id == DataGroupId::DG4)) continue;
    if (std::find(dataGroupsToRead.begin(), dataGroupsToRead.end(), id) != dataGroupsToRead.end()) {
      continue;
    }
    dataGroupsToRead.push_back(id);
    listedGroups_.push_back(id);
  }
  Log::infoTrace([] { return std::string("No usable COM: reading the groups the SOD lists"); });
}

bool NfcReader::headGroupIsRequired(const PassportReaderError& error) const {
  if (dataGroupsToRead.empty()) return false;
  const DataGroupId group = dataGroupsToRead.front();
  const std::string text = error.message();
  if (group == DataGroupId::SOD) return text != "File not found";
  if (group != DataGroupId::DG1 && group != DataGroupId::DG2) return false;
  // A chip that lists the group and then says it is not there contradicts itself; one that
  // protects it keeps it from this reader, which is the chip's right.
  if (text == "Security status not satisfied") return false;
  if (text == "File not found") {
    return std::find(listedGroups_.begin(), listedGroups_.end(), group) != listedGroups_.end();
  }
  return true;
}

void NfcReader::giveUpHeadGroup(const PassportReaderError& error) {
  // Every group in the queue is one the caller asked for (the queue is the caller's list, or
  // all of COM's when the list was empty).
  if (!lostRequiredGroupError_ && headGroupIsRequired(error)) lostRequiredGroupError_ = error;
  dropHeadGroup();
}

std::span<const NfcReader::RetryRule> NfcReader::retryPolicy() {
  static constexpr RetryRule kRules[] = {
      {"Session invalidated", false, RetryAction::endRead},
      {"Class not supported", false, RetryAction::endRead},
      {"Tag connection lost", false, RetryAction::endRead},
      {"Security status not satisfied", false, RetryAction::skipGroup},
      {"File not found", false, RetryAction::skipGroup},
      {"SM data objects incorrect", false, RetryAction::accessControlAgain},
      {"Wrong length", true, RetryAction::smallerChunks},
      {"End of file", true, RetryAction::smallerChunks},
  };
  return kRules;
}

NfcReader::RetryAction NfcReader::retryActionFor(std::string_view errorText) {
  for (const auto& rule : retryPolicy()) {
    if (rule.prefix ? errorText.starts_with(rule.text) : errorText == rule.text) {
      return rule.action;
    }
  }
  return RetryAction::readAgain;
}

int NfcReader::chunkSizeAfter(std::string_view errorText, int current) {
  // A 6C xx only gets here when the command sent again with Le xx failed too (the tag reader
  // answers it itself): it is a length failure like any other.
  if (current > kReducedChunkSize) return kReducedChunkSize;
  // A chip that cannot even answer 160 bytes: halve until it can.
  if (errorText.starts_with("Wrong length")) {
    return std::min(current, std::max(kSmallestChunkSize, current / 2));
  }
  return current;
}

void NfcReader::rebuildQueue(const std::vector<std::string>& presentNames) {
  std::vector<DataGroupId> present;
  for (const auto& name : presentNames) present.push_back(DataGroupId::fromName(name));
  listedGroups_.insert(listedGroups_.end(), present.begin(), present.end());
  std::vector<DataGroupId> order{DataGroupId::COM};
  if (std::find(present.begin(), present.end(), DataGroupId::DG14) != present.end()) {
    order.push_back(DataGroupId::DG14);
    std::erase(present, DataGroupId::DG14);
  }
  order.push_back(DataGroupId::SOD);
  order.insert(order.end(), present.begin(), present.end());
  if (readAllDatagroups) {
    dataGroupsToRead = order;
  } else {
    std::vector<DataGroupId> filtered;
    for (auto id : order) {
      if (std::find(dataGroupsToRead.begin(), dataGroupsToRead.end(), id) !=
          dataGroupsToRead.end()) {
        filtered.push_back(id);
      }
    }
    dataGroupsToRead = std::move(filtered);
  }
  if (skipSecureElements) {
    std::erase(dataGroupsToRead, DataGroupId::DG3);
    std::erase(dataGroupsToRead, DataGroupId::DG4);
  }
}

void NfcReader::handleDataGroupRead(std::optional<ResponseAPDU> response,
                                    std::optional<PassportReaderError> error, DataGroupId group,
                                    ReadCompletion completion) {
  platform::assertOnQueue(queue_);
  updateAlertMessage(NFCViewDisplayMessage::readingDataGroupProgress(group, 100));
  if (response && !error) {
    std::shared_ptr<DataGroup> parsed;
    try {
      parsed = DataGroupParser::parseDataGroup(response->data);
    } catch (const std::exception& parseError) {
      // Also a file shorter than its own header: the group is given up, nothing is stored.
      Log::errorTrace([&] { return std::string("ERROR - ") + parseError.what(); });
      dropHeadGroup();
      readNextDataGroup(std::move(completion));
      return;
    }
    passport->addDataGroup(group, parsed);
    // Only EF.COM plans the read: a chip answering another file with a COM would otherwise
    // put that file back in the queue for ever.
    auto com = std::dynamic_pointer_cast<COM>(parsed);
    if (com && group == DataGroupId::COM) {
      comRead_ = true;
      rebuildQueue(com->dataGroupsPresent);
    }
    // The SOD's list binds the chip as COM's does.
    if (auto sod = std::dynamic_pointer_cast<SOD>(parsed); sod && group == DataGroupId::SOD) {
      const auto listed = sod->dataGroupsListed();
      listedGroups_.insert(listedGroups_.end(), listed.begin(), listed.end());
    }
    // After a COM read the rebuilt queue starts with COM again, which this takes off.
    dropHeadGroup();
    readNextDataGroup(std::move(completion));
    return;
  }

  const PassportReaderError failure = error ? *error : PassportReaderError::UnexpectedError();
  const std::string text = error ? error->message() : std::string("Unknown error");
  Log::errorTrace([&] { return "ERROR - " + text; });
  switch (retryActionFor(text)) {
    case RetryAction::endRead:
      dataGroupsToRead.clear();
      completion(failure);
      return;
    case RetryAction::skipGroup:
      // Left out, unless the read cannot do without it.
      giveUpHeadGroup(failure);
      completion(std::nullopt);
      return;
    case RetryAction::smallerChunks:
      if (tagReader) {
        tagReader->setMaxDataLengthToRead(
            chunkSizeAfter(text, tagReader->maxDataLengthToRead()));
      }
      [[fallthrough]];
    case RetryAction::accessControlAgain:
      // The chip has dropped secure messaging (69 88) or the chunk changed: access control runs
      // again, but a group that keeps failing this way is given up like any other.
      if (elementReadAttempts >= kMaxReadAttempts) giveUpHeadGroup(failure);
      completion(std::nullopt);
      return;
    case RetryAction::readAgain:
      if (elementReadAttempts >= kMaxReadAttempts) giveUpHeadGroup(failure);
      readNextDataGroup(std::move(completion));
      return;
  }
}

void NfcReader::finishReading(std::optional<PassportReaderError> error) {
  platform::assertOnQueue(queue_);
  if (!readerSession) return;
  if (!dataGroupsToRead.empty()) {
    startReading();
    return;
  }
  if (error) {
    invalidateSession(NFCViewDisplayMessage::error(*error), *error);
    return;
  }
  if (lostRequiredGroupError_) {
    const PassportReaderError lost = *lostRequiredGroupError_;
    invalidateSession(NFCViewDisplayMessage::error(lost), lost);
    return;
  }
  if (passport->dataGroupsRead.empty()) {
    // Every group was given up: nothing was read, which is not a successful read.
    invalidateSession(NFCViewDisplayMessage::error(PassportReaderError::DataGroupNotRead()),
                      PassportReaderError::DataGroupNotRead());
    return;
  }
  updateAlertMessage(NFCViewDisplayMessage::successfulRead());
  readerSession->invalidate();
  complete(passport, std::nullopt);
}

void NfcReader::tagReaderSession(const std::shared_ptr<platform::NFCTagReaderSession>& session,
                                 const NFCReaderError& error) {
  // Reports of a session from an earlier read belong to that read.
  platform::assertOnQueue(queue_);
  if (!session || session != readerSession) return;
  readerSession = nullptr;
  const bool userCanceled =
      error.code == NFCReaderError::readerSessionInvalidationErrorUserCanceled;
  if (userCanceled && shouldNotReportNextReaderSessionInvalidationErrorUserCanceled &&
      invalidatedSession_.lock() == session) {
    shouldNotReportNextReaderSessionInvalidationErrorUserCanceled = false;
    invalidatedSession_.reset();
    return;
  }
  complete(nullptr, userCanceled ? PassportReaderError::UserCanceled()
                                 : PassportReaderError::UnexpectedError());
}

}  // namespace ostrel
