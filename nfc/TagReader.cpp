#include "nfc/TagReader.hpp"

#include <algorithm>
#include <cstdio>
#include <map>

#include "nfc/ChipBytes.hpp"
#include "nfc/Log.hpp"
#include "platform/foundation/ByteCursor.hpp"
#include "platform/runtime/BindWeak.hpp"
#include "platform/runtime/DispatchQueue.hpp"

namespace ostrel {
namespace {

using platform::NFCISO7816APDU;

std::string hexByte(std::uint8_t b) {
  char text[3];
  std::snprintf(text, sizeof text, "%02X", b);
  return text;
}

// Bytes of the smallest big-endian form of `offset`, for the offset data object.
Bytes offsetBytes(int offset) {
  Bytes out;
  for (int shift = 24; shift >= 0; shift -= 8) {
    const auto b = static_cast<std::uint8_t>(offset >> shift);
    if (!out.empty() || b != 0 || shift == 8) out.push_back(b);
  }
  if (out.size() == 1) out.insert(out.begin(), 0x00);  // always at least two bytes
  return out;
}

std::size_t do53HeaderSize(int length) {
  return length < 0x80 ? 2 : (length < 0x100 ? 3 : 4);
}

}  // namespace

TagReader::TagReader(std::shared_ptr<platform::NFCISO7816Tag> tag) : tag_(std::move(tag)) {}

TagReader::Step TagReader::completionStep(Completion completion) {
  return [completion = std::move(completion)](Result result) {
    if (result) {
      completion(std::move(result).value(), std::nullopt);
    } else {
      completion(std::nullopt, result.error());
    }
  };
}

TagReader::Result TagReader::checkStatus(ResponseAPDU answer, std::uint8_t tagSw1,
                                         std::uint8_t tagSw2) {
  if (answer.sw1 == 0x90 && answer.sw2 == 0x00) return answer;
  if (answer.sw1 == 0x63 && answer.sw2 == 0x00) return PassportReaderError::InvalidMRZKey();
  return PassportReaderError::ResponseError(decodeStatusWords(answer.sw1, answer.sw2), tagSw1,
                                            tagSw2);
}

void TagReader::exchange(const NFCISO7816APDU& cmd, ExchangeStep next) {
  NFCISO7816APDU toSend = cmd;
  if (secureMessaging_) {
    auto protectedCmd = secureMessaging_->tryProtect(cmd);
    if (!protectedCmd) {
      next(PassportReaderError::UnableToProtectAPDU());
      return;
    }
    toSend = std::move(protectedCmd).value();
  }
  if (!tag_) {
    next(PassportReaderError::NoConnectedTag());
    return;
  }
  tag_->sendCommand(toSend, platform::bindWeak(weak_from_this(), &TagReader::received, next));
}

void TagReader::received(const ExchangeStep& next, Bytes data, std::uint8_t sw1, std::uint8_t sw2,
                         std::optional<platform::NFCReaderError> error) {
  if (error) {
    next(PassportReaderError::ResponseError(error->localizedDescription, sw1, sw2));
    return;
  }
  ResponseAPDU answer{std::move(data), sw1, sw2};
  if (secureMessaging_) {
    auto plain = secureMessaging_->tryUnprotect(answer);
    if (!plain) {
      next(PassportReaderError::UnableToUnprotectAPDU());
      return;
    }
    answer = std::move(plain).value();
  }
  next(Exchange{std::move(answer), sw1, sw2});
}

void TagReader::sendChecked(const NFCISO7816APDU& cmd, Step next) {
  // The protocol is a chain of completions on the session queue; nothing else touches the
  // secure-messaging counter.
  platform::assertOnQueue(tag_->queue());
  exchange(cmd, [next = std::move(next)](Outcome<Exchange, PassportReaderError> result) {
    if (!result) {
      next(result.error());
      return;
    }
    Exchange& e = result.value();
    next(checkStatus(std::move(e.answer), e.tagSw1, e.tagSw2));
  });
}

void TagReader::sendRead(const NFCISO7816APDU& cmd, Step next, bool mayAskExactLength) {
  exchange(cmd, [weakSelf = weak_from_this(), cmd, mayAskExactLength,
                 next = std::move(next)](Outcome<Exchange, PassportReaderError> result) {
    if (!result) {
      next(result.error());
      return;
    }
    Exchange& e = result.value();
    // 6C xx names the length the chip will answer to this one command: it is asked again with
    // that Le, once. The chunk size of later reads stays as it was.
    if (e.answer.sw1 == 0x6C && mayAskExactLength) {
      if (auto self = weakSelf.lock()) {
        const int exact = e.answer.sw2 == 0 ? 256 : e.answer.sw2;
        self->sendRead(NFCISO7816APDU(cmd.instructionClass(), cmd.instructionCode(),
                                      cmd.p1Parameter(), cmd.p2Parameter(), cmd.data(), exact),
                       std::move(next), false);
      }
      return;
    }
    // The file ended before Le bytes: what came is valid and the rest of the file.
    if (e.answer.sw1 == 0x62 && e.answer.sw2 == 0x82 && !e.answer.data.empty()) {
      next(std::move(e.answer));
      return;
    }
    next(checkStatus(std::move(e.answer), e.tagSw1, e.tagSw2));
  });
}

void TagReader::send(const NFCISO7816APDU& cmd, Completion completion) {
  sendChecked(cmd, completionStep(std::move(completion)));
}

void TagReader::selectFile(const Bytes& fileId, Completion completion) {
  Bytes raw{0x00, 0xA4, 0x02, 0x0C, 0x02};
  raw.insert(raw.end(), fileId.begin(), fileId.end());
  auto cmd = NFCISO7816APDU::fromBytes(raw);
  if (fileId.size() != 2 || !cmd) {
    completion(std::nullopt, PassportReaderError::InvalidDataPassed(
                                 "File identifier of " + std::to_string(fileId.size()) + " bytes"));
    return;
  }
  sendChecked(*cmd, platform::bindWeak(weak_from_this(), &TagReader::selected, fileId, true,
                                       completionStep(std::move(completion))));
}

void TagReader::selected(const Bytes& fileId, bool withoutAnswer, const Step& next,
                         Result result) {
  if (!result) {
    // Chips that know only the ISO/IEC 7816-4 default refuse "no answer data" (P2 0C) with
    // 6A 86 or 6A 87; asked for the FCI (P2 00) they select the file. The FCI is not needed.
    const PassportReaderError& error = result.error();
    if (withoutAnswer && error.kind() == PassportReaderError::Kind::ResponseError &&
        error.sw1() == 0x6A && (error.sw2() == 0x86 || error.sw2() == 0x87)) {
      sendChecked(NFCISO7816APDU(0x00, 0xA4, 0x02, 0x00, fileId, 256),
                  platform::bindWeak(weak_from_this(), &TagReader::selected, fileId, false, next));
      return;
    }
    next(std::move(result));
    return;
  }
  readWholeFile(next);
}

void TagReader::readFile(Completion completion) {
  readWholeFile(completionStep(std::move(completion)));
}

void TagReader::readWholeFile(Step next) {
  const auto cmd = *NFCISO7816APDU::fromBytes(Bytes{0x00, 0xB0, 0x00, 0x00, 0x00, 0x00, 0x04});
  sendRead(cmd, platform::bindWeak(weak_from_this(), &TagReader::lengthRead, std::move(next)));
}

void TagReader::lengthRead(const Step& next, Result result) {
  if (!result) {
    next(std::move(result));
    return;
  }
  header_ = std::move(result.value().data);
  // A length in three or four bytes (83, 84) does not fit the first four bytes: the rest of
  // the field comes first.
  if (header_.size() >= 2 && header_[1] >= 0x83 && header_[1] <= 0x84) {
    const std::size_t headerSize = 2 + (header_[1] - 0x80u);
    if (header_.size() < headerSize && header_.size() >= 4) {
      const int offset = static_cast<int>(header_.size());
      const int missing = static_cast<int>(headerSize - header_.size());
      sendRead(NFCISO7816APDU(0x00, 0xB0, 0x00, static_cast<std::uint8_t>(offset), {}, missing),
               platform::bindWeak(weak_from_this(), &TagReader::headerRestRead, next));
      return;
    }
  }
  headerComplete(next, result.value().sw1, result.value().sw2);
}

void TagReader::headerRestRead(const Step& next, Result result) {
  if (!result) {
    next(std::move(result));
    return;
  }
  const Bytes& rest = result.value().data;
  header_.insert(header_.end(), rest.begin(), rest.end());
  headerComplete(next, result.value().sw1, result.value().sw2);
}

void TagReader::headerComplete(const Step& next, std::uint8_t sw1, std::uint8_t sw2) {
  // The file must at least show its tag and a whole length field.
  platform::ByteCursor cursor(header_);
  const bool hasTag = cursor.readU8().has_value();
  const auto length = hasTag ? readAsn1Length(cursor.rest().first(
                                   std::min<std::size_t>(5, cursor.remaining())))
                             : std::nullopt;
  if (!length) {
    next(PassportReaderError::CannotDecodeASN1Length());
    return;
  }
  // Value bytes that came with the header are read again with the rest.
  const std::size_t headerSize = static_cast<std::size_t>(length->fieldSize) + 1;
  header_.resize(headerSize);
  if (length->length == 0) {
    next(ResponseAPDU{header_, sw1, sw2});
    return;
  }
  readChunks(length->length, static_cast<int>(headerSize), next);
}

void TagReader::readBinaryChunk(int remaining, int offset, Completion completion) {
  readChunks(remaining, offset, completionStep(std::move(completion)));
}

void TagReader::readChunks(int remaining, int offset, Step next) {
  // Never past the object's end: a file is often longer than the object it holds, and what
  // follows the object is not part of it.
  const int chunk = std::min(maxDataLengthToRead_, remaining);
  if (chunk < 1 || offset < 0) {
    next(PassportReaderError::InvalidDataPassed("Chunk of " + std::to_string(chunk) + " bytes"));
    return;
  }
  if (progress_) {
    const float percent =
        static_cast<float>(offset) / static_cast<float>(offset + remaining) * 100.0f;
    progress_(std::clamp(static_cast<int>(percent), 0, 100));
  }

  const bool odd = offset > 0x7FFF;
  NFCISO7816APDU cmd;
  if (!odd) {
    cmd = NFCISO7816APDU(0x00, 0xB0, static_cast<std::uint8_t>(offset >> 8),
                         static_cast<std::uint8_t>(offset), {}, chunk);
  } else {
    Bytes offsetObject{0x54};
    const Bytes value = offsetBytes(offset);
    offsetObject.push_back(static_cast<std::uint8_t>(value.size()));
    offsetObject.insert(offsetObject.end(), value.begin(), value.end());
    cmd = NFCISO7816APDU(0x00, 0xB1, 0x00, 0x00, std::move(offsetObject),
                         chunk + static_cast<int>(do53HeaderSize(chunk)));
  }
  sendRead(cmd, platform::bindWeak(weak_from_this(), &TagReader::chunkArrived, remaining, offset,
                                   odd, std::move(next)));
}

void TagReader::chunkArrived(int remaining, int offset, bool oddInstruction, const Step& next,
                             Result result) {
  if (!result) {
    next(std::move(result));
    return;
  }
  const ResponseAPDU& answer = result.value();
  ByteSpan received(answer.data);
  if (oddInstruction) {
    // The bytes come wrapped in DO'53'.
    platform::ByteCursor cursor(received);
    const auto object = cursor.readTlv(0x53);
    if (!object) {
      next(PassportReaderError::InvalidResponse());
      return;
    }
    received = object->value;
  }
  // A chip that keeps answering "success, no data" would have the read ask for the same
  // offset for ever.
  if (received.empty()) {
    next(PassportReaderError::InvalidResponse());
    return;
  }
  // A chip may answer more than asked (fill after the object, or B1's Le counted as file
  // bytes): the object ends where its length says, whatever comes after it.
  const int got = static_cast<int>(std::min<std::size_t>(received.size(),
                                                         static_cast<std::size_t>(remaining)));
  header_.insert(header_.end(), received.begin(), received.begin() + got);
  remaining -= got;
  if (remaining <= 0) {
    next(ResponseAPDU{header_, answer.sw1, answer.sw2});
    return;
  }
  // After an early end of file the file is shorter than its header says; asking on lets the
  // chip's next answer decide what the session does.
  readChunks(remaining, offset + got, next);
}

std::string TagReader::decodeStatusWords(std::uint8_t sw1, std::uint8_t sw2) {
  if (sw1 == 0x6C) {
    return "Wrong length Le: SW2 indicates the exact length - (exact length :" +
           std::to_string(sw2) + ")";
  }
  if (sw1 == 0x64) return "State of non-volatile memory unchanged (SW2=00, other values are RFU)";
  if (sw1 == 0x61) {
    return "SW2 indicates the number of response bytes still available - (" + std::to_string(sw2) +
           " bytes still available)";
  }
  static const std::map<std::pair<int, int>, const char*> table = {
      {{0x62, 0x00}, "No information given"},
      {{0x62, 0x81}, "Part of returned data may be corrupted"},
      {{0x62, 0x82}, "End of file/record reached before reading Le bytes"},
      {{0x62, 0x83}, "Selected file invalidated"},
      {{0x62, 0x84}, "FCI not formatted according to ISO7816-4 section 5.1.5"},
      {{0x63, 0x81}, "File filled up by the last write"},
      {{0x63, 0x82}, "Card Key not supported"},
      {{0x63, 0x83}, "Reader Key not supported"},
      {{0x63, 0x84}, "Plain transmission not supported"},
      {{0x63, 0x85}, "Secured Transmission not supported"},
      {{0x63, 0x86}, "Volatile memory not available"},
      {{0x63, 0x87}, "Non Volatile memory not available"},
      {{0x63, 0x88}, "Key number not valid"},
      {{0x63, 0x89}, "Key length is not correct"},
      {{0x63, 0x0C},
       "Counter provided by X (valued from 0 to 15) (exact meaning depending on the command)"},
      {{0x65, 0x00}, "No information given"},
      {{0x65, 0x81}, "Memory failure"},
      {{0x67, 0x00}, "Wrong length"},
      {{0x68, 0x00}, "No information given"},
      {{0x68, 0x81}, "Logical channel not supported"},
      {{0x68, 0x82}, "Secure messaging not supported"},
      {{0x68, 0x83}, "Last command of the chain expected"},
      {{0x68, 0x84}, "Command chaining not supported"},
      {{0x69, 0x00}, "No information given"},
      {{0x69, 0x81}, "Command incompatible with file structure"},
      {{0x69, 0x82}, "Security status not satisfied"},
      {{0x69, 0x83}, "Authentication method blocked"},
      {{0x69, 0x84}, "Referenced data invalidated"},
      {{0x69, 0x85}, "Conditions of use not satisfied"},
      {{0x69, 0x86}, "Command not allowed (no current EF)"},
      {{0x69, 0x87}, "Expected SM data objects missing"},
      {{0x69, 0x88}, "SM data objects incorrect"},
      {{0x6A, 0x00}, "No information given"},
      {{0x6A, 0x80}, "Incorrect parameters in the data field"},
      {{0x6A, 0x81}, "Function not supported"},
      {{0x6A, 0x82}, "File not found"},
      {{0x6A, 0x83}, "Record not found"},
      {{0x6A, 0x84}, "Not enough memory space in the file"},
      {{0x6A, 0x85}, "Lc inconsistent with TLV structure"},
      {{0x6A, 0x86}, "Incorrect parameters P1-P2"},
      {{0x6A, 0x87}, "Lc inconsistent with P1-P2"},
      {{0x6A, 0x88}, "Referenced data not found"},
      {{0x6B, 0x00}, "Wrong parameter(s) P1-P2]"},
      {{0x6D, 0x00}, "Instruction code not supported or invalid"},
      {{0x6E, 0x00}, "Class not supported"},
      {{0x6F, 0x00}, "No precise diagnosis"},
      {{0x90, 0x00}, "Success"},
  };
  if (auto it = table.find({sw1, sw2}); it != table.end()) return it->second;
  return "Unknown error - sw1: 0x" + hexByte(sw1) + ", sw2 - 0x" + hexByte(sw2) + " ";
}

}  // namespace ostrel
