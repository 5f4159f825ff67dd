#include "testing/SimulatedChip.hpp"

#include <algorithm>

#include "nfc/ChipBytes.hpp"
#include "nfc/NFCPassportModel.hpp"
#include "nfc/SecureMessagingSessionKeyGenerator.hpp"
#include "platform/crypto/Crypto.hpp"
#include "platform/nfc/NFCISO7816APDU.hpp"
#include "testing/ChipFiles.hpp"
#include "testing/SamplePerson.hpp"

namespace ostrel::testing {
namespace {

const Bytes kZeroIV(8, 0);

void append(Bytes& to, const Bytes& from) {
  to.insert(to.end(), from.begin(), from.end());
}

void increment(Bytes& ssc) {
  for (std::size_t i = ssc.size(); i-- > 0;) {
    if (++ssc[i] != 0) break;
  }
}

Bytes subBytes(const Bytes& b, std::size_t from, std::size_t to) {
  return Bytes(b.begin() + static_cast<std::ptrdiff_t>(from),
               b.begin() + static_cast<std::ptrdiff_t>(to));
}

// A data object at `p` with a one-, two- or three-byte length; nothing when it runs past.
std::optional<std::pair<Bytes, Bytes>> readObject(const Bytes& b, std::size_t& p,
                                                  std::uint8_t tag) {
  if (p >= b.size() || b[p] != tag) return std::nullopt;
  try {
    const auto [length, fieldSize] = decodeAsn1Length(ByteSpan(b).subspan(p + 1));
    const std::size_t start = p + 1 + static_cast<std::size_t>(fieldSize);
    const std::size_t end = start + static_cast<std::size_t>(length);
    if (end > b.size()) return std::nullopt;
    auto whole = subBytes(b, p, end);
    auto value = subBytes(b, start, end);
    p = end;
    return std::make_pair(std::move(whole), std::move(value));
  } catch (...) {
    return std::nullopt;
  }
}

}  // namespace

const Bytes SimulatedChip::kEMRTDApplicationID = {0xA0, 0x00, 0x00, 0x02, 0x47, 0x10, 0x01};

SimulatedChip::SimulatedChip(std::string documentNumber, std::string dateOfBirth,
                             std::string dateOfExpiry)
    : documentNumber_(std::move(documentNumber)),
      dateOfBirth_(std::move(dateOfBirth)),
      dateOfExpiry_(std::move(dateOfExpiry)) {}

std::shared_ptr<SimulatedChip> SimulatedChip::icaoExample() {
  auto chip = std::make_shared<SimulatedChip>("L898902C", "690806", "940623");
  chip->challenge = *platform::crypto::bytesFromHex("4608F91988702212");
  chip->kICC = *platform::crypto::bytesFromHex("0B4F80323EB3191CB04970CB4052790B");
  chip->setFile(0x011E,
                *platform::crypto::bytesFromHex("60145F0104303130365F36063034303030305C026175"));
  chip->setFile(0x0101, ChipFiles::dg1(joinedZone(kTD3PassportEarlier)));
  chip->setFile(0x0102, ChipFiles::dg2(ChipFiles::jpegJFIF()));
  return chip;
}

std::shared_ptr<SimulatedChip> SimulatedChip::passport() {
  const SamplePerson& person = samplePerson();
  auto chip = std::make_shared<SimulatedChip>(person.passportNumber, person.birthMRZ(),
                                              person.passportExpiryMRZ());
  chip->setFile(0x011E, ChipFiles::com({0x61, 0x75, 0x63, 0x76, 0x6B, 0x6C, 0x6D, 0x6E, 0x6F}));
  chip->setFile(0x0101, ChipFiles::dg1(joinedZone(person.td3Zone())));
  chip->setFile(0x0102, ChipFiles::dg2(ChipFiles::jpegJFIF(2000)));
  chip->setFile(0x0103, ChipFiles::opaque(0x63, 300));
  chip->setFile(0x0104, ChipFiles::opaque(0x76, 300));
  chip->protectFile(0x0103);
  chip->protectFile(0x0104);
  chip->setFile(0x010B, ChipFiles::opaque(0x6B, 120));
  chip->setFile(0x010C, ChipFiles::opaque(0x6C, 80));
  chip->setFile(0x010D, ChipFiles::opaque(0x6D, 60));
  chip->setFile(0x010E, ChipFiles::opaque(0x6E, 250));
  chip->setFile(0x010F, ChipFiles::opaque(0x6F, 170));
  chip->setFile(0x011D, ChipFiles::opaque(0x77, 1500));
  return chip;
}

std::shared_ptr<SimulatedChip> SimulatedChip::idCard() {
  const SamplePerson& person = samplePerson();
  auto chip = std::make_shared<SimulatedChip>(person.documentNumber(), person.birthMRZ(),
                                              person.expiryMRZ());
  chip->setFile(0x011E, ChipFiles::com({0x61, 0x75, 0x6D, 0x6E, 0x6F}));
  chip->setFile(0x0101, ChipFiles::dg1(joinedZone(person.td1Zone())));
  chip->setFile(0x0102, ChipFiles::dg2(ChipFiles::jp2(1200), 2, 0x7F2E));
  chip->setFile(0x010D, ChipFiles::opaque(0x6D, 400));
  chip->setFile(0x010E, ChipFiles::opaque(0x6E, 250));
  chip->setFile(0x010F, ChipFiles::opaque(0x6F, 170));
  chip->setFile(0x011D, ChipFiles::opaque(0x77, 1800));
  return chip;
}

std::string SimulatedChip::mrzKey() const {
  return NfcUtils::mrzKey(documentNumber_, dateOfBirth_, dateOfExpiry_);
}

void SimulatedChip::injectForFile(std::uint16_t fileId, Fault fault, bool readsOnly) {
  fileFaults_[fileId].push_back({fault, readsOnly});
}

int SimulatedChip::selectCount(std::uint16_t fileId) const {
  auto it = selectCounts_.find(fileId);
  return it == selectCounts_.end() ? 0 : it->second;
}

Bytes SimulatedChip::draw(std::size_t count) {
  Bytes out(count);
  for (auto& b : out) {
    randomState_ ^= randomState_ << 13;
    randomState_ ^= randomState_ >> 17;
    randomState_ ^= randomState_ << 5;
    b = static_cast<std::uint8_t>(randomState_);
  }
  return out;
}

bool SimulatedChip::selectApplication(const Bytes& aid) {
  if (aid != kEMRTDApplicationID || linkDown_ || applicationRefused) return false;
  applicationSelected_ = true;
  selectedFile_.reset();
  sm_.reset();
  return true;
}

void SimulatedChip::reset() {
  applicationSelected_ = false;
  selectedFile_.reset();
  sm_.reset();
  rndICC_.clear();
}

std::optional<SimulatedChip::Fault> SimulatedChip::takeFault(std::uint8_t ins,
                                                             std::optional<std::uint16_t> fileId) {
  auto take = [](auto& queue) -> std::optional<Fault> {
    if (queue.empty()) return std::nullopt;
    Fault fault = queue.front();
    if (fault.times > 0 && --queue.front().times == 0) queue.pop_front();
    return fault;
  };
  if (auto it = commandFaults_.find(ins); it != commandFaults_.end()) {
    if (auto fault = take(it->second)) return fault;
  }
  if (fileId) {
    if (auto it = fileFaults_.find(*fileId); it != fileFaults_.end() && !it->second.empty()) {
      const bool isRead = ins == 0xB0 || ins == 0xB1;
      if (isRead || !it->second.front().readsOnly) {
        FileFault& head = it->second.front();
        Fault fault = head.fault;
        if (head.fault.times > 0 && --head.fault.times == 0) it->second.pop_front();
        return fault;
      }
    }
  }
  return std::nullopt;
}

std::optional<NFCTransmission> SimulatedChip::process(const Bytes& command) {
  ++commandCount_;
  if (linkDown_) {
    return NFCTransmission::failure(
        platform::NFCReaderError::readerTransceiveErrorTagConnectionLost);
  }
  std::optional<Fault> fault;
  if (auto it = indexedFaults_.find(commandCount_); it != indexedFaults_.end()) fault = it->second;
  auto apdu = platform::NFCISO7816APDU::fromBytes(command);
  if (!apdu) return plainAnswer({{}, 0x67, 0x00});
  const std::uint8_t ins = apdu->instructionCode();
  const bool isProtected = (apdu->instructionClass() & 0x0C) == 0x0C;

  std::optional<std::uint16_t> targetFile = selectedFile_;
  Bytes data = apdu->data();
  int le = apdu->expectedResponseLength();
  std::optional<Session> session;

  if (isProtected) {
    if (!sm_) return plainAnswer({{}, 0x69, 0x88});
    increment(sm_->ssc);
    std::size_t p = 0;
    const Bytes& in = apdu->data();
    auto do87 = readObject(in, p, 0x87);
    std::optional<std::pair<Bytes, Bytes>> do85;
    if (!do87) do85 = readObject(in, p, 0x85);
    auto do97 = readObject(in, p, 0x97);
    auto do8e = readObject(in, p, 0x8E);
    Bytes n = sm_->ssc;
    append(n, padIso9797(Bytes{0x0C, ins, apdu->p1Parameter(), apdu->p2Parameter()}, 8));
    if (do87) append(n, do87->first);
    if (do85) append(n, do85->first);
    if (do97) append(n, do97->first);
    if (!do8e || p != in.size() || sm_->ciphers->mac(padIso9797(n, 8)) != do8e->second) {
      sm_.reset();
      return plainAnswer({{}, 0x69, 0x88});
    }
    data.clear();
    const Bytes* cipher = nullptr;
    Bytes encrypted;
    if (do87) {
      if (do87->second.empty() || do87->second[0] != 0x01) {
        sm_.reset();
        return plainAnswer({{}, 0x69, 0x88});
      }
      encrypted = subBytes(do87->second, 1, do87->second.size());
      cipher = &encrypted;
    } else if (do85) {
      cipher = &do85->second;
    }
    if (cipher) data = unpadIso9797(sm_->ciphers->decrypt(*cipher));
    le = -1;
    if (do97) {
      const Bytes& v = do97->second;
      if (v.size() == 1) le = v[0] == 0 ? 256 : v[0];
      if (v.size() == 2) le = (v[0] << 8 | v[1]) == 0 ? 65536 : (v[0] << 8 | v[1]);
    }
    if (ins == 0xA4 && data.size() == 2)
      targetFile = static_cast<std::uint16_t>(data[0] << 8 | data[1]);
  } else {
    if (!applicationSelected_) {
      if (ins == 0xA4 && apdu->p1Parameter() == 0x04) {
        return plainAnswer(selectApplicationAnswer(apdu->p2Parameter(), data));
      }
      return plainAnswer({{}, 0x69, 0x86});
    }
    if (sm_) {
      // A plain command ends secure messaging; only a new access control may follow.
      sm_.reset();
      if (plainCommandUnderSecureMessaging == PlainCommandUnderSecureMessaging::refuse) {
        return plainAnswer({{}, 0x69, 0x88});
      }
    }
  }

  if (!fault) fault = takeFault(ins, targetFile);
  if (fault) {
    switch (fault->kind) {
      case Fault::Kind::dropLink:
        linkDown_ = true;
        return NFCTransmission::failure(
            platform::NFCReaderError::readerTransceiveErrorTagConnectionLost);
      case Fault::Kind::stall:
        return std::nullopt;
      case Fault::Kind::status: {
        Answer a{{}, fault->sw1, fault->sw2};
        if (isProtected && sm_ && wrapErrorStatuses) return protectedAnswer(a, (ins & 1) != 0, -1);
        if (isProtected && sm_) increment(sm_->ssc);
        return plainAnswer(a);
      }
      case Fault::Kind::raw:
        if (isProtected && sm_) increment(sm_->ssc);
        return NFCTransmission::answer(fault->raw, 0x90, 0x00);
      default:
        break;
    }
  }

  Answer answer;
  if (!isProtected) {
    if (ins == 0x84 && le == 8) {
      rndICC_ = challenge.size() == 8 ? challenge : draw(8);
      answer.data = rndICC_;
    } else if (ins == 0x82 && data.size() == 40) {
      SecureMessagingSessionKeyGenerator generator;
      const Bytes kseed = subBytes(sha1Digest(platform::crypto::view(mrzKey())), 0, 16);
      const Bytes kenc = generator.deriveKey(kseed, "DESede", 128, std::nullopt, 0);
      const Bytes kmac = generator.deriveKey(kseed, "DESede", 128, std::nullopt, 1);
      const Bytes eifd = subBytes(data, 0, 32);
      const Bytes s = tripleDESDecrypt(kenc, eifd, kZeroIV);
      if (retailMac(kmac, padIso9797(eifd, 8)) != subBytes(data, 32, 40) || rndICC_.size() != 8 ||
          s.size() != 32 || subBytes(s, 8, 16) != rndICC_) {
        return plainAnswer({{}, 0x63, 0x00});
      }
      const Bytes rndIFD = subBytes(s, 0, 8);
      const Bytes kIFD = subBytes(s, 16, 32);
      const Bytes k = kICC.size() == 16 ? kICC : draw(16);
      Bytes r = rndICC_;
      append(r, rndIFD);
      append(r, k);
      const Bytes eicc = tripleDESEncrypt(kenc, r, kZeroIV);
      answer.data = eicc;
      append(answer.data, retailMac(kmac, padIso9797(eicc, 8)));
      const Bytes seed = xorBytes(kIFD, k);
      Bytes ssc = subBytes(rndICC_, 4, 8);
      append(ssc, subBytes(rndIFD, 4, 8));
      Bytes ksenc = generator.deriveKey(seed, "DESede", 128, std::nullopt, 0);
      Bytes ksmac = generator.deriveKey(seed, "DESede", 128, std::nullopt, 1);
      auto ciphers = std::make_shared<SessionCiphers>(ksenc, ksmac);
      sm_ = Session{std::move(ksenc), std::move(ksmac), ssc, std::move(ciphers)};
      ++bacRuns_;
    } else if (ins == 0xA4 && apdu->p1Parameter() == 0x04) {
      answer = selectApplicationAnswer(apdu->p2Parameter(), data);
    } else {
      // Files need access control first.
      answer = {{}, 0x69, 0x82};
    }
    return plainAnswer(answer);
  }

  answer = execute(ins, apdu->p1Parameter(), apdu->p2Parameter(), data, le);
  const bool odd = (ins & 1) != 0;
  if ((answer.sw1 != 0x90 || answer.sw2 != 0x00) && !wrapErrorStatuses &&
      !(answer.sw1 == 0x62 && answer.sw2 == 0x82)) {
    increment(sm_->ssc);
    return plainAnswer(answer);
  }
  NFCTransmission out = protectedAnswer(answer, odd, apdu->expectedResponseLength());
  if (fault) {
    switch (fault->kind) {
      case Fault::Kind::corruptMac:
        if (!out.data.empty()) out.data.back() ^= 0x01;
        break;
      case Fault::Kind::emptySuccess: {
        // Undo this answer's counter step: the replacement below takes it again.
        for (std::size_t i = sm_->ssc.size(); i-- > 0;) {
          if (sm_->ssc[i]-- != 0) break;
        }
        out = protectedAnswer(Answer{}, odd, -1);
        break;
      }
      case Fault::Kind::truncate:
        out.data.resize(std::min(out.data.size(), fault->length));
        break;
      default:
        break;
    }
  }
  return out;
}

SimulatedChip::Answer SimulatedChip::execute(std::uint8_t ins, std::uint8_t p1, std::uint8_t p2,
                                             const Bytes& data, int le) {
  if (ins == 0xA4) {
    if (p1 == 0x04) return selectApplicationAnswer(p2, data);
    if (p1 != 0x02 || data.size() != 2) return {{}, 0x6A, 0x86};
    const auto fid = static_cast<std::uint16_t>(data[0] << 8 | data[1]);
    ++selectCounts_[fid];
    if (auto refusal = refuseSelect(p2)) return *refusal;
    if (!files_.count(fid)) return {{}, 0x6A, 0x82};
    if (protectedFiles_.count(fid)) return {{}, 0x69, 0x82};
    selectedFile_ = fid;
    if (p2 == 0x0C) return {};
    // The file control parameters: size, a transparent EF, the identifier.
    const std::size_t size = served(fid).size();
    Bytes fcp = ChipFiles::tlv(0x80, {static_cast<std::uint8_t>(size >> 8),
                                      static_cast<std::uint8_t>(size)});
    append(fcp, ChipFiles::tlv(0x82, {0x01}));
    append(fcp, ChipFiles::tlv(0x83, data));
    return {ChipFiles::tlv(0x62, fcp)};
  }
  if (ins == 0xB0) {
    if (le < 1) le = 256;
    if (p1 & 0x80) {
      // Short file identifier addressing: bits 1-5 of P1 name the file, P2 is the offset.
      const auto fid = static_cast<std::uint16_t>(0x0100 | (p1 & 0x1F));
      if (!files_.count(fid) || protectedFiles_.count(fid)) return {{}, 0x6A, 0x82};
      selectedFile_ = fid;
      return readBinary(fid, p2, le);
    }
    if (!selectedFile_) return {{}, 0x69, 0x86};
    return readBinary(*selectedFile_, static_cast<std::size_t>(p1 << 8 | p2), le);
  }
  if (ins == 0xB1) {
    if (!selectedFile_) return {{}, 0x69, 0x86};
    std::size_t p = 0;
    auto offsetObject = readObject(data, p, 0x54);
    if (!offsetObject || offsetObject->second.empty() || offsetObject->second.size() > 4) {
      return {{}, 0x6A, 0x80};
    }
    std::size_t offset = 0;
    for (auto b : offsetObject->second) offset = offset << 8 | b;
    if (le < 1) le = 256;
    return readBinaryOdd(*selectedFile_, offset, le);
  }
  return {{}, 0x6D, 0x00};
}

SimulatedChip::Answer SimulatedChip::selectApplicationAnswer(std::uint8_t p2, const Bytes& aid) {
  if (auto refusal = refuseSelect(p2)) return *refusal;
  if (!selectApplication(aid)) return {{}, 0x6A, 0x82};
  if (p2 == 0x0C) return {};
  return {ChipFiles::tlv(0x6F, ChipFiles::tlv(0x84, aid))};
}

std::optional<SimulatedChip::Answer> SimulatedChip::refuseSelect(std::uint8_t p2) const {
  if (selectWithoutAnswerRefusal == 0 || p2 != 0x0C) return std::nullopt;
  return Answer{{},
                static_cast<std::uint8_t>(selectWithoutAnswerRefusal >> 8),
                static_cast<std::uint8_t>(selectWithoutAnswerRefusal)};
}

const Bytes& SimulatedChip::served(std::uint16_t fileId) {
  const Bytes& object = files_.at(fileId);
  if (fillAfterObject == 0) return object;
  servedWithFill_ = object;
  servedWithFill_.insert(servedWithFill_.end(), fillAfterObject, fillByte);
  return servedWithFill_;
}

std::optional<SimulatedChip::Answer> SimulatedChip::refuseLongRead(std::size_t asked) const {
  if (!maxReadLength || asked <= maxReadLength) return std::nullopt;
  switch (longReadAnswer) {
    case LongReadAnswer::shortAnswer:
      return std::nullopt;
    case LongReadAnswer::wrongLength:
      return Answer{{}, 0x67, 0x00};
    case LongReadAnswer::exactLength:
      return Answer{{}, 0x6C, static_cast<std::uint8_t>(maxReadLength)};
  }
  return std::nullopt;
}

SimulatedChip::Answer SimulatedChip::readBinaryOdd(std::uint16_t fileId, std::size_t offset,
                                                   int le) {
  const Bytes& file = served(fileId);
  if (offset >= file.size()) return {{}, 0x6B, 0x00};
  const auto wanted = static_cast<std::size_t>(le);
  if (auto refusal = refuseLongRead(wanted)) return *refusal;
  if (exactLengthPastEnd) {
    const std::size_t left = file.size() - offset;
    const std::size_t available =
        oddReadLeCountsFileBytes ? left : ChipFiles::tlv(0x53, Bytes(left)).size();
    if (wanted > available) return {{}, 0x6C, static_cast<std::uint8_t>(available)};
  }
  std::size_t n = std::min(file.size() - offset, wanted);
  if (maxReadLength) n = std::min(n, maxReadLength);
  // Le counts either the file bytes or the whole DO'53' that carries them.
  if (!oddReadLeCountsFileBytes) {
    while (n > 0 && ChipFiles::tlv(0x53, Bytes(n)).size() > wanted) --n;
  }
  Answer a;
  a.data = ChipFiles::tlv(0x53, subBytes(file, offset, offset + n));
  const std::size_t delivered = oddReadLeCountsFileBytes ? n : a.data.size();
  if (endOfFileWarning && offset + n == file.size() && delivered < wanted) {
    a.sw1 = 0x62;
    a.sw2 = 0x82;
  }
  return a;
}

SimulatedChip::Answer SimulatedChip::readBinary(std::uint16_t fileId, std::size_t offset, int le) {
  const Bytes& file = served(fileId);
  if (offset >= file.size()) return {{}, 0x6B, 0x00};
  if (auto refusal = refuseLongRead(static_cast<std::size_t>(le))) return *refusal;
  if (exactLengthPastEnd && offset + static_cast<std::size_t>(le) > file.size()) {
    return {{}, 0x6C, static_cast<std::uint8_t>(file.size() - offset)};
  }
  std::size_t n = std::min(file.size() - offset, static_cast<std::size_t>(le));
  if (maxReadLength) n = std::min(n, maxReadLength);
  Answer a;
  a.data = subBytes(file, offset, offset + n);
  if (endOfFileWarning && offset + n == file.size() && n < static_cast<std::size_t>(le)) {
    a.sw1 = 0x62;
    a.sw2 = 0x82;
  }
  return a;
}

NFCTransmission SimulatedChip::plainAnswer(const Answer& answer) const {
  return NFCTransmission::answer(answer.data, answer.sw1, answer.sw2);
}

NFCTransmission SimulatedChip::protectedAnswer(const Answer& answer, bool oddInstruction, int le) {
  increment(sm_->ssc);
  Bytes dataObject;
  if (!answer.data.empty()) {
    Bytes value;
    if (!oddInstruction) value.push_back(0x01);
    append(value, sm_->ciphers->encrypt(padIso9797(answer.data, 8)));
    dataObject = ChipFiles::tlv(oddInstruction ? 0x85 : 0x87, value);
  }
  const Bytes do99{0x99, 0x02, answer.sw1, answer.sw2};
  Bytes k = sm_->ssc;
  append(k, dataObject);
  append(k, do99);
  Bytes out = dataObject;
  append(out, do99);
  append(out, {0x8E, 0x08});
  append(out, sm_->ciphers->mac(padIso9797(k, 8)));
  if (le == 256 && out.size() > 256) {
    switch (oversizedAnswer) {
      case OversizedAnswer::send:
        break;
      case OversizedAnswer::wrongLength:
        return NFCTransmission::answer({}, 0x67, 0x00);
      case OversizedAnswer::exactLength:
        return NFCTransmission::answer({}, 0x6C, 0x00);
    }
  }
  return NFCTransmission::answer(std::move(out), answer.sw1, answer.sw2);
}

SimulatedChipTag::SimulatedChipTag(std::shared_ptr<SimulatedChip> chip,
                                   std::shared_ptr<platform::DispatchQueue> queue)
    : NFCISO7816Tag(std::move(queue)), chip_(std::move(chip)) {}

std::shared_ptr<SimulatedChipTag> SimulatedChipTag::connect(
    std::shared_ptr<SimulatedChip> chip, std::shared_ptr<platform::DispatchQueue> queue) {
  chip->reset();
  if (!chip->selectApplication(SimulatedChip::kEMRTDApplicationID)) return nullptr;
  auto tag = std::make_shared<SimulatedChipTag>(std::move(chip), std::move(queue));
  tag->setInitialSelectedAID("A0000002471001");
  return tag;
}

void SimulatedChipTag::transmit(const Bytes& command, std::function<void(NFCTransmission)> reply) {
  auto answer = chip_->process(command);
  if (answer) reply(std::move(*answer));
}

}  // namespace ostrel::testing
