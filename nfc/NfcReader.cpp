#include "nfc/NfcReader.hpp"

#include <algorithm>

#include "nfc/COM.hpp"
#include "nfc/DataGroupParser.hpp"
#include "platform/runtime/Application.hpp"

namespace ostrel {

using platform::NFCReaderError;

namespace {

bool startsWith(const std::string& text, std::string_view prefix) {
  return text.rfind(prefix, 0) == 0;
}

}  // namespace

NfcReader::NfcReader(int logLevel, std::optional<std::string> masterListURL)
    : masterListURL(std::move(masterListURL)) {
  Log::setLogLevel(logLevel);
}

std::string NfcReader::alertText(const NFCViewDisplayMessage& message) const {
  if (nfcViewDisplayMessageHandler) {
    if (auto text = nfcViewDisplayMessageHandler(message)) return *text;
  }
  return message.text();
}

void NfcReader::updateAlertMessage(const NFCViewDisplayMessage& message) {
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
  // A session still open from an earlier read belongs to that read; its reports are ignored
  // from here on.
  if (readerSession) {
    auto previous = std::move(readerSession);
    readerSession = nullptr;
    previous->invalidate();
  }
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
      platform::NFCPollingOption::iso14443, weak_from_this(), nullptr);
  updateAlertMessage(NFCViewDisplayMessage::requestPresentPassport());
  readerSession->begin();
}

void NfcReader::tagReaderSession(const std::shared_ptr<platform::NFCTagReaderSession>& session,
                                 const std::vector<std::shared_ptr<platform::NFCTag>>& tags) {
  if (!session || session != readerSession) return;
  if (tags.size() > 1) {
    invalidateSession(NFCViewDisplayMessage::error(PassportReaderError::MoreThanOneTagFound()),
                      PassportReaderError::MoreThanOneTagFound());
    return;
  }
  auto tag = tags.empty() ? nullptr : std::dynamic_pointer_cast<platform::NFCISO7816Tag>(tags[0]);
  if (!tag) {
    // Also an empty list, which the platform never sends: ending is better than waiting.
    invalidateSession(NFCViewDisplayMessage::error(PassportReaderError::TagNotValid()),
                      PassportReaderError::TagNotValid());
    return;
  }
  platform::Application::shared().recordFeedback("vibrate");
  std::weak_ptr<NfcReader> weak = weak_from_this();
  const auto generation = readGeneration_;
  session->connect(tag, [weak, generation, tag](std::optional<NFCReaderError> error) {
    auto self = weak.lock();
    if (!self || !self->isCurrentRead(generation)) return;
    self->connected(tag, std::move(error));
  });
}

void NfcReader::connected(const std::shared_ptr<platform::NFCISO7816Tag>& tag,
                          std::optional<NFCReaderError> error) {
  if (error) {
    Log::errorTrace([&] { return "ERROR - " + error->localizedDescription; });
    invalidateSession(NFCViewDisplayMessage::error(PassportReaderError::ConnectionError()),
                      PassportReaderError::ConnectionError());
    return;
  }
  updateAlertMessage(NFCViewDisplayMessage::authenticatingWithPassport(0));
  tagReader = std::make_shared<TagReader>(tag);
  if (dataAmountToReadOverride) tagReader->setMaxDataLengthToRead(*dataAmountToReadOverride);
  std::weak_ptr<NfcReader> weak = weak_from_this();
  const auto generation = readGeneration_;
  tagReader->setProgress([weak, generation](int percent) {
    auto self = weak.lock();
    if (self && self->isCurrentRead(generation)) self->progress(percent);
  });
  startReading();
}

void NfcReader::progress(int percent) {
  if (currentlyReadingDataGroup) {
    updateAlertMessage(
        NFCViewDisplayMessage::readingDataGroupProgress(*currentlyReadingDataGroup, percent));
  } else {
    updateAlertMessage(NFCViewDisplayMessage::authenticatingWithPassport(percent));
  }
}

void NfcReader::startReading() {
  // The attempt count is not reset here: it belongs to the group at the head of the queue and
  // must survive the access-control restarts that 69 88 and a smaller chunk size cause, or a
  // group failing that way would be read again until the session time limit.
  currentlyReadingDataGroup.reset();
  startAccessControl();
}

void NfcReader::startAccessControl() {
  if (!tagReader) {
    handleAccessControlResult(PassportReaderError::NoConnectedTag());
    return;
  }
  Log::infoTrace([] { return std::string("Starting Basic Access Control (BAC)"); });
  bacHandler = std::make_shared<BACHandler>(tagReader);
  std::weak_ptr<NfcReader> weak = weak_from_this();
  const auto generation = readGeneration_;
  bacHandler->runAccessControl(mrzKey,
                               [weak, generation](std::optional<PassportReaderError> error) {
                                 auto self = weak.lock();
                                 if (!self || !self->isCurrentRead(generation)) return;
                                 self->bacHandler = nullptr;
                                 self->handleAccessControlResult(std::move(error));
                               });
}

void NfcReader::handleAccessControlResult(std::optional<PassportReaderError> error) {
  if (error) {
    Log::infoTrace([] { return std::string("BAC Failed"); });
    passport->BACStatus = PassportAuthenticationStatus::failed;
    invalidateSession(NFCViewDisplayMessage::error(*error), *error);
    return;
  }
  Log::infoTrace([] { return std::string("BAC Successful"); });
  passport->BACStatus = PassportAuthenticationStatus::success;
  std::weak_ptr<NfcReader> weak = weak_from_this();
  const auto generation = readGeneration_;
  readNextDataGroup([weak, generation](std::optional<PassportReaderError> readError) {
    auto self = weak.lock();
    if (!self || !self->isCurrentRead(generation)) return;
    self->finishReading(std::move(readError));
  });
}

void NfcReader::readNextDataGroup(ReadCompletion completion) {
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
  std::weak_ptr<NfcReader> weak = weak_from_this();
  const auto generation = readGeneration_;
  tagReader->selectFile(*fileId, [weak, generation, group, completion = std::move(completion)](
                                     std::optional<ResponseAPDU> response,
                                     std::optional<PassportReaderError> error) mutable {
    auto self = weak.lock();
    if (!self || !self->isCurrentRead(generation)) return;
    self->handleDataGroupRead(std::move(response), std::move(error), group, std::move(completion));
  });
}

void NfcReader::dropHeadGroup() {
  if (!dataGroupsToRead.empty()) dataGroupsToRead.erase(dataGroupsToRead.begin());
  elementReadAttempts = 0;
}

void NfcReader::rebuildQueue(const std::vector<std::string>& presentNames) {
  std::vector<DataGroupId> present;
  for (const auto& name : presentNames) present.push_back(DataGroupId::fromName(name));
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
    if (com && group == DataGroupId::COM) rebuildQueue(com->dataGroupsPresent);
    // After a COM read the rebuilt queue starts with COM again, which this takes off.
    dropHeadGroup();
    readNextDataGroup(std::move(completion));
    return;
  }

  const std::string text = error ? error->message() : std::string("Unknown error");
  Log::errorTrace([&] { return "ERROR - " + text; });
  if (text == "Session invalidated" || text == "Class not supported" ||
      text == "Tag connection lost") {
    dataGroupsToRead.clear();
    completion(error ? error : PassportReaderError::UnexpectedError());
    return;
  }
  if (text == "Security status not satisfied" || text == "File not found") {
    dropHeadGroup();
    completion(std::nullopt);
    return;
  }
  if (text == "SM data objects incorrect" || startsWith(text, "Wrong length") ||
      startsWith(text, "End of file")) {
    if (text != "SM data objects incorrect" && tagReader &&
        tagReader->maxDataLengthToRead() > kReducedChunkSize) {
      tagReader->setMaxDataLengthToRead(kReducedChunkSize);
    }
    // The chip has dropped secure messaging (69 88) or the chunk changed: access control runs
    // again, but a group that keeps failing this way is given up like any other.
    if (elementReadAttempts >= kMaxReadAttempts) dropHeadGroup();
    completion(std::nullopt);
    return;
  }
  if (elementReadAttempts >= kMaxReadAttempts) dropHeadGroup();
  readNextDataGroup(std::move(completion));
}

void NfcReader::finishReading(std::optional<PassportReaderError> error) {
  if (!readerSession) return;
  if (!dataGroupsToRead.empty()) {
    startReading();
    return;
  }
  if (error) {
    invalidateSession(NFCViewDisplayMessage::error(*error), *error);
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
