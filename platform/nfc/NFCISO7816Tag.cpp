#include "platform/nfc/NFCISO7816Tag.hpp"

#include "platform/runtime/BindWeak.hpp"
#include "platform/runtime/DispatchQueue.hpp"

namespace ostrel::platform {

bool NFCTag::isAvailable() const {
  return !isInvalidated();
}

void NFCTag::invalidate() {
  std::lock_guard lock(mutex_);
  invalidated_ = true;
}

bool NFCTag::isInvalidated() const {
  std::lock_guard lock(mutex_);
  return invalidated_;
}

NFCISO7816Tag::NFCISO7816Tag(std::shared_ptr<DispatchQueue> queue)
    : NFCTag(NFCTagType::iso7816Compatible), queue_(std::move(queue)) {}

void NFCISO7816Tag::setQueue(std::shared_ptr<DispatchQueue> queue) {
  std::lock_guard lock(mutex_);
  queue_ = std::move(queue);
}

std::shared_ptr<DispatchQueue> NFCISO7816Tag::queue() const {
  std::lock_guard lock(mutex_);
  return queue_;
}

void NFCISO7816Tag::setTranscriptHook(TranscriptHook hook) {
  std::lock_guard lock(mutex_);
  transcriptHook_ = std::move(hook);
}

void NFCISO7816Tag::sendCommand(const NFCISO7816APDU& apdu, Completion completion) {
  Bytes command = apdu.toBytes();
  std::optional<NFCReaderError::Code> refusal;
  {
    std::lock_guard lock(mutex_);
    if (invalidated_) {
      refusal = NFCReaderError::readerTransceiveErrorSessionInvalidated;
    } else if (outstanding_) {
      refusal = NFCReaderError::readerTransceiveErrorTagResponseError;
    } else if (!apdu.isValid()) {
      refusal = NFCReaderError::readerErrorInvalidParameterLength;
    } else {
      outstanding_ = true;
    }
  }
  if (refusal) {
    deliver(command, NFCTransmission::failure(*refusal), std::move(completion));
    return;
  }
  transmit(command,
           bindWeak(weakSelf(), &NFCISO7816Tag::transmitted, command, std::move(completion)));
}

std::weak_ptr<NFCISO7816Tag> NFCISO7816Tag::weakSelf() {
  return std::static_pointer_cast<NFCISO7816Tag>(weak_from_this().lock());
}

void NFCISO7816Tag::transmitted(const Bytes& command, Completion& completion,
                                NFCTransmission response) {
  {
    std::lock_guard lock(mutex_);
    outstanding_ = false;
    // The session may have ended while the card was answering.
    if (invalidated_ && !response.error) {
      response = NFCTransmission::failure(NFCReaderError::readerTransceiveErrorSessionInvalidated);
    }
  }
  deliver(command, std::move(response), std::move(completion));
}

void NFCISO7816Tag::deliver(const Bytes& command, NFCTransmission response, Completion completion) {
  auto target = queue();
  if (!target) return;
  target->async(bindWeak(weakSelf(), &NFCISO7816Tag::delivered, command, std::move(response),
                         std::move(completion)));
}

void NFCISO7816Tag::delivered(const Bytes& command, const NFCTransmission& response,
                              const Completion& completion) {
  TranscriptHook hook;
  {
    std::lock_guard lock(mutex_);
    hook = transcriptHook_;
  }
  if (hook) hook(NFCTranscriptEntry{command, response});
  if (completion) completion(response.data, response.sw1, response.sw2, response.error);
}

}  // namespace ostrel::platform
