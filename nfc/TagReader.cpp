#include "nfc/TagReader.hpp"

#include <algorithm>
#include <cstdio>
#include <map>

#include "nfc/ChipBytes.hpp"
#include "nfc/Log.hpp"

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

void TagReader::send(const NFCISO7816APDU& cmd, Completion completion) {
  NFCISO7816APDU toSend = cmd;
  if (secureMessaging_) {
    try {
      toSend = secureMessaging_->protect(cmd);
    } catch (const std::exception&) {
      completion(std::nullopt, PassportReaderError::UnableToProtectAPDU());
      return;
    }
  }
  if (!tag_) {
    completion(std::nullopt, PassportReaderError::NoConnectedTag());
    return;
  }
  std::weak_ptr<TagReader> weak = weak_from_this();
  tag_->sendCommand(toSend, [weak, completion = std::move(completion)](
                                Bytes data, std::uint8_t sw1, std::uint8_t sw2,
                                std::optional<platform::NFCReaderError> error) {
    auto self = weak.lock();
    if (!self) return;
    if (error) {
      completion(std::nullopt,
                 PassportReaderError::ResponseError(error->localizedDescription, sw1, sw2));
      return;
    }
    ResponseAPDU answer{std::move(data), sw1, sw2};
    if (self->secureMessaging_) {
      try {
        answer = self->secureMessaging_->unprotect(answer);
      } catch (const std::exception&) {
        completion(std::nullopt, PassportReaderError::UnableToUnprotectAPDU());
        return;
      }
    }
    if (answer.sw1 == 0x90 && answer.sw2 == 0x00) {
      completion(std::move(answer), std::nullopt);
    } else if (answer.sw1 == 0x63 && answer.sw2 == 0x00) {
      completion(std::nullopt, PassportReaderError::InvalidMRZKey());
    } else {
      completion(std::nullopt, PassportReaderError::ResponseError(
                                   decodeStatusWords(answer.sw1, answer.sw2), sw1, sw2));
    }
  });
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
  std::weak_ptr<TagReader> weak = weak_from_this();
  send(*cmd, [weak, completion = std::move(completion)](std::optional<ResponseAPDU>,
                                                        std::optional<PassportReaderError> error) {
    auto self = weak.lock();
    if (!self) return;
    if (error) {
      completion(std::nullopt, std::move(error));
      return;
    }
    self->readFile(completion);
  });
}

void TagReader::readFile(Completion completion) {
  const auto cmd = *NFCISO7816APDU::fromBytes(Bytes{0x00, 0xB0, 0x00, 0x00, 0x00, 0x00, 0x04});
  std::weak_ptr<TagReader> weak = weak_from_this();
  send(cmd, [weak, completion = std::move(completion)](std::optional<ResponseAPDU> answer,
                                                       std::optional<PassportReaderError> error) {
    auto self = weak.lock();
    if (!self) return;
    if (error) {
      completion(std::nullopt, std::move(error));
      return;
    }
    // The file must at least show its tag and a whole length field.
    const Bytes& data = answer->data;
    int length = 0;
    int fieldSize = 0;
    try {
      if (data.size() < 2) throw PassportReaderError::CannotDecodeASN1Length();
      const ByteSpan window = ByteSpan(data).subspan(1, std::min<std::size_t>(3, data.size() - 1));
      std::tie(length, fieldSize) = decodeAsn1Length(window);
    } catch (const PassportReaderError& e) {
      completion(std::nullopt, e);
      return;
    }
    const std::size_t headerSize = static_cast<std::size_t>(fieldSize) + 1;
    self->header_.assign(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(headerSize));
    if (length == 0) {
      completion(ResponseAPDU{self->header_, answer->sw1, answer->sw2}, std::nullopt);
      return;
    }
    self->readBinaryChunk(length, static_cast<int>(headerSize), completion);
  });
}

void TagReader::readBinaryChunk(int remaining, int offset, Completion completion) {
  const int chunk = maxDataLengthToRead_ == 256 ? 256 : std::min(maxDataLengthToRead_, remaining);
  if (chunk < 1 || offset < 0) {
    completion(std::nullopt, PassportReaderError::InvalidDataPassed(
                                 "Chunk of " + std::to_string(chunk) + " bytes"));
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
  std::weak_ptr<TagReader> weak = weak_from_this();
  send(cmd, [weak, remaining, offset, odd, completion = std::move(completion)](
                std::optional<ResponseAPDU> answer, std::optional<PassportReaderError> error) {
    auto self = weak.lock();
    if (!self) return;
    if (error) {
      completion(std::nullopt, std::move(error));
      return;
    }
    self->finishChunk(remaining, offset, odd, std::move(*answer), completion);
  });
}

void TagReader::finishChunk(int remaining, int offset, bool oddInstruction, ResponseAPDU answer,
                            const Completion& completion) {
  Bytes received = std::move(answer.data);
  if (oddInstruction) {
    // The bytes come wrapped in DO'53'.
    try {
      if (received.size() < 2 || received[0] != 0x53) throw PassportReaderError::InvalidResponse();
      const auto [length, fieldSize] = decodeAsn1Length(ByteSpan(received).subspan(1));
      const std::size_t start = 1 + static_cast<std::size_t>(fieldSize);
      if (start + static_cast<std::size_t>(length) > received.size()) {
        throw PassportReaderError::InvalidResponse();
      }
      received = Bytes(received.begin() + static_cast<std::ptrdiff_t>(start),
                       received.begin() + static_cast<std::ptrdiff_t>(start + length));
    } catch (const PassportReaderError&) {
      completion(std::nullopt, PassportReaderError::InvalidResponse());
      return;
    }
  }
  // A chip that keeps answering "success, no data" would have the read ask for the same
  // offset for ever.
  if (received.empty()) {
    completion(std::nullopt, PassportReaderError::InvalidResponse());
    return;
  }
  header_.insert(header_.end(), received.begin(), received.end());
  const int got = static_cast<int>(received.size());
  remaining -= got;
  if (remaining <= 0) {
    completion(ResponseAPDU{header_, answer.sw1, answer.sw2}, std::nullopt);
    return;
  }
  readBinaryChunk(remaining, offset + got, completion);
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
