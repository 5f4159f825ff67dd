#include "platform/nfc/NFCTagReaderSession.hpp"

#include <algorithm>

#include "platform/crypto/Crypto.hpp"
#include "platform/runtime/BindWeak.hpp"
#include "platform/runtime/DispatchQueue.hpp"
#include "platform/runtime/Runtime.hpp"

namespace ostrel::platform {

namespace {

std::mutex& identifiersMutex() {
  static std::mutex mutex;
  return mutex;
}

std::vector<std::string>& selectIdentifiers() {
  // The eMRTD application, which is what the host's entitlement lists.
  static std::vector<std::string> identifiers{"A0000002471001"};
  return identifiers;
}

}  // namespace

NFCTagReaderSession::NFCTagReaderSession(NFCPollingOption pollingOption,
                                         std::weak_ptr<NFCTagReaderSessionDelegate> delegate,
                                         std::shared_ptr<DispatchQueue> queue)
    : pollingOption_(pollingOption),
      delegate_(std::move(delegate)),
      queue_(queue ? std::move(queue)
                   : Runtime::current().makeSerialQueue("com.ostrel.nfc.session")),
      backend_(NFCReaderBackend::current()) {}

NFCTagReaderSession::~NFCTagReaderSession() {
  std::shared_ptr<NFCTagSource> source;
  {
    std::lock_guard lock(mutex_);
    source = std::move(source_);
    for (auto& tag : tags_) tag->invalidate();
  }
  if (source) source->stop();
}

std::vector<std::string> NFCTagReaderSession::iso7816SelectIdentifiers() {
  std::lock_guard lock(identifiersMutex());
  return selectIdentifiers();
}

void NFCTagReaderSession::setIso7816SelectIdentifiers(std::vector<std::string> identifiers) {
  std::lock_guard lock(identifiersMutex());
  selectIdentifiers() = std::move(identifiers);
}

std::string NFCTagReaderSession::alertMessage() const {
  std::lock_guard lock(mutex_);
  return alertMessage_;
}

void NFCTagReaderSession::setAlertMessage(std::string message) {
  std::lock_guard lock(mutex_);
  alertHistory_.push_back(message);
  alertMessage_ = std::move(message);
}

std::vector<std::string> NFCTagReaderSession::alertMessageHistory() const {
  std::lock_guard lock(mutex_);
  return alertHistory_;
}

std::optional<std::string> NFCTagReaderSession::invalidationErrorMessage() const {
  std::lock_guard lock(mutex_);
  return invalidationErrorMessage_;
}

bool NFCTagReaderSession::isReady() const {
  std::lock_guard lock(mutex_);
  return state_ == State::polling || state_ == State::detected;
}

bool NFCTagReaderSession::isInvalidated() const {
  std::lock_guard lock(mutex_);
  return state_ == State::ended;
}

void NFCTagReaderSession::begin() {
  std::shared_ptr<NFCTagSource> source;
  {
    std::lock_guard lock(mutex_);
    if (state_ != State::idle) return;
    state_ = State::polling;
    source_ = backend_->makeTagSource(queue_);
    source = source_;
  }
  std::weak_ptr<NFCTagReaderSession> weak = weak_from_this();
  auto queue = queue_;
  NFCTagSource::Events events;
  events.detected = [weak, queue](std::vector<std::shared_ptr<NFCTag>> tags) {
    queue->async(bindWeak(weak, &NFCTagReaderSession::handleDetected, std::move(tags)));
  };
  events.failed = [weak, queue](NFCReaderError::Code code) {
    queue->async(bindWeak(weak, &NFCTagReaderSession::end, code, true,
                          std::optional<std::string>()));
  };
  queue_->asyncAfter(kSessionTimeLimit,
                     bindWeak(weak, &NFCTagReaderSession::end,
                              NFCReaderError::readerSessionInvalidationErrorSessionTimeout, true,
                              std::optional<std::string>()));
  if (source) source->start(std::move(events));
}

void NFCTagReaderSession::handleDetected(std::vector<std::shared_ptr<NFCTag>> candidates) {
  {
    std::lock_guard lock(mutex_);
    // The phone stops polling once it has reported tags; later arrivals are not seen.
    if (state_ != State::polling) return;
  }
  if (candidates.empty()) return;
  refusedSelectForm_.clear();
  selectApplication(std::move(candidates), 0, 0, {});
}

void NFCTagReaderSession::selectApplication(std::vector<std::shared_ptr<NFCTag>> candidates,
                                            std::size_t index, std::size_t aidIndex,
                                            std::vector<std::shared_ptr<NFCTag>> accepted) {
  if (isInvalidated()) return;
  const auto identifiers = iso7816SelectIdentifiers();
  while (index < candidates.size()) {
    auto iso = std::dynamic_pointer_cast<NFCISO7816Tag>(candidates[index]);
    if (!iso) {
      accepted.push_back(candidates[index]);
      ++index;
      aidIndex = 0;
      continue;
    }
    if (aidIndex >= identifiers.size()) {
      // No application of the list answered. A tag that refused only the form of the SELECT is
      // reported without a selected application, so that the application learns that the chip
      // is there but unusable; any other is not reported, as the phone does.
      if (refusedSelectForm_.count(iso.get())) accepted.push_back(candidates[index]);
      ++index;
      aidIndex = 0;
      continue;
    }
    sendApplicationSelect(std::move(candidates), index, aidIndex, std::move(accepted), 0x0C);
    return;
  }
  if (!accepted.empty()) reportDetected(std::move(accepted));
}

void NFCTagReaderSession::sendApplicationSelect(std::vector<std::shared_ptr<NFCTag>> candidates,
                                                std::size_t index, std::size_t aidIndex,
                                                std::vector<std::shared_ptr<NFCTag>> accepted,
                                                std::uint8_t p2) {
  const auto identifiers = iso7816SelectIdentifiers();
  auto iso = std::static_pointer_cast<NFCISO7816Tag>(candidates[index]);
  const std::string aidText = aidIndex < identifiers.size() ? identifiers[aidIndex] : std::string();
  auto aid = crypto::bytesFromHex(aidText).value_or(Bytes{});
  // P2 0C asks for no answer data; 00 asks for the FCI, which is then ignored.
  NFCISO7816APDU select(0x00, 0xA4, 0x04, p2, aid,
                        p2 == 0x0C ? NFCISO7816APDU::kNoExpectedLength : 256);
  iso->sendCommand(select, bindWeak(weak_from_this(), &NFCTagReaderSession::applicationAnswered,
                                    std::move(candidates), index, aidIndex, aidText,
                                    std::move(accepted), p2));
}

void NFCTagReaderSession::applicationAnswered(
    const std::vector<std::shared_ptr<NFCTag>>& candidates, std::size_t index,
    std::size_t aidIndex, const std::string& aidText,
    const std::vector<std::shared_ptr<NFCTag>>& accepted, std::uint8_t p2, Bytes,
    std::uint8_t sw1, std::uint8_t sw2, std::optional<NFCReaderError> error) {
  if (isInvalidated()) return;
  // Chips that know only the ISO/IEC 7816-4 default refuse "no answer data" with 6A 86 or
  // 6A 87 but select the application when asked for its FCI.
  if (!error && p2 == 0x0C && sw1 == 0x6A && (sw2 == 0x86 || sw2 == 0x87)) {
    refusedSelectForm_.insert(candidates[index].get());
    sendApplicationSelect(candidates, index, aidIndex, accepted, 0x00);
    return;
  }
  if (!error && sw1 == 0x90 && sw2 == 0x00) {
    auto tag = std::static_pointer_cast<NFCISO7816Tag>(candidates[index]);
    tag->setInitialSelectedAID(aidText);
    auto withTag = accepted;
    withTag.push_back(candidates[index]);
    selectApplication(candidates, index + 1, 0, std::move(withTag));
  } else {
    selectApplication(candidates, index, aidIndex + 1, accepted);
  }
}

void NFCTagReaderSession::reportDetected(std::vector<std::shared_ptr<NFCTag>> tags) {
  {
    std::lock_guard lock(mutex_);
    if (state_ != State::polling) return;
    state_ = State::detected;
    tags_ = tags;
  }
  // Runs on the session queue already (the end of the discovery chain), never inside a call
  // the application made.
  if (auto delegate = delegate_.lock()) delegate->tagReaderSession(shared_from_this(), tags);
}

void NFCTagReaderSession::connect(
    const std::shared_ptr<NFCTag>& tag,
    std::function<void(std::optional<NFCReaderError>)> completionHandler) {
  std::optional<NFCReaderError> refusal;
  std::shared_ptr<NFCTagSource> source;
  {
    std::lock_guard lock(mutex_);
    if (state_ == State::ended) {
      refusal = NFCReaderError::make(NFCReaderError::readerTransceiveErrorSessionInvalidated);
    } else if (!tag || std::find(tags_.begin(), tags_.end(), tag) == tags_.end()) {
      refusal = NFCReaderError::make(NFCReaderError::readerTransceiveErrorTagNotConnected);
    } else {
      source = source_;
    }
  }
  auto queue = queue_;
  if (refusal || !source) {
    if (!refusal) {
      refusal = NFCReaderError::make(NFCReaderError::readerTransceiveErrorSessionInvalidated);
    }
    queue->async([refusal, completionHandler = std::move(completionHandler)] {
      if (completionHandler) completionHandler(refusal);
    });
    return;
  }
  std::weak_ptr<NFCTagReaderSession> weak = weak_from_this();
  source->connect(tag, [weak, queue, completionHandler = std::move(completionHandler)](
                           std::optional<NFCReaderError> error) mutable {
    queue->async(bindWeak(weak, &NFCTagReaderSession::connectFinished,
                          std::move(completionHandler), error));
  });
}

void NFCTagReaderSession::connectFinished(
    const std::function<void(std::optional<NFCReaderError>)>& completionHandler,
    std::optional<NFCReaderError> error) {
  if (!error && isInvalidated()) {
    error = NFCReaderError::make(NFCReaderError::readerTransceiveErrorSessionInvalidated);
  }
  if (completionHandler) completionHandler(error);
}

void NFCTagReaderSession::invalidate() {
  end(NFCReaderError::readerSessionInvalidationErrorUserCanceled,
      backend_->reportsApplicationInvalidation(), std::nullopt);
}

void NFCTagReaderSession::invalidate(std::string errorMessage) {
  end(NFCReaderError::readerSessionInvalidationErrorUserCanceled,
      backend_->reportsApplicationInvalidation(), std::move(errorMessage));
}

void NFCTagReaderSession::cancelByUser() {
  end(NFCReaderError::readerSessionInvalidationErrorUserCanceled, true, std::nullopt);
}

void NFCTagReaderSession::end(NFCReaderError::Code code, bool report,
                              std::optional<std::string> errorMessage) {
  std::shared_ptr<NFCTagSource> source;
  std::vector<std::shared_ptr<NFCTag>> tags;
  {
    std::lock_guard lock(mutex_);
    if (state_ == State::ended) return;
    state_ = State::ended;
    if (errorMessage) invalidationErrorMessage_ = std::move(errorMessage);
    source = std::move(source_);
    tags = tags_;
  }
  for (auto& tag : tags) tag->invalidate();
  if (source) source->stop();
  if (!report) return;
  // The platform keeps an ended session alive until its end is reported.
  auto self = shared_from_this();
  auto delegate = delegate_;
  queue_->async([self, delegate, code] {
    if (auto target = delegate.lock()) target->tagReaderSession(self, NFCReaderError::make(code));
  });
}

}  // namespace ostrel::platform
